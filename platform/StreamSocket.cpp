#include "platform/StreamSocket.h"

#include <sys/ioctl.h>
#include <sys/socket.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>

// Watches the descriptor for incoming data and the peer's close on the UI thread.
class CStreamSocket::CWatcher {
public:
    CWatcher(int fd, CStreamSocket& owner) : m_notifier(fd, QSocketNotifier::Read) {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [&owner] { owner.Readable(); });
    }
    void SetEnabled(bool enabled) { m_notifier.setEnabled(enabled); }

private:
    QSocketNotifier m_notifier;
};

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
    if (m_io.Watchable()) {
        m_pWatcher = std::make_unique<CWatcher>(m_hSocket, *this);
    }
    return true;
}

int CStreamSocket::Send(const void* bytes, std::size_t length) {
    const int sent = m_io.Send(m_hSocket, bytes, length);
    return sent < 0 ? Fail() : sent;
}

bool CStreamSocket::ShutDown() {
    return m_io.Shutdown(m_hSocket) == 0 || (Fail(), false);
}

void CStreamSocket::Close() {
    m_pWatcher.reset();
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
    // The notifier is level-triggered: unread data or an end of stream would fire it
    // again at once. Incoming data is drained and reported once per arrival; the end
    // of stream once, after which the socket is no longer watched.
    m_pWatcher->SetEnabled(false);
    std::array<char, 4096> scratch{};
    bool received = false;
    bool closed = false;
    int error = 0;
    for (;;) {
        const ssize_t n = ::recv(m_hSocket, scratch.data(), scratch.size(), MSG_DONTWAIT);
        if (n > 0) {
            received = true;
            continue;
        }
        if (n == 0) {
            closed = true;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            closed = true;
            error = errno;
        } else if (errno == EINTR) {
            continue;
        }
        break;
    }
    CWatcher* watcher = m_pWatcher.get();
    if (received) {
        OnReceive(0);
    }
    // The box shown by a notification runs a nested event loop, during which the
    // socket may have been closed and replaced.
    if (closed && watcher == m_pWatcher.get() && watcher != nullptr) {
        m_pWatcher.reset();
        OnClose(error);
        return;
    }
    if (watcher == m_pWatcher.get() && watcher != nullptr) {
        watcher->SetEnabled(true);
    }
}
