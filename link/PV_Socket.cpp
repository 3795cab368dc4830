#include "link/PV_Socket.h"

#include <string>

#include "platform/MessageBox.h"

CPV_Socket::CPV_Socket(const CSettingsStore& settings, ISocketIo& io)
    : CStreamSocket(io), m_settings(settings) {}

CPV_Socket::~CPV_Socket() = default;

std::string CPV_Socket::ResolveAddress(const std::string& stored) {
    return stored == "127.0.0.1" ? std::string(CSettingsStore::kDefaultIpAddress) : stored;
}

bool CPV_Socket::ConnectToServer() {
    const std::string address = ResolveAddress(m_settings.IpAddress());
    const int port = m_settings.Port();

    // The local port is left to the system: binding the server's port number would
    // need privileges, collide with a server on the same host and stay busy in TIME_WAIT.
    if (!Create()) {
        PvMessageBox("Create Error: " + std::to_string(LastError()));
        return false;
    }
    // A stored port outside the TCP range must fail, not wrap to another port.
    if (port < 1 || port > 65535) {
        return false;
    }
    if (!Connect(address, port, kConnectTimeoutMs)) {
        return false;
    }
    SetNoDelay();
    return true;
}

void CPV_Socket::OnReceive(int) {
    PvMessageBox("CPV_Socket::OnReceive");
}

void CPV_Socket::OnClose(int) {
    PvMessageBox("CPV_Socket::OnClose");
}
