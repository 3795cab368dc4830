#pragma once
#include <string>
#include <string_view>

#include "platform/Profile.h"

// The profile in the browser's localStorage, which belongs to the origin of the
// server that served the page. The values of the main section are stored under
// their entry names ("Orientation"), those of any other section as
// "Section/Entry"; integers as decimal text. A value that is missing, or not a
// whole 32-bit number where one is asked for, reads as the caller's default;
// reading creates nothing. A browser that refuses storage (a private window with
// storage blocked) reads every value as its default and fails every write.
class CWebProfile : public IProfile {
public:
    explicit CWebProfile(std::string mainSection) : m_mainSection(std::move(mainSection)) {}

    int GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) override;
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view defaultValue) override;
    bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override;
    bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view value) override;

    // The storage key of an entry.
    std::string Key(std::string_view section, std::string_view entry) const;

private:
    std::string m_mainSection;
};
