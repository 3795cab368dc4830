#include "server/Platform.h"

// winsock2.h (through Platform.h) before windows.h.
#include <bcrypt.h>
#include <iphlpapi.h>
#include <io.h>
#include <sddl.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cwchar>

#include "server/AllowList.h"
#include "server/ConnectHints.h"
#include "server/Output.h"
#include "server/PenDevice.h"
#include "server/SendInputDevice.h"

// Windows 10 1709 and later take the keepalive times per socket.
#ifndef TCP_KEEPIDLE
#define TCP_KEEPIDLE 3
#endif
#ifndef TCP_KEEPCNT
#define TCP_KEEPCNT 16
#endif
#ifndef TCP_KEEPINTVL
#define TCP_KEEPINTVL 17
#endif

namespace pv::server {

namespace {

// Winsock's errors by the POSIX names the server's code tests for.
int ErrnoOf(int wsaError) {
    switch (wsaError) {
    case WSAEWOULDBLOCK: return EWOULDBLOCK;
    case WSAEINTR: return EINTR;
    case WSAEACCES: return EACCES;
    case WSAEADDRINUSE: return EADDRINUSE;
    case WSAEADDRNOTAVAIL: return EADDRNOTAVAIL;
    case WSAECONNABORTED: return ECONNABORTED;
    case WSAECONNRESET: return ECONNRESET;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAEMFILE: return EMFILE;
    case WSAENOBUFS: return ENOBUFS;
    case WSAENOTCONN: return ENOTCONN;
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAENETDOWN: return ENETDOWN;
    default: return EIO;
    }
}

void SetSocketErrno() {
    errno = ErrnoOf(WSAGetLastError());
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Utf8(const wchar_t* text, std::size_t length) {
    if (length == 0) {
        return {};
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

std::string SystemErrorText(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = length > 0 ? Utf8(text, length) : "error " + std::to_string(error);
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) {
        out.pop_back();
    }
    return out;
}

// The running user's SID as text ("S-1-5-21-..."); empty when unknown.
std::wstring UserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    std::wstring text;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    wchar_t* sid = nullptr;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}

// WSAStartup once, before the first socket.
bool StartOnce() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

}  // namespace

void UniqueSocket::Reset(SocketHandle socket) {
    if (m_socket != kNoSocket) {
        closesocket(m_socket);
    }
    m_socket = socket;
}

namespace net {

bool Start() {
    return StartOnce();
}

SocketHandle OpenSocket(int type) {
    if (!StartOnce()) {
        errno = ENETDOWN;
        return kNoSocket;
    }
    SocketHandle socket =
        WSASocketW(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP, nullptr, 0,
                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == kNoSocket) {
        SetSocketErrno();
        return kNoSocket;
    }
    u_long nonBlocking = 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    return socket;
}

int Bind(SocketHandle socket, const sockaddr_in& address) {
    if (bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        SetSocketErrno();
        return -1;
    }
    return 0;
}

int Listen(SocketHandle socket) {
    if (listen(socket, SOMAXCONN) != 0) {
        SetSocketErrno();
        return -1;
    }
    return 0;
}

SocketHandle Accept(SocketHandle listener, sockaddr_in& peer) {
    int size = sizeof peer;
    SocketHandle socket = accept(listener, reinterpret_cast<sockaddr*>(&peer), &size);
    if (socket == kNoSocket) {
        SetSocketErrno();
        return kNoSocket;
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    u_long nonBlocking = 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    return socket;
}

long Receive(SocketHandle socket, char* buffer, std::size_t size) {
    int n = recv(socket, buffer, static_cast<int>(size), 0);
    if (n < 0) {
        SetSocketErrno();
    }
    return n;
}

void SetOption(SocketHandle socket, int level, int name, int value) {
    setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

void SetKeepalive(SocketHandle socket) {
    SetOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(socket, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdle);
    SetOption(socket, IPPROTO_TCP, TCP_KEEPINTVL, kKeepInterval);
    SetOption(socket, IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
}

int Poll(pollfd* fds, std::size_t count, int timeoutMs) {
    // WSAPoll is not asked about entries without a socket: not every Windows
    // skips them.
    WSAPOLLFD used[8];
    std::size_t from[8];
    ULONG n = 0;
    for (std::size_t i = 0; i < count; ++i) {
        fds[i].revents = 0;
        if (fds[i].fd != kNoSocket && n < 8) {
            used[n] = {fds[i].fd, fds[i].events, 0};
            from[n++] = i;
        }
    }
    if (n == 0) {
        Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
        return 0;
    }
    int ready = WSAPoll(used, n, timeoutMs);
    if (ready < 0) {
        SetSocketErrno();
        return ready;
    }
    for (ULONG i = 0; i < n; ++i) {
        fds[from[i]].revents = used[i].revents;
    }
    return ready;
}

bool Address(SocketHandle socket, bool peer, sockaddr_in& address) {
    int size = sizeof address;
    int result = peer ? getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size)
                      : getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    return result == 0 && address.sin_family == AF_INET;
}

}  // namespace net

std::string ErrorText(int error) {
    // The C library knows the classic errno values only.
    switch (error) {
    case EADDRINUSE: return "Address already in use";
    case EADDRNOTAVAIL: return "Cannot assign requested address";
    case ECONNABORTED: return "Software caused connection abort";
    case ECONNRESET: return "Connection reset by peer";
    case ETIMEDOUT: return "Connection timed out";
    case EWOULDBLOCK: return "Resource temporarily unavailable";
    case ENOBUFS: return "No buffer space available";
    case ENOTCONN: return "Transport endpoint is not connected";
    case ECONNREFUSED: return "Connection refused";
    case ENETDOWN: return "Network is down";
    case ECANCELED: return "Operation canceled";
    default: return std::strerror(error);
    }
}

// A UDP socket connected to itself: the only kind of wake-up WSAPoll can wait on.
Wakeup::Wakeup() {
    SocketHandle socket = net::OpenSocket(SOCK_DGRAM);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof local;
    if (socket == kNoSocket || bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0 ||
        connect(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        if (socket != kNoSocket) {
            closesocket(socket);
        }
        return;
    }
    m_read = m_write = socket;
}

Wakeup::~Wakeup() {
    if (m_read != kNoSocket) {
        closesocket(m_read);
    }
}

bool Wakeup::Valid() const {
    return m_write != kNoSocket;
}

void Wakeup::Signal() const {
    if (m_write != kNoSocket) {
        char byte = 0;
        send(m_write, &byte, 1, 0);
    }
}

void Wakeup::Drain() const {
    char drain[64];
    while (m_read != kNoSocket && recv(m_read, drain, sizeof drain, 0) > 0) {
    }
}

// Sockets are not file descriptors here and have no small per-process limit:
// the reserve only takes the waiting connection and closes it.
DescriptorReserve::DescriptorReserve() = default;

DescriptorReserve::~DescriptorReserve() = default;

bool DescriptorReserve::DropWaiting(SocketHandle listener) {
    SOCKET waiting = accept(listener, nullptr, nullptr);
    if (waiting == INVALID_SOCKET) {
        return false;
    }
    closesocket(waiting);
    return true;
}

std::size_t RaiseDescriptorLimit() {
    return 16384;
}

SocketHandle ListeningSocket(std::uint16_t) {
    return kNoSocket;
}

// The state folder is under the user's own profile, which others cannot read.
bool IsPrivateFile(const std::string&, std::string&) {
    return true;
}

bool RandomBytes(unsigned char* bytes, std::size_t size) {
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(size),
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        errno = EIO;
        return false;
    }
    return true;
}

std::string DefaultStateDirectory() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local == nullptr || *local == L'\0') {
        return {};
    }
    return Utf8(local, std::wcslen(local)) + "\\Penvale";
}

bool MakePrivateFolder(const std::string& dir) {
    std::wstring wide = Wide(dir);
    for (std::size_t at = wide.find_first_of(L"\\/", 3); at != std::wstring::npos;
         at = wide.find_first_of(L"\\/", at + 1)) {
        std::wstring part = wide.substr(0, at);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS &&
            GetLastError() != ERROR_ACCESS_DENIED) {
            errno = ENOENT;
            return false;
        }
    }
    // The folder itself: this user and the system only, nothing inherited. By the
    // user's own SID, not the owner's: an elevated run would make Administrators the
    // owner, and the user's next ordinary run could not read the token.
    std::wstring acl = L"D:P(A;OICI;FA;;;SY)";
    if (std::wstring user = UserSid(); !user.empty()) {
        acl += L"(A;OICI;FA;;;" + user + L")";
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    ConvertStringSecurityDescriptorToSecurityDescriptorW(acl.c_str(), SDDL_REVISION_1,
                                                         &attributes.lpSecurityDescriptor, nullptr);
    bool made = CreateDirectoryW(wide.c_str(), &attributes) || GetLastError() == ERROR_ALREADY_EXISTS;
    DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    if (!made) {
        errno = error == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    }
    return made;
}

bool ReadFileStart(const std::string& path, std::size_t limit, std::string& text) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
        return false;
    }
    text.assign(limit, '\0');
    DWORD read = 0;
    bool ok = ReadFile(file, text.data(), static_cast<DWORD>(limit), &read, nullptr);
    CloseHandle(file);
    text.resize(ok ? read : 0);
    if (!ok) {
        errno = EIO;
    }
    return ok;
}

