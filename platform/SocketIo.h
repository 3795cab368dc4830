#pragma once
#include <cstddef>
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
    // True when handles are real descriptors that can be watched for incoming data.
    virtual bool Watchable() const { return false; }
};

// The POSIX implementation, shared by the process.
ISocketIo& PvPosixSocketIo();
