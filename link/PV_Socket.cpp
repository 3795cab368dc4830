#include "link/PV_Socket.h"

#include <string>

#include "platform/MessageBox.h"
#include "settings/DesktopAddress.h"

CPV_Socket::CPV_Socket(const CSettingsStore& settings, ISocketIo& io)
    : CStreamSocket(io), m_settings(settings) {}

CPV_Socket::~CPV_Socket() = default;

std::string CPV_Socket::ResolveAddress(const std::string& stored) {
    return stored == "127.0.0.1" ? std::string(CSettingsStore::kDefaultIpAddress) : stored;
}

std::string CPV_Socket::CreateErrorText() const {
    return "Create Error: " + std::to_string(LastError());
}

CPV_Socket::EConnect CPV_Socket::ConnectToServer() {
    const std::string address = ResolveAddress(m_settings.IpAddress());
    const int port = m_settings.Port();
    m_strAttempt = "Address tried: " + (address.empty() ? std::string("(none)") : address) + ", port " +
                   (port != pv::desktop::kNoPort
                        ? std::to_string(port) + "."
                        : "\"" + m_settings.PortText() + "\", which is not a port number from 1 to 65535.");

    // The local port is left to the system: binding the server's port number would
    // need privileges, collide with a server on the same host and stay busy in TIME_WAIT.
    if (!Create()) {
        return EConnect::CreateFailed;
    }
    // A stored port that is no port number must fail, not become another port.
    if (port < 1 || port > pv::desktop::kMaxPort) {
        return EConnect::Failed;
    }
    if (!Connect(address, port, kConnectTimeoutMs)) {
        return EConnect::Failed;
    }
    SetNoDelay();
    return EConnect::Connected;
}

void CPV_Socket::OnReceive(int) {
    PvMessageBox("CPV_Socket::OnReceive");
}

void CPV_Socket::OnClose(int) {
    PvMessageBox("CPV_Socket::OnClose");
}