std::string WriteFileAtomically(const std::string& path, std::string_view text) {
    std::string temporary = path + ".new";
    std::wstring wideTemporary = Wide(temporary);
    HANDLE file = CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "cannot write " + temporary + ": " + SystemErrorText(GetLastError());
    }
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size() && FlushFileBuffers(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok || !MoveFileExW(wideTemporary.c_str(), Wide(path).c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ok ? GetLastError() : error;
        DeleteFileW(wideTemporary.c_str());
        return "cannot write " + path + ": " + SystemErrorText(error);
    }
    return {};
}

std::vector<std::uint32_t> LocalIpv4Addresses() {
    std::vector<std::uint32_t> addresses;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_INET,
                                      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                      nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) {
        return addresses;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp) {
            continue;
        }
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address != nullptr && address->sa_family == AF_INET) {
                addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr));
            }
        }
    }
    return addresses;
}

std::string ProgramFolder() {
    wchar_t buffer[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer)) {
        return {};
    }
    std::string exe = Utf8(buffer, n);
    return exe.substr(0, exe.find_last_of("\\/"));
}

namespace {

std::atomic<void (*)()> g_onStop{nullptr};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (void (*onStop)() = g_onStop.load()) {
        onStop();
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process when this returns: the loop has until then
        // to release the button. main() returning ends it sooner.
        Sleep(4000);
    }
    return TRUE;
}

}  // namespace

