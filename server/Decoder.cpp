#include "server/Decoder.h"

#include "server/PenDecode.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace pv::server {

namespace decode {

namespace {

constexpr std::size_t kWidth = protocol::kNumberWidth;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

Field ExtentField(const char* p, std::size_t size, int& value) {
    return ZeroPaddedField(p, size, kWidth, value);
}

Field PositionField(const char* p, std::size_t size, int& value) {
    return SpacePaddedField(p, size, kWidth, value);
}

Field ZeroPaddedField(const char* p, std::size_t size, std::size_t width, int& value) {
    // "%04d" gives four digits, or a minus sign and three digits.
    bool negative = size > 0 && p[0] == '-';
    int number = 0;
    for (std::size_t i = negative ? 1 : 0; i < size; ++i) {
        if (!IsDigit(p[i])) {
            return Field::Invalid;
        }
        number = number * 10 + (p[i] - '0');
    }
    if (size < width) {
        return Field::Partial;
    }
    if (negative && number == 0) {
        return Field::Invalid;  // "-000" is not how zero is written
    }
    value = negative ? -number : number;
    return Field::Complete;
}

Field SpacePaddedField(const char* p, std::size_t size, std::size_t width, int& value) {
    // "%4d" gives spaces, an optional minus sign and the digits of the value
    // without leading zeros, four characters in all.
    std::size_t i = 0;
    while (i < size && p[i] == ' ') {
        ++i;
    }
    bool negative = i < size && p[i] == '-';
    if (negative) {
        ++i;
    }
    std::size_t firstDigit = i;
    int number = 0;
    for (; i < size; ++i) {
        if (!IsDigit(p[i])) {
            return Field::Invalid;
        }
        // A leading zero is only the value 0 itself, which is the last character.
        if (i == firstDigit && p[i] == '0' && (negative || i + 1 < width)) {
            return Field::Invalid;
        }
        number = number * 10 + (p[i] - '0');
    }
    if (size < width) {
        return Field::Partial;
    }
    if (firstDigit == width) {
        return Field::Invalid;  // no digit at all
    }
    value = negative ? -number : number;
    return Field::Complete;
}

Field Record(const char* p, std::size_t size, Message& message) {
    if (size == 0) {
        return Field::Partial;
    }
    Field (*field)(const char*, std::size_t, int&) = nullptr;
    Message::Kind kind{};
    if (p[0] == protocol::kExtent) {
        field = ExtentField;
        kind = Message::Kind::Extent;
    } else if (p[0] == protocol::kPosition) {
        field = PositionField;
        kind = Message::Kind::Position;
    } else {
        return Field::Invalid;
    }
    int a = 0;
    int b = 0;
    Field first = field(p + 1, std::min(size - 1, kWidth), a);
    if (first != Field::Complete) {
        return first;
    }
    Field second = field(p + 1 + kWidth, size - 1 - kWidth, b);
    if (second == Field::Complete) {
        message = Message{kind, a, b};
    }
    return second;
}

}  // namespace decode

void Decoder::Feed(const char* data, std::size_t size) {
    std::size_t i = 0;
    // Complete the record that the last read left unfinished.
    while (m_pendingSize > 0 && i < size) {
        m_pending[m_pendingSize++] = data[i++];
        decode::Field state = TakeRecord(m_pending, m_pendingSize);
        if (state == decode::Field::Partial) {
            continue;
        }
        if (state == decode::Field::Complete) {
            m_pendingSize = 0;
            break;
        }
        // Only the lead byte is skipped; what followed it is decoded afresh and may
        // itself start a record that goes on in this read.
        char rest[kLongestRecord];
        std::size_t restSize = m_pendingSize - 1;
        std::memcpy(rest, m_pending + 1, restSize);
        m_pendingSize = 0;
        Skip(1);
        Scan(rest, restSize);
    }
    if (i < size) {
        Scan(data + i, size - i);
    }
}

bool Decoder::StartsRecord(char c) const {
    return c == protocol::kExtent || c == protocol::kPosition || (m_pen && c == protocol::kPen);
}

decode::Field Decoder::TakeRecord(const char* p, std::size_t size) {
    if (p[0] == protocol::kPen) {
        protocol::PenSample sample;
        decode::Field state = decode::PenRecord(p, size, sample);
        if (state == decode::Field::Complete) {
            EmitPen(sample);
        }
        return state;
    }
    Message message;
    decode::Field state = decode::Record(p, size, message);
    if (state == decode::Field::Complete) {
        Emit(message);
    }
    return state;
}

void Decoder::EmitPen(const protocol::PenSample& sample) {
    if (sample.buttons != m_penButtons) {
        m_penButtons = sample.buttons;
        Emit({Message::Kind::PenButtons, sample.buttons});
    }
    switch (sample.phase) {
        case protocol::PenPhase::Hover:
            Emit({Message::Kind::PenHover, sample.x, sample.y, 0, sample.tiltX, sample.tiltY});
            break;
        case protocol::PenPhase::Touch:
            Emit({Message::Kind::PenTouch, sample.x, sample.y, sample.pressure, sample.tiltX, sample.tiltY});
            break;
        case protocol::PenPhase::Out:
            Emit({Message::Kind::PenOut, sample.x, sample.y});
            break;
    }
}

void Decoder::Scan(const char* data, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        if (StartsRecord(data[i])) {
            std::size_t length = data[i] == protocol::kPen ? protocol::kPenRecordLength : protocol::kRecordLength;
            std::size_t available = std::min(size - i, length);
            decode::Field state = TakeRecord(data + i, available);
            if (state == decode::Field::Complete) {
                i += length;
            } else if (state == decode::Field::Partial) {
                // Only the end of this read can leave a record unfinished.
                std::memcpy(m_pending, data + i, available);
                m_pendingSize = available;
                return;
            } else {
                Skip(1);
                ++i;
            }
            continue;
        }
        switch (data[i]) {
            case protocol::kAttach:
                Emit({Message::Kind::Attach});
                ++i;
                break;
            case protocol::kButtonDown:
                Emit({Message::Kind::ButtonDown});
                ++i;
                break;
            case protocol::kButtonUp:
                Emit({Message::Kind::ButtonUp});
                ++i;
                break;
            case protocol::kRightClick:
                Emit({Message::Kind::RightClick});
                ++i;
                break;
            default: {
                // Count a run of bytes that start nothing in one step.
                std::size_t start = i++;
                while (i < size && !protocol::StartsMessage(data[i]) && !StartsRecord(data[i])) {
                    ++i;
                }
                Skip(i - start);
                break;
            }
        }
    }
}

void Decoder::Finish() {
    Skip(m_pendingSize);
    m_pendingSize = 0;
    m_penButtons = 0;
    FlushSkipped();
}

void Decoder::Emit(const Message& message) {
    FlushSkipped();
    m_sink.OnMessage(message);
}

void Decoder::Skip(std::size_t count) {
    m_skipped += count;
}

void Decoder::FlushSkipped() {
    while (m_skipped > 0) {
        int count = static_cast<int>(std::min<std::size_t>(m_skipped, INT_MAX));
        m_skipped -= static_cast<std::size_t>(count);
        m_sink.OnMessage({Message::Kind::Skipped, count});
    }
}

}  // namespace pv::server
