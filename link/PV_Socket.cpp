#include "link/PV_Socket.h"

#include <string>

#include "platform/MessageBox.h"
#include "settings/DesktopAddress.h"

CPV_Socket::CPV_Socket(const CSettingsStore& settings, IByteLink& link) : m_settings(settings), m_link(link) {
    // The link reports from the event loop, between the engine's events.
    m_link.SetReport([this](IByteLink::EReport report, int error) {
        report == IByteLink::EReport::Received ? OnReceive(error) : OnClose(error);
    });
}

CPV_Socket::~CPV_Socket() {
    m_link.SetReport(nullptr);
    m_link.Close();
}

std::string CPV_Socket::ResolveAddress(const std::string& stored) {
    return stored == "127.0.0.1" ? std::string(CSettingsStore::kDefaultIpAddress) : stored;
}

std::string CPV_Socket::CreateErrorText() const {
    return "Create Error: " + std::to_string(m_nLastError);
}

CPV_Socket::EConnect CPV_Socket::ConnectToServer() {
    const std::string address = ResolveAddress(m_settings.IpAddress());
    const int port = m_settings.Port();
    m_strAttempt = "Address tried: " + (address.empty() ? std::string("(none)") : address) + ", port " +
                   (port != pv::desktop::kNoPort
                        ? std::to_string(port) + "."
                        : "\"" + m_settings.PortText() + "\", which is not a port number from 1 to 65535.");
    const IByteLink::SConnect result = m_link.Connect(address, port, kConnectTimeoutMs);
    m_nLastError = result.error;
    return result.outcome;
}

int CPV_Socket::Send(const void* bytes, std::size_t length) {
    const IByteLink::SSend result = m_link.Send(bytes, length);
    if (result.sent < 0) {
        m_nLastError = result.error;
    }
    return result.sent;
}

void CPV_Socket::Close() {
    m_link.Close();
}

void CPV_Socket::OnReceive(int) {
    PvMessageBox("CPV_Socket::OnReceive");
}

void CPV_Socket::OnClose(int) {
    PvMessageBox("CPV_Socket::OnClose");
}
