#pragma once
#include <string>

#include "platform/Profile.h"

// The section "Settings" of the profile, with its four values and their defaults.
// Reading a missing value gives the default and creates nothing.
class CSettingsStore {
public:
    static constexpr char kSection[] = "Settings";
    static constexpr char kOrientation[] = "Orientation";
    static constexpr char kExtendedDrawingTime[] = "ExtendedDrawingTime";
    static constexpr char kIpAddress[] = "IP Address";
    static constexpr char kPort[] = "Port";

    static constexpr int kDefaultOrientation = 32774;
    static constexpr int kDefaultExtendedDrawingTime = 500;
    // The desktop as seen from a handheld on its USB network link.
    static constexpr char kDefaultIpAddress[] = "172.16.42.2";
    static constexpr int kDefaultPort = 55;

    explicit CSettingsStore(IProfile& profile) : m_profile(profile) {}

    int Orientation() const;
    int ExtendedDrawingTime() const;
    std::string IpAddress() const;
    int Port() const;

    // Write failures are ignored by every caller; the flag is returned all the same.
    bool WriteOrientation(int id) const;
    bool WriteExtendedDrawingTime(int milliseconds) const;

    IProfile& Profile() const { return m_profile; }

private:
    IProfile& m_profile;
};
