#pragma once
#include <memory>
#include <string>

#include "platform/Profile.h"

class QSettings;

// The profile in Qt's native settings format: organisation "Penvale", application
// "Penvale" for the user (~/.config/Penvale/Penvale.conf on Linux), or an explicit
// INI file. Sections are groups, entries keys; integers are read back from text.
class CQtProfile : public IProfile {
public:
    CQtProfile();
    explicit CQtProfile(const std::string& iniFile);
    ~CQtProfile() override;

    int GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) override;
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view defaultValue) override;
    bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override;
    bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view value) override;

    std::string FileName() const;

private:
    std::unique_ptr<QSettings> m_pSettings;
};
