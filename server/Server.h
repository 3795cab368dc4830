#pragma once
// Listens for the handheld and feeds its stream to a sink, one connection at a
// time: a new connection replaces the current one, because a handheld that
// reconnects after a failed write may leave its old connection looking open.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "AllowList.h"
#include "ButtonPacer.h"
#include "Decoder.h"
#include "Message.h"

namespace pv::server {

class Server {
public:
    using Log = std::function<void(const std::string& line)>;

    // The sink must outlive the server. Log receives connection events and errors.
    // spacing is the least time between a release and the next press of a button.
    Server(MessageSink& sink, AllowList allow, Log log,
           ButtonPacer::Clock::duration spacing = kPressSpacing);
    ~Server();

    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens. Returns an empty string, or an error that names the fix.
    std::string Listen(std::uint32_t address, std::uint16_t port);
    std::uint16_t Port() const { return m_port; }

    // Serves until Stop(); ends the current connection (its held button is
    // released) before it returns.
    void Run();
    // Safe from another thread and from a signal handler.
    void Stop();

private:
    void Accept();
    enum class ReadResult { Data, Empty, Ended };
    // Reads once from the connection; Ended sets reason.
    ReadResult Read(std::string& reason);
    void EndConnection(const std::string& reason);

    AllowList m_allow;
    Log m_log;
    ButtonPacer m_pacer;
    Decoder m_decoder;
    int m_listenFd = -1;
    int m_connFd = -1;
    std::string m_peer;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::atomic<bool> m_stop{false};
    std::uint16_t m_port = 0;
};

}  // namespace pv::server
