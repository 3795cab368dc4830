#include "platform/web/WebSocketIo.h"

#include <emscripten/eventloop.h>
#include <emscripten/websocket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {
constexpr unsigned short kOpen = 1;
// The server chooses the first it takes: the pen's only where its pen support is on.
constexpr char kProtocols[] = "penvale-pen,penvale";
constexpr char kPenProtocol[] = "penvale-pen";
}  // namespace

// A notification on its way through the event loop. The handle, not the
// connection, travels: the connection may be gone when the task runs.
struct CWebSocketIo::CLater {
    CWebSocketIo* io;
    int handle;
};

struct CWebSocketIo::CConnection {
    enum class State { Fresh, Connecting, Open, Ended };
    CWebSocketIo* owner = nullptr;
    int handle = 0;
    EMSCRIPTEN_WEBSOCKET_T socket = 0;  // 0: none
    State state = State::Fresh;
    bool firstAttempt = false;
    std::vector<std::vector<char>> queued;  // writes made while connecting
    std::size_t unread = 0;                 // bytes the server sent (it never should)
    bool peerClosed = false;                // an open connection ended
    std::function<void()> watch;
    bool watchEnabled = false;
    bool notifyScheduled = false;
    bool penSamples = false;  // the server chose the pen's subprotocol
};

CWebSocketIo::CWebSocketIo(std::string url) : m_url(std::move(url)) {}

CWebSocketIo::~CWebSocketIo() {
    while (!m_connections.empty()) {
        Close(m_connections.begin()->first);
    }
}

CWebSocketIo::CConnection* CWebSocketIo::Find(int handle) {
    const auto found = m_connections.find(handle);
    return found == m_connections.end() ? nullptr : found->second.get();
}

const CWebSocketIo::CConnection* CWebSocketIo::Find(int handle) const {
    const auto found = m_connections.find(handle);
    return found == m_connections.end() ? nullptr : found->second.get();
}

bool CWebSocketIo::TakesPenSamples(int handle) const {
    const CConnection* connection = Find(handle);
    return connection != nullptr && connection->state == CConnection::State::Open && connection->penSamples;
}

int CWebSocketIo::Fail(int error) {
    m_nLastError = error;
    return -1;
}

int CWebSocketIo::Open() {
    auto connection = std::make_unique<CConnection>();
    connection->owner = this;
    connection->handle = m_nNextHandle++;
    const int handle = connection->handle;
    m_connections[handle] = std::move(connection);
    return handle;
}

int CWebSocketIo::Connect(int handle, const std::string&, int, int) {
    CConnection* connection = Find(handle);
    if (connection == nullptr || connection->state != CConnection::State::Fresh) {
        return Fail(EBADF);
    }
    EmscriptenWebSocketCreateAttributes attributes;
    emscripten_websocket_init_create_attributes(&attributes);
    attributes.url = m_url.c_str();
    attributes.protocols = kProtocols;
    attributes.createOnMainThread = EM_TRUE;
    const EMSCRIPTEN_WEBSOCKET_T socket = emscripten_websocket_new(&attributes);
    if (socket <= 0) {
        return Fail(ECONNREFUSED);
    }
    connection->socket = socket;
    connection->state = CConnection::State::Connecting;
    connection->firstAttempt = m_nAttempts == 0;
    ++m_nAttempts;
    emscripten_websocket_set_onopen_callback(
        socket, connection, [](int, const EmscriptenWebSocketOpenEvent*, void* data) -> EM_BOOL {
            auto* c = static_cast<CConnection*>(data);
            c->owner->Opened(*c);
            return EM_TRUE;
        });
    emscripten_websocket_set_onclose_callback(
        socket, connection, [](int, const EmscriptenWebSocketCloseEvent*, void* data) -> EM_BOOL {
            auto* c = static_cast<CConnection*>(data);
            c->owner->Ended(*c);
            return EM_TRUE;
        });
    emscripten_websocket_set_onmessage_callback(
        socket, connection, [](int, const EmscriptenWebSocketMessageEvent* event, void* data) -> EM_BOOL {
            auto* c = static_cast<CConnection*>(data);
            c->owner->Arrived(*c, event->numBytes);
            return EM_TRUE;
        });
    return 0;
}

