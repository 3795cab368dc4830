#pragma once
#include <string>

#include "link/Protocol.h"
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
    static constexpr int kDefaultPort = pv::protocol::kDefaultPort;  // the server's own

    explicit CSettingsStore(IProfile& profile) : m_profile(profile) {}

    int Orientation() const;
    int ExtendedDrawingTime() const;
    std::string IpAddress() const;
    // The stored port when it is a whole number 1..65535, the default when none is
    // stored, and pv::desktop::kNoPort for any other text: a port that cannot be used
    // must fail the connection, not fall back to the default.
    int Port() const;
    // The stored port's text as it is; the default's when none is stored.
    std::string PortText() const;

    // Write failures are ignored by every caller; the flag is returned all the same.
    bool WriteOrientation(int id) const;
    bool WriteExtendedDrawingTime(int milliseconds) const;
    bool WriteIpAddress(const std::string& address) const;  // as a string
    bool WritePort(int port) const;                         // as an integer

    IProfile& Profile() const { return m_profile; }

private:
    IProfile& m_profile;
};
