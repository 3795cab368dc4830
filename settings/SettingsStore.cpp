#include "settings/SettingsStore.h"

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
    return m_profile.GetProfileInt(kSection, kPort, kDefaultPort);
}

bool CSettingsStore::WriteOrientation(int id) const {
    return m_profile.WriteProfileInt(kSection, kOrientation, id);
}

bool CSettingsStore::WriteExtendedDrawingTime(int milliseconds) const {
    return m_profile.WriteProfileInt(kSection, kExtendedDrawingTime, milliseconds);
}
