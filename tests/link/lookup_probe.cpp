// Looks a host name up through the real socket layer with a name server on
// loopback that never answers, and reports how long that took. Run by lookup_test
// inside a mount namespace whose resolv.conf names that server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "link/PV_Socket.h"
#include "platform/PosixByteLink.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lookup_probe HOST NAME_SERVER_ADDRESS\n");
        return 2;
    }
    // The silent name server: it takes the queries and answers none.
    const int dns = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(53);
    if (::inet_pton(AF_INET, argv[2], &local.sin_addr) != 1 ||
        ::bind(dns, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0) {
        std::perror("lookup_probe: bind");
        return 1;
    }
    CPosixByteLink link;
    const auto start = std::chrono::steady_clock::now();
    const IByteLink::SConnect connected = link.Connect(argv[1], 5555, CPV_Socket::kConnectTimeoutMs);
    const int result = connected.outcome == IByteLink::EConnect::Connected ? 0 : -1;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const int error = connected.error;
    int queries = 0;
    char datagram[512];
    while (::recv(dns, datagram, sizeof datagram, 0) > 0) {
        ++queries;
    }
    std::printf("elapsed=%lld result=%d error=%d queries=%d\n", static_cast<long long>(elapsed), result, error,
                queries);
    std::fflush(stdout);
    // The abandoned look-up may still be waiting: leave without waiting for it.
    std::_Exit(0);
}
