// libFuzzer target for the stream decoder. Besides not crashing, any input must
// give the same messages however it is split, and account for every byte once.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "server/Decoder.h"

namespace {

struct Collect : pv::server::MessageSink {
    void OnMessage(const pv::server::Message& message) override { messages.push_back(message); }
    std::vector<pv::server::Message> messages;
};

std::vector<pv::server::Message> Decode(const char* data, std::size_t size, std::size_t piece, bool pen) {
    Collect sink;
    pv::server::Decoder decoder(sink);
    decoder.SetPenSamples(pen);
    for (std::size_t at = 0; at < size; at += piece) {
        decoder.Feed(data + at, std::min(piece, size - at));
    }
    decoder.Finish();
    return sink.messages;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using Kind = pv::server::Message::Kind;
    const char* data = reinterpret_cast<const char*>(bytes);
    // Pen records decoded or skipped, as the input's last byte says.
    bool pen = size > 0 && (bytes[size - 1] & 1) != 0;
    std::vector<pv::server::Message> whole = Decode(data, size, size == 0 ? 1 : size, pen);

    std::size_t accounted = 0;
    bool lastWasSkipped = false;
    for (const pv::server::Message& message : whole) {
        switch (message.kind) {
            case Kind::Extent:
            case Kind::Position:
                if (message.a < -999 || message.a > 9999 || message.b < -999 || message.b > 9999) {
                    __builtin_trap();
                }
                accounted += 9;
                break;
            case Kind::PenHover:
            case Kind::PenTouch:
            case Kind::PenOut:
                if (!pen || message.pressure < 0 || message.pressure > 4095) {
                    __builtin_trap();
                }
                accounted += 22;
                break;
            case Kind::PenButtons:
                break;  // comes with the record that follows it
            case Kind::Skipped:
                // Runs of skipped bytes are reported once, never as zero or twice in a row.
                if (message.a <= 0 || lastWasSkipped) {
                    __builtin_trap();
                }
                accounted += static_cast<std::size_t>(message.a);
                break;
            default:
                accounted += 1;
        }
        lastWasSkipped = message.kind == Kind::Skipped;
    }
    if (accounted != size) {
        __builtin_trap();
    }
    for (std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{9}, std::size_t{21}}) {
        if (Decode(data, size, piece, pen) != whole) {
            __builtin_trap();
        }
    }
    return 0;
}
