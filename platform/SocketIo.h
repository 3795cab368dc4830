#pragma once
#include <cstddef>
#include <functional>
#include <string>

// The operating system's stream-socket calls, behind an interface so that tests
// can record writes or make them fail. Handles are small non-negative integers;
// every call returns -1 on failure and leaves the reason for LastError().
class ISocketIo {
public:
    virtual ~ISocketIo() = default;
    // A new TCP stream socket, unbound (the system picks an ephemeral local port at connect).
    virtual int Open() = 0;
    // Connects to a dotted IPv4 address or host name, waiting at most timeoutMs. 0 on success.
    virtual int Connect(int handle, const std::string& address, int port, int timeoutMs) = 0;
    // Sends without ever raising SIGPIPE; a length of 0 still reaches the system's send.
    virtual int Send(int handle, const void* bytes, std::size_t length) = 0;
    virtual int Shutdown(int handle) = 0;  // both directions
    virtual int Close(int handle) = 0;
    virtual int SetNoDelay(int handle) = 0;
    virtual int LastError() const = 0;

    // Reads what has arrived without waiting: the count read, 0 when the peer ended the
    // stream, -1 when nothing is waiting (LastError EAGAIN) or on an error.
    virtual int Receive(int handle, void* buffer, std::size_t length) {
        (void)handle, (void)buffer, (void)length;
        return -1;
    }
    // Calls onEvent on the UI thread whenever handle has data waiting or its peer closed,
    // level-triggered, until Unwatch(handle) or Close(handle). False when this layer
    // cannot watch: the socket then reports nothing.
    virtual bool Watch(int handle, std::function<void()> onEvent) {
        (void)handle, (void)onEvent;
        return false;
    }
    virtual void SetWatchEnabled(int handle, bool enabled) { (void)handle, (void)enabled; }
    virtual void Unwatch(int handle) { (void)handle; }
    // Whether the desktop at the other end of an open connection takes a pen's samples
    // (the browser's WebSocket learns it as it opens); false where it cannot be known.
    virtual bool TakesPenSamples(int handle) const {
        (void)handle;
        return false;
    }
};

// The POSIX implementation, shared by the process.
ISocketIo& PvPosixSocketIo();
