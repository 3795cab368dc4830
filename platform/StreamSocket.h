#pragma once
#include <cstddef>
#include <string>

#include "platform/SocketIo.h"

// A stream socket whose incoming data and peer close are reported on the UI
// thread through OnReceive and OnClose, each once per arrival, where the socket
// layer can watch. Incoming bytes are discarded unread: the protocol runs one way.
class CStreamSocket {
public:
    explicit CStreamSocket(ISocketIo& io);
    virtual ~CStreamSocket();
    CStreamSocket(const CStreamSocket&) = delete;
    CStreamSocket& operator=(const CStreamSocket&) = delete;

    bool Create();  // false with LastError() set; the socket stays closed
    bool Connect(const std::string& address, int port, int timeoutMs);
    int Send(const void* bytes, std::size_t length);  // count written, or -1
    bool ShutDown();                                  // both directions
    void Close();
    bool SetNoDelay();
    int LastError() const { return m_nLastError; }
    bool IsOpen() const { return m_hSocket >= 0; }
    ISocketIo& Io() const { return m_io; }
    bool TakesPenSamples() const { return m_hSocket >= 0 && m_io.TakesPenSamples(m_hSocket); }

protected:
    virtual void OnReceive(int error);
    virtual void OnClose(int error);

private:
    void Readable();
    void Unwatch();
    int Fail();

    ISocketIo& m_io;
    int m_hSocket = -1;
    int m_nLastError = 0;
    bool m_bWatching = false;
    // Bumped whenever the watched connection changes, so that a report that ran a
    // nested event loop can tell that its connection is gone.
    unsigned m_nGeneration = 0;
};
