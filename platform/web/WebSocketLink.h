#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ByteLink.h"

// The byte link over the browser's WebSocket. The desktop is always the server
// that served the page, so every connection goes to the page's own WebSocket
// address and the address and port given to Connect are not used.
//
// A browser connects asynchronously. Connect starts the connection and succeeds
// at once; writes made while it opens are kept and leave in order when it opens,
// each as one binary message (the bytes of one write of the program, nothing
// more). A write that finds the connection closed, or never opened, fails, which
// starts the program's own recovery: it closes this link and connects anew.
// A connection attempt that ends without ever opening loses what it kept and is
// reported to the failure handler, except the page's first attempt (a desktop
// that is not there at start-up is no failure to report).
// Every connection offers the pen's subprotocol before the plain one: a server
// that takes pen samples chooses it, and the pen's samples are sent only then.
// It must outlive every notification it scheduled: the page keeps it for its whole life.
class CWebSocketLink : public IByteLink {
public:
    explicit CWebSocketLink(std::string url);
    ~CWebSocketLink() override;
    CWebSocketLink(const CWebSocketLink&) = delete;
    CWebSocketLink& operator=(const CWebSocketLink&) = delete;

    void SetConnectFailedHandler(std::function<void()> handler) { m_onConnectFailed = std::move(handler); }
    // Connections started so far (the page's first counts).
    int Attempts() const { return m_nAttempts; }

    SConnect Connect(const std::string& address, int port, int timeoutMs) override;
    SSend Send(const void* bytes, std::size_t length) override;
    void Close() override;
    bool IsOpen() const override { return m_pConnection != nullptr; }
    void SetReport(Report report) override { m_report = std::move(report); }
    bool Available() override { return true; }
    bool TakesPenSamples() const override;

private:
    struct CConnection;
    struct CLater;
    void Opened(CConnection& connection);
    void Ended(CConnection& connection);
    void Arrived(CConnection& connection);
    void ScheduleNotify();
    static void NotifyLater(void* data);
    void Notify(unsigned id);

    std::string m_url;
    std::unique_ptr<CConnection> m_pConnection;
    // Never reused, so that a late notification finds no connection of its own.
    unsigned m_nNextId = 1;
    int m_nAttempts = 0;
    Report m_report;
    std::function<void()> m_onConnectFailed;
};
