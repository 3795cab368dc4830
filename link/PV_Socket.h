#pragma once
#include <string>

#include "platform/StreamSocket.h"
#include "settings/SettingsStore.h"

// The connection to the desktop server.
class CPV_Socket : public CStreamSocket {
public:
    static constexpr int kConnectTimeoutMs = 2000;

    CPV_Socket(const CSettingsStore& settings, ISocketIo& io);
    ~CPV_Socket() override;

    // Makes a fresh connection with the stored address and port. The socket must be closed.
    // Shows "Create Error: %d" when no socket can be created; a failed connect is silent.
    bool ConnectToServer();

    // One line naming the address and port of the last attempt, for the failure box.
    const std::string& AttemptDetail() const { return m_strAttempt; }

    // The address actually dialled for a stored one: "127.0.0.1" means the default desktop address.
    static std::string ResolveAddress(const std::string& stored);

protected:
    void OnReceive(int error) override;
    void OnClose(int error) override;

private:
    const CSettingsStore& m_settings;
    std::string m_strAttempt;
};
