#include "platform/web/WebProfile.h"

#include <emscripten/emscripten.h>

#include <charconv>
#include <cstdlib>
#include <optional>

// NULL when missing or when storage is refused; otherwise a malloc'ed UTF-8 copy.
EM_JS(char*, pv_storage_read, (const char* key), {
    try {
        const value = window.localStorage.getItem(UTF8ToString(key));
        if (value === null) {
            return 0;
        }
        const size = lengthBytesUTF8(value) + 1;
        const copy = _malloc(size);
        stringToUTF8(value, copy, size);
        return copy;
    } catch (e) {
        return 0;
    }
});

EM_JS(int, pv_storage_write, (const char* key, const char* value), {
    try {
        window.localStorage.setItem(UTF8ToString(key), UTF8ToString(value));
        return 1;
    } catch (e) {
        return 0;
    }
});

namespace {

std::optional<std::string> Read(const std::string& key) {
    char* value = pv_storage_read(key.c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string text(value);
    std::free(value);
    return text;
}

}  // namespace

std::string CWebProfile::Key(std::string_view section, std::string_view entry) const {
    if (section == m_mainSection) {
        return std::string(entry);
    }
    return std::string(section) + "/" + std::string(entry);
}

int CWebProfile::GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) {
    const std::optional<std::string> text = Read(Key(section, entry));
    if (!text) {
        return defaultValue;
    }
    int value = 0;
    const char* end = text->data() + text->size();
    const auto [last, error] = std::from_chars(text->data(), end, value);
    return error == std::errc() && last == end && !text->empty() ? value : defaultValue;
}

std::string CWebProfile::GetProfileString(std::string_view section, std::string_view entry,
                                          std::string_view defaultValue) {
    return Read(Key(section, entry)).value_or(std::string(defaultValue));
}

bool CWebProfile::WriteProfileInt(std::string_view section, std::string_view entry, int value) {
    return pv_storage_write(Key(section, entry).c_str(), std::to_string(value).c_str()) != 0;
}

bool CWebProfile::WriteProfileString(std::string_view section, std::string_view entry, std::string_view value) {
    return pv_storage_write(Key(section, entry).c_str(), std::string(value).c_str()) != 0;
}
