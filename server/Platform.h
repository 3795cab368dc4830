#pragma once
// What the server needs from the system beyond the standard library: sockets and
// the wait on them, the loop's wake-up, random bytes, folders and files, the
// machine's addresses, the stop request and the desktop's pointer. One
// PlatformPosix.cpp or PlatformWindows.cpp implements it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#endif

namespace pv::server {

class PointerDevice;
class PenDevice;

#ifdef _WIN32
using SocketHandle = SOCKET;
inline constexpr SocketHandle kNoSocket = INVALID_SOCKET;
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

// A socket that closes itself.
class UniqueSocket {
public:
    UniqueSocket() = default;
    explicit UniqueSocket(SocketHandle socket) : m_socket(socket) {}
    UniqueSocket(UniqueSocket&& other) noexcept : m_socket(std::exchange(other.m_socket, kNoSocket)) {}
    UniqueSocket& operator=(UniqueSocket&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.m_socket, kNoSocket));
        }
        return *this;
    }
    UniqueSocket(const UniqueSocket&) = delete;
    UniqueSocket& operator=(const UniqueSocket&) = delete;
    ~UniqueSocket() { Reset(); }

    SocketHandle Get() const { return m_socket; }
    bool Valid() const { return m_socket != kNoSocket; }
    explicit operator bool() const { return Valid(); }
    void Reset(SocketHandle socket = kNoSocket);

private:
    SocketHandle m_socket = kNoSocket;
};

// The socket calls the server makes, alike on every system: each sets errno on
// failure (socket errors carry their POSIX names on Windows too).
namespace net {
// Starts the system's socket library; false when it cannot be used.
bool Start();
// A TCP or UDP socket that does not block and is not inherited by children.
SocketHandle OpenSocket(int type);
int Bind(SocketHandle socket, const sockaddr_in& address);
int Listen(SocketHandle socket);
SocketHandle Accept(SocketHandle listener, sockaddr_in& peer);
long Receive(SocketHandle socket, char* buffer, std::size_t size);
void SetOption(SocketHandle socket, int level, int name, int value);
// Keepalive as both transports use it: a peer that vanished without a word
// (cable pulled, handheld switched off) is found within about 25 s.
inline constexpr int kKeepIdle = 10;
inline constexpr int kKeepInterval = 5;
inline constexpr int kKeepCount = 3;
void SetKeepalive(SocketHandle socket);
// Entries with kNoSocket are left out; returns what poll() returns.
int Poll(pollfd* fds, std::size_t count, int timeoutMs);
// "a.b.c.d:port" of a socket's own or its peer's IPv4 address; false when it
// has none.
bool Address(SocketHandle socket, bool peer, sockaddr_in& address);
std::string AddressText(const sockaddr_in& address);
}  // namespace net

// A descriptor kept free for when accept fails for want of one: given up for a
// moment, it takes the connection waiting on a listener and closes it, so that
// the listener never spins on a connection it cannot take.
class DescriptorReserve {
public:
    DescriptorReserve();
    DescriptorReserve(const DescriptorReserve&) = delete;
    DescriptorReserve& operator=(const DescriptorReserve&) = delete;
    ~DescriptorReserve();
    // False when not even that worked.
    bool DropWaiting(SocketHandle listener);

private:
    int m_fd = -1;
};

// Raises the limit on open descriptors as far as it goes and returns it.
std::size_t RaiseDescriptorLimit();

// The socket of this process that listens on port; kNoSocket when none is found.
SocketHandle ListeningSocket(std::uint16_t port);

// Text for an errno value, socket errors included.
std::string ErrorText(int error);

// A wake-up another thread (or a stop request) gives a loop that polls it.
class Wakeup {
public:
    Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;
    ~Wakeup();

    bool Valid() const;
    SocketHandle PollHandle() const { return m_read; }
    // Safe from any thread and from a signal handler; wakes one poll at least.
    void Signal() const;
    // Takes what Signal() left, so that the next poll waits again.
    void Drain() const;

private:
    SocketHandle m_read = kNoSocket;
    SocketHandle m_write = kNoSocket;
};

// Cryptographically strong random bytes; false with errno set when none.
bool RandomBytes(unsigned char* bytes, std::size_t size);

// The user's own folder for the server's state: %LOCALAPPDATA%\Penvale on
// Windows; elsewhere $STATE_DIRECTORY (set by systemd's StateDirectory=; the first
// of a list), else $XDG_STATE_HOME/penvale, else $HOME/.local/state/penvale.
// Empty when none can be named.
std::string DefaultStateDirectory();

// Makes dir and its parents; the last level readable by the user only. False
// with errno set.
bool MakePrivateFolder(const std::string& dir);

// Up to limit bytes from the start of a file; false with errno set (ENOENT when
// there is no such file).
bool ReadFileStart(const std::string& path, std::size_t limit, std::string& text);

// Whether a kept secret's file may be trusted: the user's own, no link, and
// readable by nobody else. why says what is wrong when it may not.
bool IsPrivateFile(const std::string& path, std::string& why);

// Replaces path with text whole: written aside, synced, renamed over it, readable
// by the user only. Returns an empty string, or the error.
std::string WriteFileAtomically(const std::string& path, std::string_view text);

// The folder the running program's file is in; empty when unknown.
std::string ProgramFolder();

// Calls onStop (from a signal handler, or the console's own thread on Windows)
// when the user asks the program to end: Ctrl+C, Ctrl+Break, a closed console
// window, SIGTERM, SIGHUP. A reader that goes away gives EPIPE, not death.
void OnStopRequest(void (*onStop)());

// Makes the standard streams write the server's UTF-8 text as such.
void PrepareConsole();

// Whether standard error is a terminal that shows colour escape sequences (a
// Windows console is asked to take them).
bool StandardErrorShowsColours();

// Between a folder and a file's name.
inline constexpr char kPathSeparator =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

// The desktop's pointer: uinput on Linux, SendInput on Windows. Null with error
// set (naming the fix) when it cannot be had. description says what it is.
std::unique_ptr<PointerDevice> OpenDesktopPointer(std::string& error, std::string& description);

// The desktop's pen, a tablet stylus beside the pointer: uinput on Linux; none on
// Windows yet, where HasDesktopPen() is false and pen samples are not taken (a
// pen then drives the pointer as a finger does). Null with error set when it
// cannot be had; description says what it is.
bool HasDesktopPen();
std::unique_ptr<PenDevice> OpenDesktopPen(std::string& error, std::string& description);

}  // namespace pv::server
