#pragma once
#include <cerrno>
#include <string>
#include <vector>

#include "platform/SocketIo.h"

// A socket layer that records every write as it was made (one entry per send),
// and can refuse connections or fail writes on demand.
class CRecordingSocketIo : public ISocketIo {
public:
    int Open() override {
        ++opens;
        if (failOpen) {
            m_nError = EADDRINUSE;
            return -1;
        }
        return m_nNextHandle++;
    }
    int Connect(int, const std::string& address, int port, int) override {
        connects.push_back(address + ":" + std::to_string(port));
        if (refuseConnect) {
            m_nError = ECONNREFUSED;
            return -1;
        }
        m_bConnected = true;
        return 0;
    }
    int Send(int, const void* bytes, std::size_t length) override {
        if (!m_bConnected || failWrites > 0) {
            if (failWrites > 0) {
                --failWrites;
            }
            ++failedSends;
            m_nError = EPIPE;
            return -1;
        }
        writes.emplace_back(static_cast<const char*>(bytes), length);
        return static_cast<int>(length);
    }
    int Shutdown(int) override {
        ++shutdowns;
        m_bConnected = false;
        return 0;
    }
    int Close(int) override {
        m_bConnected = false;
        return 0;
    }
    int SetNoDelay(int) override {
        ++noDelays;
        return 0;
    }
    int LastError() const override { return m_nError; }
    bool TakesPenSamples(int) const override { return m_bConnected && penSamples; }

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

private:
    int m_nNextHandle = 3;
    int m_nError = 0;
    bool m_bConnected = false;
};
