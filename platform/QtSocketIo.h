#pragma once
#include <QSocketNotifier>
#include <map>
#include <memory>

#include "platform/SocketIo.h"

// The POSIX socket layer, watched through the Qt event loop: incoming data and the
// peer's close reach the UI thread through a QSocketNotifier.
class CQtSocketIo : public ISocketIo {
public:
    explicit CQtSocketIo(ISocketIo& inner = PvPosixSocketIo()) : m_inner(inner) {}

    int Open() override { return m_inner.Open(); }
    int Connect(int handle, const std::string& address, int port, int timeoutMs) override {
        return m_inner.Connect(handle, address, port, timeoutMs);
    }
    int Send(int handle, const void* bytes, std::size_t length) override { return m_inner.Send(handle, bytes, length); }
    int Shutdown(int handle) override { return m_inner.Shutdown(handle); }
    int Close(int handle) override {
        Unwatch(handle);
        return m_inner.Close(handle);
    }
    int SetNoDelay(int handle) override { return m_inner.SetNoDelay(handle); }
    int LastError() const override { return m_inner.LastError(); }
    int Receive(int handle, void* buffer, std::size_t length) override {
        return m_inner.Receive(handle, buffer, length);
    }

    bool Watch(int handle, std::function<void()> onEvent) override;
    void SetWatchEnabled(int handle, bool enabled) override;
    void Unwatch(int handle) override;

private:
    ISocketIo& m_inner;
    std::map<int, std::unique_ptr<QSocketNotifier>> m_notifiers;
};

// The layer the Qt program uses, shared by the process.
ISocketIo& PvQtSocketIo();