void CWebSocketIo::Opened(CConnection& connection) {
    if (connection.state != CConnection::State::Connecting) {
        return;
    }
    connection.state = CConnection::State::Open;
    char protocol[32] = {};
    connection.penSamples =
        emscripten_websocket_get_protocol(connection.socket, protocol, static_cast<int>(sizeof protocol)) ==
            EMSCRIPTEN_RESULT_SUCCESS &&
        std::strcmp(protocol, kPenProtocol) == 0;
    // What was written while connecting leaves now, one message per write.
    std::vector<std::vector<char>> queued;
    queued.swap(connection.queued);
    for (std::vector<char>& bytes : queued) {
        emscripten_websocket_send_binary(connection.socket, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
}

void CWebSocketIo::Ended(CConnection& connection) {
    const bool wasOpen = connection.state == CConnection::State::Open;
    const bool wasConnecting = connection.state == CConnection::State::Connecting;
    connection.state = CConnection::State::Ended;
    connection.queued.clear();
    if (wasOpen) {
        connection.peerClosed = true;
        ScheduleNotify(connection);
    } else if (wasConnecting && !connection.firstAttempt && m_onConnectFailed) {
        m_onConnectFailed();
    }
}

void CWebSocketIo::Arrived(CConnection& connection, std::size_t count) {
    connection.unread += count;
    ScheduleNotify(connection);
}

int CWebSocketIo::Send(int handle, const void* bytes, std::size_t length) {
    CConnection* connection = Find(handle);
    if (connection == nullptr) {
        return Fail(EBADF);
    }
    switch (connection->state) {
        case CConnection::State::Connecting: {
            if (length > 0) {
                const char* begin = static_cast<const char*>(bytes);
                connection->queued.emplace_back(begin, begin + length);
            }
            return static_cast<int>(length);
        }
        case CConnection::State::Open: {
            // The browser may know of the close before its event has run.
            unsigned short readyState = 0;
            emscripten_websocket_get_ready_state(connection->socket, &readyState);
            if (readyState != kOpen) {
                return Fail(EPIPE);
            }
            // An empty write reaches nothing on the wire, as with a stream socket.
            if (length > 0 && emscripten_websocket_send_binary(connection->socket, const_cast<void*>(bytes),
                                                               static_cast<uint32_t>(length)) !=
                                  EMSCRIPTEN_RESULT_SUCCESS) {
                return Fail(EPIPE);
            }
            return static_cast<int>(length);
        }
        case CConnection::State::Fresh:
            return Fail(ENOTCONN);
        case CConnection::State::Ended:
            break;
    }
    return Fail(EPIPE);
}

int CWebSocketIo::Shutdown(int handle) {
    CConnection* connection = Find(handle);
    if (connection == nullptr) {
        return Fail(EBADF);
    }
    if (connection->socket > 0 && connection->state != CConnection::State::Ended) {
        emscripten_websocket_close(connection->socket, 1000, nullptr);
    }
    return 0;
}

int CWebSocketIo::Close(int handle) {
    const auto found = m_connections.find(handle);
    if (found == m_connections.end()) {
        return Fail(EBADF);
    }
    CConnection& connection = *found->second;
    if (connection.socket > 0) {
        if (connection.state != CConnection::State::Ended) {
            emscripten_websocket_close(connection.socket, 1000, nullptr);
        }
        // Detaches the browser's callbacks from this connection.
        emscripten_websocket_delete(connection.socket);
    }
    m_connections.erase(found);
    return 0;
}

int CWebSocketIo::SetNoDelay(int handle) {
    return Find(handle) != nullptr ? 0 : Fail(EBADF);
}

int CWebSocketIo::Receive(int handle, void* buffer, std::size_t length) {
    CConnection* connection = Find(handle);
    if (connection == nullptr) {
        return Fail(EBADF);
    }
    if (connection->unread > 0) {
        // The bytes themselves are not kept: the protocol never reads them.
        const std::size_t count = std::min(length, connection->unread);
        std::memset(buffer, 0, count);
        connection->unread -= count;
        return static_cast<int>(count);
    }
    if (connection->peerClosed) {
        return 0;
    }
    return Fail(EAGAIN);
}

bool CWebSocketIo::Watch(int handle, std::function<void()> onEvent) {
    CConnection* connection = Find(handle);
    if (connection == nullptr) {
        return false;
    }
    connection->watch = std::move(onEvent);
    connection->watchEnabled = true;
    ScheduleNotify(*connection);
    return true;
}

void CWebSocketIo::SetWatchEnabled(int handle, bool enabled) {
    if (CConnection* connection = Find(handle)) {
        connection->watchEnabled = enabled;
        if (enabled) {
            ScheduleNotify(*connection);
        }
    }
}

void CWebSocketIo::Unwatch(int handle) {
    if (CConnection* connection = Find(handle)) {
        connection->watch = nullptr;
        connection->watchEnabled = false;
    }
}

// Level-triggered like a descriptor's readiness, but always from a fresh task of
// the event loop, never from inside the caller.
void CWebSocketIo::ScheduleNotify(CConnection& connection) {
    if (connection.notifyScheduled || !connection.watchEnabled || !connection.watch) {
        return;
    }
    if (connection.unread == 0 && !connection.peerClosed) {
        return;
    }
    connection.notifyScheduled = true;
    emscripten_set_timeout(&CWebSocketIo::NotifyLater, 0, new CLater{this, connection.handle});
}

void CWebSocketIo::NotifyLater(void* data) {
    auto* later = static_cast<CLater*>(data);
    const CLater copy = *later;
    delete later;
    copy.io->Notify(copy.handle);
}

void CWebSocketIo::Notify(int handle) {
    CConnection* connection = Find(handle);
    if (connection == nullptr) {
        return;
    }
    connection->notifyScheduled = false;
    if (!connection->watchEnabled || !connection->watch || (connection->unread == 0 && !connection->peerClosed)) {
        return;
    }
    // A copy: the handler may unwatch or close this very connection.
    std::function<void()> watch = connection->watch;
    watch();
    if ((connection = Find(handle)) != nullptr) {
        ScheduleNotify(*connection);
    }
}
