#include "settings/DesktopAddress.h"

#include <cstddef>

namespace pv::desktop {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool AllDigits(std::string_view text) {
    for (char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return !text.empty();
}

// Splits at the first dot: returns the part before it and drops it (and the dot) from rest.
std::string_view NextLabel(std::string_view& rest, bool& more) {
    const std::size_t dot = rest.find('.');
    const std::string_view label = rest.substr(0, dot);
    more = dot != std::string_view::npos;
    rest = more ? rest.substr(dot + 1) : std::string_view{};
    return label;
}

}  // namespace

int ParsePort(std::string_view text) {
    text = Trimmed(text);
    // Five digits at most: longer text would overflow before the range check.
    if (!AllDigits(text) || text.size() > 5) {
        return kNoPort;
    }
    int port = 0;
    for (char c : text) {
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= kMaxPort ? port : kNoPort;
}

bool IsIpv4Address(std::string_view text) {
    int parts = 0;
    bool more = true;
    while (more) {
        const std::string_view part = NextLabel(text, more);
        if (!AllDigits(part) || part.size() > 3 || (part.size() > 1 && part.front() == '0')) {
            return false;
        }
        int value = 0;
        for (char c : part) {
            value = value * 10 + (c - '0');
        }
        if (value > 255 || ++parts > 4) {
            return false;
        }
    }
    return parts == 4;
}

bool IsValidAddress(std::string_view text) {
    if (IsIpv4Address(text)) {
        return true;
    }
    if (text.empty() || text.size() > 253) {
        return false;
    }
    std::string_view last;
    bool more = true;
    while (more) {
        const std::string_view label = NextLabel(text, more);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
            return false;
        }
        for (char c : label) {
            if (!IsLetter(c) && !IsDigit(c) && c != '-') {
                return false;
            }
        }
        last = label;
    }
    return !AllDigits(last);
}

bool CouldBecomeAddress(std::string_view text) {
    if (text.size() > 253) {
        return false;
    }
    for (char c : text) {
        if (!IsLetter(c) && !IsDigit(c) && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

}  // namespace pv::desktop
