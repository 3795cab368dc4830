#include "platform/web/WebSocketLink.h"

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

// A notification on its way through the event loop. The connection's id, not the
// connection, travels: the connection may be gone when the task runs.
struct CWebSocketLink::CLater {
    CWebSocketLink* link;
    unsigned id;
};

struct CWebSocketLink::CConnection {
    enum class State { Connecting, Open, Ended };
    CWebSocketLink* owner = nullptr;
    unsigned id = 0;
    EMSCRIPTEN_WEBSOCKET_T socket = 0;  // 0: none
    State state = State::Ended;
    bool firstAttempt = false;
    std::vector<std::vector<char>> queued;  // writes made while connecting
    bool unread = false;                    // the server sent something (it never should)
    bool peerClosed = false;                // an open connection ended, not yet reported
    bool notifyScheduled = false;
    bool penSamples = false;  // the server chose the pen's subprotocol
};

CWebSocketLink::CWebSocketLink(std::string url) : m_url(std::move(url)) {}

CWebSocketLink::~CWebSocketLink() {
    Close();
}

bool CWebSocketLink::TakesPenSamples() const {
    return m_pConnection != nullptr && m_pConnection->state == CConnection::State::Open &&
           m_pConnection->penSamples;
}

IByteLink::SConnect CWebSocketLink::Connect(const std::string&, int, int) {
    Close();
    m_pConnection = std::make_unique<CConnection>();
    CConnection* connection = m_pConnection.get();
    connection->owner = this;
    connection->id = m_nNextId++;
    EmscriptenWebSocketCreateAttributes attributes;
    emscripten_websocket_init_create_attributes(&attributes);
    attributes.url = m_url.c_str();
    attributes.protocols = kProtocols;
    attributes.createOnMainThread = EM_TRUE;
    const EMSCRIPTEN_WEBSOCKET_T socket = emscripten_websocket_new(&attributes);
    if (socket <= 0) {
        return {EConnect::Failed, ECONNREFUSED};
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
        socket, connection, [](int, const EmscriptenWebSocketMessageEvent*, void* data) -> EM_BOOL {
            auto* c = static_cast<CConnection*>(data);
            c->owner->Arrived(*c);
            return EM_TRUE;
        });
    return {EConnect::Connected, 0};
}

void CWebSocketLink::Opened(CConnection& connection) {
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

void CWebSocketLink::Ended(CConnection& connection) {
    const bool wasOpen = connection.state == CConnection::State::Open;
    const bool wasConnecting = connection.state == CConnection::State::Connecting;
    connection.state = CConnection::State::Ended;
    connection.queued.clear();
    if (wasOpen) {
        connection.peerClosed = true;
        ScheduleNotify();
    } else if (wasConnecting && !connection.firstAttempt && m_onConnectFailed) {
        m_onConnectFailed();
    }
}

void CWebSocketLink::Arrived(CConnection& connection) {
    connection.unread = true;
    ScheduleNotify();
}

IByteLink::SSend CWebSocketLink::Send(const void* bytes, std::size_t length) {
    if (m_pConnection == nullptr) {
        return {-1, EBADF};
    }
    CConnection& connection = *m_pConnection;
    switch (connection.state) {
        case CConnection::State::Connecting: {
            if (length > 0) {
                const char* begin = static_cast<const char*>(bytes);
                connection.queued.emplace_back(begin, begin + length);
            }
            return {static_cast<int>(length), 0};
        }
        case CConnection::State::Open: {
            // The browser may know of the close before its event has run.
            unsigned short readyState = 0;
            emscripten_websocket_get_ready_state(connection.socket, &readyState);
            if (readyState != kOpen) {
                return {-1, EPIPE};
            }
            // An empty write reaches nothing on the wire, as with a stream socket.
            if (length > 0 && emscripten_websocket_send_binary(connection.socket, const_cast<void*>(bytes),
                                                               static_cast<uint32_t>(length)) !=
                                  EMSCRIPTEN_RESULT_SUCCESS) {
                return {-1, EPIPE};
            }
            return {static_cast<int>(length), 0};
        }
        case CConnection::State::Ended:
            break;
    }
    return {-1, connection.socket > 0 ? EPIPE : ENOTCONN};
}

void CWebSocketLink::Close() {
    if (m_pConnection == nullptr) {
        return;
    }
    CConnection& connection = *m_pConnection;
    if (connection.socket > 0) {
        if (connection.state != CConnection::State::Ended) {
            emscripten_websocket_close(connection.socket, 1000, nullptr);
        }
        // Detaches the browser's callbacks from this connection.
        emscripten_websocket_delete(connection.socket);
    }
    m_pConnection.reset();
}

// Always from a fresh task of the event loop, never from inside the caller.
void CWebSocketLink::ScheduleNotify() {
    CConnection* connection = m_pConnection.get();
    if (connection == nullptr || connection->notifyScheduled || (!connection->unread && !connection->peerClosed)) {
        return;
    }
    connection->notifyScheduled = true;
    emscripten_set_timeout(&CWebSocketLink::NotifyLater, 0, new CLater{this, connection->id});
}

void CWebSocketLink::NotifyLater(void* data) {
    auto* later = static_cast<CLater*>(data);
    const CLater copy = *later;
    delete later;
    copy.link->Notify(copy.id);
}

void CWebSocketLink::Notify(unsigned id) {
    const auto current = [this, id] { return m_pConnection != nullptr && m_pConnection->id == id; };
    if (!current()) {
        return;
    }
    m_pConnection->notifyScheduled = false;
    const bool received = m_pConnection->unread;
    const bool closed = m_pConnection->peerClosed;
    m_pConnection->unread = false;
    m_pConnection->peerClosed = false;
    // A report's box runs a nested event loop, during which the link may be closed and connected anew.
    if (received && m_report) {
        m_report(EReport::Received, 0);
    }
    if (!current()) {
        return;
    }
    if (closed && m_report) {
        m_report(EReport::Closed, 0);
    }
    if (current()) {
        ScheduleNotify();
    }
}
