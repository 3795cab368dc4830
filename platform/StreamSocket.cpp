#include "platform/StreamSocket.h"

#include <array>
#include <cerrno>

CStreamSocket::CStreamSocket(ISocketIo& io) : m_io(io) {}

CStreamSocket::~CStreamSocket() {
    Close();
}

int CStreamSocket::Fail() {
    m_nLastError = m_io.LastError();
    return -1;
}

bool CStreamSocket::Create() {
    Close();
    const int handle = m_io.Open();
    if (handle < 0) {
        Fail();
        return false;
    }
    m_hSocket = handle;
    return true;
}

bool CStreamSocket::Connect(const std::string& address, int port, int timeoutMs) {
    if (m_io.Connect(m_hSocket, address, port, timeoutMs) < 0) {
        Fail();
        return false;
    }
    ++m_nGeneration;
    m_bWatching = m_io.Watch(m_hSocket, [this] { Readable(); });
    return true;
}

int CStreamSocket::Send(const void* bytes, std::size_t length) {
    const int sent = m_io.Send(m_hSocket, bytes, length);
    return sent < 0 ? Fail() : sent;
}

bool CStreamSocket::ShutDown() {
    return m_io.Shutdown(m_hSocket) == 0 || (Fail(), false);
}

void CStreamSocket::Unwatch() {
    if (m_bWatching) {
        m_bWatching = false;
        ++m_nGeneration;
        m_io.Unwatch(m_hSocket);
    }
}

void CStreamSocket::Close() {
    Unwatch();
    if (m_hSocket >= 0) {
        m_io.Close(m_hSocket);
        m_hSocket = -1;
    }
}

bool CStreamSocket::SetNoDelay() {
    return m_io.SetNoDelay(m_hSocket) == 0 || (Fail(), false);
}

void CStreamSocket::OnReceive(int) {}
void CStreamSocket::OnClose(int) {}

void CStreamSocket::Readable() {
    // Watching is level-triggered: unread data or an end of stream would report again at
    // once. Incoming data is drained and reported once per arrival; the end of stream
    // once, after which the socket is no longer watched.
    m_io.SetWatchEnabled(m_hSocket, false);
    std::array<char, 4096> scratch{};
    bool received = false;
    bool closed = false;
    int error = 0;
    for (;;) {
        const int n = m_io.Receive(m_hSocket, scratch.data(), scratch.size());
        if (n > 0) {
            received = true;
            continue;
        }
        if (n == 0) {
            closed = true;
        } else if (const int reason = m_io.LastError(); reason != EAGAIN && reason != EWOULDBLOCK) {
            closed = true;
            error = reason;
        }
        break;
    }
    const unsigned generation = m_nGeneration;
    if (received) {
        OnReceive(0);
    }
    // The box shown by a report runs a nested event loop, during which the socket may
    // have been closed and replaced.
    if (generation != m_nGeneration || !m_bWatching) {
        return;
    }
    if (closed) {
        Unwatch();
        OnClose(error);
        return;
    }
    m_io.SetWatchEnabled(m_hSocket, true);
}
