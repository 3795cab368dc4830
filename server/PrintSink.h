#pragma once

#include <cstdio>

#include "Message.h"

namespace pv::server {

// The --print output: one line per message, flushed at once so that a reader
// sees each message as it arrives.
class PrintSink : public MessageSink {
public:
    explicit PrintSink(std::FILE* out) : m_out(out) {}
    void OnMessage(const Message& message) override;

private:
    std::FILE* m_out;
};

}  // namespace pv::server
