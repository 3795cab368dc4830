#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/ByteLink.h"
#include "settings/SettingsStore.h"

// The connection to the desktop server, over the byte link the program was given.
class CPV_Socket {
public:
    static constexpr int kConnectTimeoutMs = 2000;

    // What the user is told when a write failed and no new connection could be made.
    static constexpr std::string_view kCommunicationFailure =
        "Unable to communicate with Penvale server.  Make sure Pocket PC is connected to the host PC and "
        "that "
        "Penvale server is running on the desktop.";

    using EConnect = IByteLink::EConnect;

    CPV_Socket(const CSettingsStore& settings, IByteLink& link);
    ~CPV_Socket();
    CPV_Socket(const CPV_Socket&) = delete;
    CPV_Socket& operator=(const CPV_Socket&) = delete;

    // Makes a fresh connection with the stored address and port. Shows nothing: a
    // caller that writes must not open a box from inside its write, so the failure
    // comes back as a value and the caller tells the user once it is done.
    EConnect ConnectToServer();
    // The box a failed ConnectToServer asks for, if any ("Create Error: %d").
    std::string CreateErrorText() const;

    int Send(const void* bytes, std::size_t length);  // count written, or -1
    void Close();
    bool IsOpen() const { return m_link.IsOpen(); }
    bool TakesPenSamples() const { return m_link.IsOpen() && m_link.TakesPenSamples(); }
    int LastError() const { return m_nLastError; }

    // One line naming the address and port of the last attempt, for the failure box.
    const std::string& AttemptDetail() const { return m_strAttempt; }

    // The address actually dialled for a stored one: "127.0.0.1" means the default desktop address.
    static std::string ResolveAddress(const std::string& stored);

private:
    void OnReceive(int error);
    void OnClose(int error);

    const CSettingsStore& m_settings;
    IByteLink& m_link;
    std::string m_strAttempt;
    int m_nLastError = 0;
};
