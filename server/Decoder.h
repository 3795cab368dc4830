#pragma once
// Cuts the handheld's byte stream into messages.
//
// The stream has no framing: the lead byte names the message and Extent and
// Position records are nine bytes wide. Records may be split across reads and
// several may arrive in one. A byte that starts no message, or the lead byte of a
// record whose fields do not parse, is counted as skipped and decoding resumes at
// the next byte, so any byte sequence is safe and the same bytes give the same
// messages however they are split.

#include <cstddef>

#include "server/Message.h"
#include "link/PenSample.h"
#include "link/Protocol.h"

namespace pv::server {

namespace decode {
enum class Field;
}

class Decoder {
public:
    // The sink must outlive the decoder.
    explicit Decoder(MessageSink& sink) : m_sink(sink) {}

    // Decodes the next bytes of the stream. Messages reach the sink as soon as
    // their last byte is here; a run of skipped bytes is reported just before the
    // message that follows it.
    void Feed(const char* data, std::size_t size);

    // The stream has ended: the bytes of an unfinished record count as skipped,
    // any skipped count is reported, and the decoder is ready for a new stream.
    void Finish();

    // Off (the default), a pen record is bytes that start no message. On, it
    // gives the pen's messages: "pen buttons" first when its buttons differ from
    // the last record's (none at a stream's start), then its hover, touch or out.
    void SetPenSamples(bool on) { m_pen = on; }

private:
    void Scan(const char* data, std::size_t size);
    bool StartsRecord(char c) const;
    // Decodes the record at p, of which size bytes are here; emits it when complete.
    decode::Field TakeRecord(const char* p, std::size_t size);
    void EmitPen(const protocol::PenSample& sample);
    void Emit(const Message& message);
    void Skip(std::size_t count);
    void FlushSkipped();

    MessageSink& m_sink;
    static constexpr std::size_t kLongestRecord = protocol::kPenRecordLength;
    char m_pending[kLongestRecord] = {};  // the start of a record split across reads
    std::size_t m_pendingSize = 0;
    std::size_t m_skipped = 0;
    bool m_pen = false;
    int m_penButtons = 0;
};

namespace decode {

enum class Field { Invalid, Partial, Complete };

// Checks the first size bytes (at most four) of a number field exactly as the
// handheld formats it: "%04d" for an Extent ("0240", "-012"), "%4d" for a
// Position ("   7", " -25"). Complete sets value.
Field ExtentField(const char* p, std::size_t size, int& value);
Field PositionField(const char* p, std::size_t size, int& value);
// The same for fields of another width ("%03d" zero padded, "%3d" space padded).
Field ZeroPaddedField(const char* p, std::size_t size, std::size_t width, int& value);
Field SpacePaddedField(const char* p, std::size_t size, std::size_t width, int& value);

// Checks the first size bytes (at most nine) of an Extent or Position record,
// lead byte included. Complete fills message.
Field Record(const char* p, std::size_t size, Message& message);

}  // namespace decode

}  // namespace pv::server
