#pragma once
#include <QDialog>

#include "platform/Profile.h"
#include "settings/SettingsStore.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

// Edits the extended drawing time (a slider from 0 to 1000 ms) and the desktop's
// address and port. OK always stores the slider's position, and the address and port
// when they changed; it is enabled only while both are valid. Cancel, Escape and
// the close box store nothing.
class CSettingsDlg : public QDialog {
public:
    static constexpr int kMinTime = 0;
    static constexpr int kMaxTime = 1000;
    static constexpr int kTickStep = 100;

    explicit CSettingsDlg(IProfile& profile, QWidget* parent = nullptr);
    ~CSettingsDlg() override;

    QSlider* Slider() const { return m_slider; }
    QLineEdit* AddressEdit() const { return m_pAddress; }
    QLineEdit* PortEdit() const { return m_pPort; }
    QPushButton* OkButton() const { return m_pOk; }
    // After OK: whether the address or the port was changed and stored.
    bool DesktopChanged() const { return m_bDesktopChanged; }

    void accept() override;

private:
    // Profile to slider when opening, slider to profile on OK.
    void DoDataExchange(bool save);
    bool OnInitDialog();
    void CheckDesktop();

    CSettingsStore m_settings;
    QSlider* m_slider = nullptr;
    QLineEdit* m_pAddress = nullptr;
    QLineEdit* m_pPort = nullptr;
    QLabel* m_pHint = nullptr;
    QPushButton* m_pOk = nullptr;
    QString m_strShownAddress;
    QString m_strShownPort;
    bool m_bDesktopChanged = false;
};
