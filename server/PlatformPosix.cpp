#include "server/Platform.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <ifaddrs.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "server/AllowList.h"
#include "server/ConnectHints.h"
#include "server/UinputDevice.h"
#include "server/UinputPen.h"
#include "server/UniqueFd.h"

namespace pv::server {

void UniqueSocket::Reset(SocketHandle socket) {
    if (m_socket != kNoSocket) {
        close(m_socket);
    }
    m_socket = socket;
}

namespace net {

bool Start() {
    return true;
}

SocketHandle OpenSocket(int type) {
    return socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

int Bind(SocketHandle socket, const sockaddr_in& address) {
    return bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

int Listen(SocketHandle socket) {
    return listen(socket, SOMAXCONN);
}

SocketHandle Accept(SocketHandle listener, sockaddr_in& peer) {
    socklen_t size = sizeof peer;
    return accept4(listener, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC | SOCK_NONBLOCK);
}

long Receive(SocketHandle socket, char* buffer, std::size_t size) {
    return recv(socket, buffer, size, 0);
}

void SetOption(SocketHandle socket, int level, int name, int value) {
    setsockopt(socket, level, name, &value, sizeof value);
}

void SetKeepalive(SocketHandle socket) {
    SetOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(socket, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdle);
    SetOption(socket, IPPROTO_TCP, TCP_KEEPINTVL, kKeepInterval);
    SetOption(socket, IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
}

int Poll(pollfd* fds, std::size_t count, int timeoutMs) {
    // poll() itself skips negative descriptors.
    return poll(fds, count, timeoutMs);
}

bool Address(SocketHandle socket, bool peer, sockaddr_in& address) {
    socklen_t size = sizeof address;
    int result = peer ? getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size)
                      : getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    return result == 0 && address.sin_family == AF_INET;
}

}  // namespace net

std::string ErrorText(int error) {
    return std::strerror(error);
}

Wakeup::Wakeup() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_read = fds[0];
        m_write = fds[1];
    }
}

Wakeup::~Wakeup() {
    for (int fd : {m_read, m_write}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool Wakeup::Valid() const {
    return m_write >= 0;
}

void Wakeup::Signal() const {
    if (m_write >= 0) {
        char byte = 0;
        // A full pipe already wakes the loop.
        [[maybe_unused]] ssize_t n = write(m_write, &byte, 1);
    }
}

void Wakeup::Drain() const {
    char drain[64];
    while (m_read >= 0 && read(m_read, drain, sizeof drain) > 0) {
    }
}

DescriptorReserve::DescriptorReserve() : m_fd(open("/dev/null", O_RDONLY | O_CLOEXEC)) {}

DescriptorReserve::~DescriptorReserve() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool DescriptorReserve::DropWaiting(SocketHandle listener) {
    if (m_fd < 0) {
        return false;
    }
    close(m_fd);
    int waiting = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (waiting >= 0) {
        close(waiting);
    }
    m_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    return waiting >= 0;
}

std::size_t RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 1024;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<std::size_t>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
}

SocketHandle ListeningSocket(std::uint16_t port) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        int fd = std::atoi(entry.path().filename().c_str());
        int listening = 0;
        socklen_t size = sizeof listening;
        sockaddr_in local{};
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening != 0 &&
            net::Address(fd, false, local) && ntohs(local.sin_port) == port) {
            return fd;
        }
    }
    return kNoSocket;
}

bool IsPrivateFile(const std::string& path, std::string& why) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return true;  // nothing there to distrust
    }
    if (S_ISLNK(info.st_mode)) {
        why = "was a link";
    } else if (info.st_uid != geteuid()) {
        why = "was not this user's";
    } else if ((info.st_mode & 077) != 0) {
        why = "was readable by others";
    }
    return why.empty();
}

bool RandomBytes(unsigned char* bytes, std::size_t size) {
    return getrandom(bytes, size, 0) == static_cast<ssize_t>(size);
}

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string DefaultStateDirectory() {
    if (std::string state = Env("STATE_DIRECTORY"); !state.empty()) {
        return state.substr(0, state.find(':'));
    }
    if (std::string xdg = Env("XDG_STATE_HOME"); !xdg.empty() && xdg.front() == '/') {
        return xdg + "/penvale";
    }
    if (std::string home = Env("HOME"); !home.empty()) {
        return home + "/.local/state/penvale";
    }
    return {};
}

bool MakePrivateFolder(const std::string& dir) {
    // Parents as the umask says; the folder itself private.
    for (std::size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1)) {
        if (mkdir(dir.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool ReadFileStart(const std::string& path, std::size_t limit, std::string& text) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return false;
    }
    text.assign(limit, '\0');
    ssize_t n = read(fd.Get(), text.data(), limit);
    if (n < 0) {
        return false;
    }
    text.resize(static_cast<std::size_t>(n));
    return true;
}

std::string WriteFileAtomically(const std::string& path, std::string_view text) {
    std::string temporary = path + ".new";
    unlink(temporary.c_str());
    UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd) {
        return "cannot write " + temporary + ": " + std::strerror(errno);
    }
    bool written = write(fd.Get(), text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                   fsync(fd.Get()) == 0;
    int error = errno;
    fd.Reset();
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        error = written ? errno : error;
        unlink(temporary.c_str());
        return "cannot write " + path + ": " + std::strerror(error);
    }
    return {};
}

std::vector<std::uint32_t> LocalIpv4Addresses() {
    std::vector<std::uint32_t> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return addresses;
    }
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr));
        }
    }
    freeifaddrs(list);
    return addresses;
}

std::string ProgramFolder() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return {};
    }
    std::string exe(buffer, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/'));
}

namespace {

void (*g_onStop)() = nullptr;

void OnSignal(int) {
    g_onStop();
}

}  // namespace

void OnStopRequest(void (*onStop)()) {
    signal(SIGPIPE, SIG_IGN);
    g_onStop = onStop;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a signal also ends a wait in progress.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

void PrepareConsole() {}

bool StandardErrorShowsColours() {
    return isatty(STDERR_FILENO) == 1;
}

std::unique_ptr<PointerDevice> OpenDesktopPointer(std::string& error, std::string& description) {
    std::unique_ptr<UinputDevice> device = UinputDevice::Create(error);
    if (device) {
        description = "virtual pointer \"" + std::string(kDeviceName) + "\" is " + device->DevNode();
    }
    return device;
}

bool HasDesktopPen() {
    return true;
}

std::unique_ptr<PenDevice> OpenDesktopPen(std::string& error, std::string& description) {
    std::unique_ptr<UinputPen> pen = UinputPen::Create(error);
    if (pen) {
        description = "virtual pen \"" + std::string(kPenDeviceName) + "\" is " + pen->DevNode();
    }
    return pen;
}

}  // namespace pv::server
