#pragma once
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/SocketIo.h"

// The socket seam over the browser's WebSocket. The desktop is always the
// server that served the page, so every connection goes to the page's own
// WebSocket address and the address and port given to Connect are not used.
//
// A browser connects asynchronously. Connect starts the connection and succeeds
// at once; writes made while it opens are kept and leave in order when it opens,
// each as one binary message (the bytes of one write of the program, nothing
// more). A write that finds the connection closed, or never opened, fails, which
// starts the program's own recovery: it closes this socket and connects anew.
// A connection attempt that ends without ever opening loses what it kept and is
// reported to the failure handler, except the page's first attempt (a desktop
// that is not there at start-up is no failure to report).
// Every connection offers the pen's subprotocol before the plain one: a server
// that takes pen samples chooses it, and the pen's samples are sent only then.
// It must outlive every notification it scheduled: the page keeps it for its whole life.
class CWebSocketIo : public ISocketIo {
public:
    explicit CWebSocketIo(std::string url);
    ~CWebSocketIo() override;
    CWebSocketIo(const CWebSocketIo&) = delete;
    CWebSocketIo& operator=(const CWebSocketIo&) = delete;

    void SetConnectFailedHandler(std::function<void()> handler) { m_onConnectFailed = std::move(handler); }
    // Connections started so far (the page's first counts).
    int Attempts() const { return m_nAttempts; }

    int Open() override;
    int Connect(int handle, const std::string& address, int port, int timeoutMs) override;
    int Send(int handle, const void* bytes, std::size_t length) override;
    int Shutdown(int handle) override;
    int Close(int handle) override;
    int SetNoDelay(int handle) override;
    int LastError() const override { return m_nLastError; }
    int Receive(int handle, void* buffer, std::size_t length) override;
    bool Watch(int handle, std::function<void()> onEvent) override;
    void SetWatchEnabled(int handle, bool enabled) override;
    void Unwatch(int handle) override;
    bool TakesPenSamples(int handle) const override;

private:
    struct CConnection;
    struct CLater;
    CConnection* Find(int handle);
    const CConnection* Find(int handle) const;
    int Fail(int error);
    void Opened(CConnection& connection);
    void Ended(CConnection& connection);
    void Arrived(CConnection& connection, std::size_t count);
    void ScheduleNotify(CConnection& connection);
    static void NotifyLater(void* data);
    void Notify(int handle);

    std::string m_url;
    std::map<int, std::unique_ptr<CConnection>> m_connections;
    int m_nNextHandle = 1;  // never reused, so a late browser callback finds nothing
    int m_nAttempts = 0;
    int m_nLastError = 0;
    std::function<void()> m_onConnectFailed;
};