void OnStopRequest(void (*onStop)()) {
    g_onStop.store(onStop);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    // Binary: the lines end as they are written, and no conversion splits a character.
    _setmode(STDOUT_FILENO, 0x8000 /* _O_BINARY */);
    _setmode(STDERR_FILENO, 0x8000);
}

bool StandardErrorShowsColours() {
    HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode) &&
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

int WriteAll(int fd, std::string_view text, [[maybe_unused]] const std::atomic<bool>& stop) {
    // A console or a pipe: no wait for room can be asked of an anonymous pipe, so
    // the write blocks while a pipe is full.
    while (!text.empty()) {
        int n = _write(fd, text.data(), static_cast<unsigned>(std::min<std::size_t>(text.size(), 1 << 16)));
        if (n < 0) {
            return errno == EINVAL ? EPIPE : errno;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

std::unique_ptr<PointerDevice> OpenDesktopPointer(std::string& error, std::string& description) {
    error.clear();
    description = "moving the desktop's pointer with SendInput";
    return std::make_unique<SendInputDevice>();
}

bool HasDesktopPen() {
    return false;
}

std::unique_ptr<PenDevice> OpenDesktopPen(std::string& error, std::string&) {
    error = "this system's server makes no pen device";
    return nullptr;
}

}  // namespace pv::server
