#pragma once
#include <QDialog>

#include "platform/Profile.h"
#include "settings/SettingsStore.h"

class QSlider;

// Edits the extended drawing time: a slider from 0 to 1000 ms. OK always stores the
// shown position; Cancel, Escape and the close box store nothing.
class CSettingsDlg : public QDialog {
public:
    static constexpr int kMinTime = 0;
    static constexpr int kMaxTime = 1000;
    static constexpr int kTickStep = 100;

    explicit CSettingsDlg(IProfile& profile, QWidget* parent = nullptr);
    ~CSettingsDlg() override;

    QSlider* Slider() const { return m_slider; }

    void accept() override;

private:
    // Profile to slider when opening, slider to profile on OK.
    void DoDataExchange(bool save);
    bool OnInitDialog();

    CSettingsStore m_settings;
    QSlider* m_slider = nullptr;
};
