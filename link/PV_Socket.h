#pragma once
#include <string>
#include <string_view>

#include "platform/StreamSocket.h"
#include "settings/SettingsStore.h"

// The connection to the desktop server.
class CPV_Socket : public CStreamSocket {
public:
    static constexpr int kConnectTimeoutMs = 2000;

    // What the user is told when a write failed and no new connection could be made.
    static constexpr std::string_view kCommunicationFailure =
        "Unable to communicate with Penvale server.  Make sure Pocket PC is connected to the host PC and "
        "that "
        "Penvale server is running on the desktop.";

    enum class EConnect {
        Connected,
        Failed,        // no connection; the user is not told
        CreateFailed,  // not even a socket: "Create Error: %d" with LastError()
    };

    CPV_Socket(const CSettingsStore& settings, ISocketIo& io);
    ~CPV_Socket() override;

    // Makes a fresh connection with the stored address and port. The socket must be closed.
    // Shows nothing: a caller that writes must not open a box from inside its write, so
    // the failure comes back as a value and the caller tells the user once it is done.
    EConnect ConnectToServer();
    // The box a failed ConnectToServer asks for, if any ("Create Error: %d").
    std::string CreateErrorText() const;

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
