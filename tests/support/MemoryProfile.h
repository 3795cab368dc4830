#pragma once
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Profile.h"

// A profile held in memory. Values are kept as text, as a profile file keeps them.
class CMemoryProfile : public IProfile {
public:
    int GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) override {
        const auto found = values.find(Key(section, entry));
        return found == values.end() ? defaultValue : std::stoi(found->second);
    }
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view defaultValue) override {
        const auto found = values.find(Key(section, entry));
        return found == values.end() ? std::string(defaultValue) : found->second;
    }
    bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override {
        ++writes;
        values[Key(section, entry)] = std::to_string(value);
        return true;
    }
    bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view value) override {
        ++writes;
        values[Key(section, entry)] = std::string(value);
        return true;
    }

    void Set(std::string_view entry, std::string value) { values[Key("Settings", entry)] = std::move(value); }
    bool Has(std::string_view entry) const { return values.count(Key("Settings", entry)) != 0; }
    int Int(std::string_view entry) const { return std::stoi(values.at(Key("Settings", entry))); }

    std::map<std::pair<std::string, std::string>, std::string> values;
    int writes = 0;

private:
    static std::pair<std::string, std::string> Key(std::string_view section, std::string_view entry) {
        return {std::string(section), std::string(entry)};
    }
};
