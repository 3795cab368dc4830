#pragma once
#include <cerrno>
#include <string>
#include <vector>

#include "platform/PosixByteLink.h"

// The POSIX link with its system calls recorded instead of made: every write as it
// was made (one entry per send); connections can be refused and writes failed on demand.
class CRecordingLink : public CPosixByteLink {
public:
    ~CRecordingLink() override { Close(); }

    bool TakesPenSamples() const override { return m_bConnected && penSamples; }

    // Everything written since the last call, joined.
    std::string Take() {
        std::string all;
        for (const auto& w : writes) {
            all += w;
        }
        writes.clear();
        return all;
    }

    std::vector<std::string> writes;
    std::vector<std::string> connects;
    int opens = 0;
    int shutdowns = 0;
    int noDelays = 0;  // sockets told to send small writes at once
    int failedSends = 0;
    int failWrites = 0;  // the next n sends fail
    bool failOpen = false;
    bool refuseConnect = false;
    bool penSamples = false;  // the desktop takes a pen's samples

protected:
    int OpenSocket() override {
        ++opens;
        return failOpen ? -EADDRINUSE : m_nNextHandle++;
    }
    int ConnectSocket(int, const std::string& address, int port, int) override {
        connects.push_back(address + ":" + std::to_string(port));
        if (refuseConnect) {
            return -ECONNREFUSED;
        }
        m_bConnected = true;
        return 0;
    }
    int SendSocket(int, const void* bytes, std::size_t length) override {
        if (!m_bConnected || failWrites > 0) {
            if (failWrites > 0) {
                --failWrites;
            }
            ++failedSends;
            return -EPIPE;
        }
        writes.emplace_back(static_cast<const char*>(bytes), length);
        return static_cast<int>(length);
    }
    int ReceiveSocket(int, void*, std::size_t) override { return -EAGAIN; }
    int ShutdownSocket(int) override {
        ++shutdowns;
        m_bConnected = false;
        return 0;
    }
    int CloseSocket(int) override {
        m_bConnected = false;
        return 0;
    }
    int SetNoDelay(int) override {
        ++noDelays;
        return 0;
    }

private:
    int m_nNextHandle = 3;
    bool m_bConnected = false;
};
