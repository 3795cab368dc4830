#include "settings/SettingsStore.h"

#include "settings/DesktopAddress.h"

int CSettingsStore::Orientation() const {
    return m_profile.GetProfileInt(kSection, kOrientation, kDefaultOrientation);
}

int CSettingsStore::ExtendedDrawingTime() const {
    return m_profile.GetProfileInt(kSection, kExtendedDrawingTime, kDefaultExtendedDrawingTime);
}

std::string CSettingsStore::IpAddress() const {
    return m_profile.GetProfileString(kSection, kIpAddress, kDefaultIpAddress);
}

int CSettingsStore::Port() const {
    return pv::desktop::ParsePort(PortText());
}

std::string CSettingsStore::PortText() const {
    return m_profile.GetProfileString(kSection, kPort, std::to_string(kDefaultPort));
}

bool CSettingsStore::WriteOrientation(int id) const {
    return m_profile.WriteProfileInt(kSection, kOrientation, id);
}

bool CSettingsStore::WriteExtendedDrawingTime(int milliseconds) const {
    return m_profile.WriteProfileInt(kSection, kExtendedDrawingTime, milliseconds);
}

bool CSettingsStore::WriteIpAddress(const std::string& address) const {
    return m_profile.WriteProfileString(kSection, kIpAddress, address);
}

bool CSettingsStore::WritePort(int port) const {
    return m_profile.WriteProfileInt(kSection, kPort, port);
}
