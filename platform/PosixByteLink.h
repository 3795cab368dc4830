#pragma once
#include <functional>

#include "platform/ByteLink.h"
#include "platform/HostLookup.h"

// Tells the owner of a descriptor, on the UI thread, that it has data waiting or its
// peer closed: level-triggered, while enabled, until unwatched. The program's event
// loop supplies it (Qt's socket notifier, a test's poll).
class IFdWatcher {
public:
    virtual ~IFdWatcher() = default;
    virtual void Watch(int fd, std::function<void()> onEvent) = 0;
    virtual void SetEnabled(int fd, bool enabled) = 0;
    virtual void Unwatch(int fd) = 0;
};

// A watcher for a program without an event loop: nothing is ever reported.
IFdWatcher& PvNoFdWatcher();

// The link over a POSIX TCP stream socket. The system calls are virtual so that tests
// can record writes or make them fail; each returns 0 (or a count) or -errno.
class CPosixByteLink : public IByteLink {
public:
    explicit CPosixByteLink(IFdWatcher& watcher = PvNoFdWatcher(), PvHostLookup lookup = PvSystemHostLookup);
    ~CPosixByteLink() override;
    CPosixByteLink(const CPosixByteLink&) = delete;
    CPosixByteLink& operator=(const CPosixByteLink&) = delete;

    SConnect Connect(const std::string& address, int port, int timeoutMs) override;
    SSend Send(const void* bytes, std::size_t length) override;
    void Close() override;
    bool IsOpen() const override { return m_fd >= 0; }
    void SetReport(Report report) override { m_report = std::move(report); }
    bool Available() override;

protected:
    virtual int OpenSocket();
    virtual int ConnectSocket(int fd, const std::string& address, int port, int timeoutMs);
    virtual int SendSocket(int fd, const void* bytes, std::size_t length);
    virtual int ReceiveSocket(int fd, void* buffer, std::size_t length);
    virtual int ShutdownSocket(int fd);
    virtual int CloseSocket(int fd);
    virtual int SetNoDelay(int fd);

private:
    void Readable();
    void Unwatch();

    IFdWatcher& m_watcher;
    PvHostLookup m_lookup;
    Report m_report;
    int m_fd = -1;
    bool m_bWatching = false;
    // Bumped whenever the watched connection changes, so that a report that ran a
    // nested event loop can tell that its connection is gone.
    unsigned m_nGeneration = 0;
};
