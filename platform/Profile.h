#pragma once
#include <string>
#include <string_view>

// The user's profile: integer and string values by section and entry.
// A missing value reads as the caller's default and is never created by reading.
class IProfile {
public:
    virtual ~IProfile() = default;
    virtual int GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) = 0;
    virtual std::string GetProfileString(std::string_view section, std::string_view entry,
                                         std::string_view defaultValue) = 0;
    // Creates the section and the value when missing. Returns false when the store could not be written.
    virtual bool WriteProfileInt(std::string_view section, std::string_view entry, int value) = 0;
    virtual bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view value) = 0;
};
