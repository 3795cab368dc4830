#pragma once
// A browser handheld's end of a WebSocket, made with libwebsockets' client and
// bound to a chosen loopback source address. Every wait is bounded in time.

#include <libwebsockets.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace pv::server::test {

class WebSocketClient {
public:
    // path includes the query, e.g. "/ws?t=...". An empty origin sends none; lws
    // writes "http://" before any other, so it is left out here.
    WebSocketClient(const std::string& source, const std::string& server, std::uint16_t port,
                    const std::string& path, const std::string& origin)
        : m_source(source), m_server(server), m_path(path),
          m_origin(origin.rfind("http://", 0) == 0 ? origin.substr(7) : origin) {
        m_host = server + ":" + std::to_string(port);
        lws_set_log_level(0, nullptr);
        lws_context_creation_info info{};
        info.port = CONTEXT_PORT_NO_LISTEN;
        info.protocols = kProtocols;
        info.options = LWS_SERVER_OPTION_DISABLE_IPV6;
        m_context = lws_create_context(&info);
        if (m_context == nullptr) {
            m_error = "no client context";
            return;
        }
        lws_client_connect_info connect{};
        connect.context = m_context;
        connect.address = m_server.c_str();
        connect.port = port;
        connect.path = m_path.c_str();
        connect.host = m_host.c_str();
        connect.origin = m_origin.empty() ? nullptr : m_origin.c_str();
        connect.iface = m_source.c_str();
        connect.protocol = nullptr;
        connect.ietf_version_or_minus_one = -1;
        connect.userdata = this;
        connect.pwsi = &m_wsi;
        if (lws_client_connect_via_info(&connect) == nullptr) {
            m_error = "connect failed at once";
            m_ended = true;
        }
    }
    ~WebSocketClient() { Drop(); }

    // True once the upgrade was accepted; false when it was refused or failed.
    bool WaitOpen() {
        ServiceUntil([this] { return m_open || m_ended; });
        return m_open && !m_ended;
    }
    // One binary (or text) message per call, in order; true once lws has written it.
    bool Send(const std::string& bytes, bool binary = true) {
        if (!m_open || m_ended) {
            return false;
        }
        m_outgoing.emplace_back(bytes, binary);
        lws_callback_on_writable(m_wsi);
        return ServiceUntil([this] { return m_outgoing.empty() || m_ended; }) && m_outgoing.empty();
    }
    // Sends chunk as binary messages, one after another as fast as the server
    // takes them, for the given time or until count were sent. Returns how many
    // were handed to lws (the last ones may still wait in it: the next Send()
    // or Close() pushes them out first).
    std::size_t Flood(const std::string& chunk, std::chrono::milliseconds duration,
                      std::size_t count = SIZE_MAX) {
        if (!m_open || m_ended) {
            return 0;
        }
        m_flood = chunk;
        m_floodCount = count;
        m_floodUntil = std::chrono::steady_clock::now() + duration;
        lws_callback_on_writable(m_wsi);
        ServiceUntil([this] {
            return std::chrono::steady_clock::now() >= m_floodUntil || m_ended || m_flooded >= m_floodCount;
        });
        m_flood.clear();
        return m_flooded;
    }
    // True when the server ended the WebSocket (a close frame or the connection's end).
    bool WaitClosedByServer() {
        ServiceUntil([this] { return m_ended; });
        return m_ended && !m_closing;
    }
    // A clean close from our side: a close frame, then the connection's end.
    void Close() {
        if (m_open && !m_ended) {
            m_closing = true;
            lws_callback_on_writable(m_wsi);
            ServiceUntil([this] { return m_ended; });
        }
    }
    // The connection vanishes without a close frame, as when a phone's page is killed.
    void Drop() {
        if (m_context != nullptr) {
            lws_context_destroy(m_context);
            m_context = nullptr;
        }
    }
    // Services without pausing between turns (for measuring latency).
    void SetSpin(bool spin) { m_spin = spin; }
    const std::string& Error() const { return m_error; }
    // The code and reason of the server's close frame (0 and empty without one).
    int CloseCode() const { return m_closeCode; }
    const std::string& CloseReason() const { return m_closeReason; }
    // Data frames the server sent (it should send none).
    const std::vector<std::string>& Received() const { return m_received; }

private:
    template <typename Done>
    bool ServiceUntil(Done done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && m_context != nullptr && std::chrono::steady_clock::now() < deadline) {
            lws_service(m_context, -1);  // does not wait
            if (!done() && m_flood.empty() && !m_spin) {
                usleep(2000);
            }
        }
        return done();
    }

    static int Callback(lws* wsi, lws_callback_reasons reason, void* user, void* in, std::size_t len) {
        auto* self = static_cast<WebSocketClient*>(user);
        if (self == nullptr) {
            return 0;
        }
        switch (reason) {
        case LWS_CALLBACK_CLIENT_ESTABLISHED:
            self->m_open = true;
            return 0;
        case LWS_CALLBACK_CLIENT_CONNECTION_ERROR:
            self->m_error = in != nullptr ? static_cast<const char*>(in) : "connection error";
            self->m_ended = true;
            return 0;
        case LWS_CALLBACK_CLIENT_RECEIVE:
            self->m_received.emplace_back(static_cast<const char*>(in), len);
            return 0;
        case LWS_CALLBACK_CLIENT_WRITEABLE: {
            if (self->m_closing) {
                lws_close_reason(wsi, LWS_CLOSE_STATUS_NORMAL, nullptr, 0);
                return -1;
            }
            if (self->m_outgoing.empty() && !self->m_flood.empty()) {
                // As many as the socket takes at once.
                std::vector<unsigned char> buffer(LWS_PRE + self->m_flood.size());
                for (int i = 0; i < 64 && !lws_send_pipe_choked(wsi) && self->m_flooded < self->m_floodCount; ++i) {
                    std::copy(self->m_flood.begin(), self->m_flood.end(), buffer.begin() + LWS_PRE);
                    if (lws_write(wsi, buffer.data() + LWS_PRE, self->m_flood.size(), LWS_WRITE_BINARY) <
                        static_cast<int>(self->m_flood.size())) {
                        return -1;
                    }
                    ++self->m_flooded;
                }
                lws_callback_on_writable(wsi);
                return 0;
            }
            if (self->m_outgoing.empty()) {
                return 0;
            }
            auto& [message, binary] = self->m_outgoing.front();
            std::vector<unsigned char> buffer(LWS_PRE + message.size());
            std::copy(message.begin(), message.end(), buffer.begin() + LWS_PRE);
            if (lws_write(wsi, buffer.data() + LWS_PRE, message.size(), binary ? LWS_WRITE_BINARY : LWS_WRITE_TEXT) <
                static_cast<int>(message.size())) {
                return -1;
            }
            self->m_outgoing.pop_front();
            if (!self->m_outgoing.empty()) {
                lws_callback_on_writable(wsi);
            }
            return 0;
        }
        case LWS_CALLBACK_WS_PEER_INITIATED_CLOSE: {
            const auto* bytes = static_cast<const unsigned char*>(in);
            if (len >= 2) {
                self->m_closeCode = bytes[0] << 8 | bytes[1];
                self->m_closeReason.assign(reinterpret_cast<const char*>(bytes) + 2, len - 2);
            }
            return 0;
        }
        case LWS_CALLBACK_CLIENT_CLOSED:
            self->m_ended = true;
            return 0;
        case LWS_CALLBACK_WSI_DESTROY:
            self->m_ended = true;
            self->m_wsi = nullptr;
            return 0;
        default:
            return 0;
        }
    }

    static constexpr lws_protocols kProtocols[] = {
        {"penvale-test", Callback, 0, 4096, 0, nullptr, 0},
        {nullptr, nullptr, 0, 0, 0, nullptr, 0},
    };

    std::string m_source;
    std::string m_server;
    std::string m_path;
    std::string m_origin;
    std::string m_host;
    lws_context* m_context = nullptr;
    lws* m_wsi = nullptr;
    bool m_open = false;
    bool m_ended = false;
    bool m_closing = false;
    bool m_spin = false;
    std::string m_error;
    int m_closeCode = 0;
    std::string m_closeReason;
    std::deque<std::pair<std::string, bool>> m_outgoing;
    std::vector<std::string> m_received;
    std::string m_flood;
    std::chrono::steady_clock::time_point m_floodUntil;
    std::size_t m_flooded = 0;
    std::size_t m_floodCount = SIZE_MAX;
};

}  // namespace pv::server::test
