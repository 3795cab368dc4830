#include "server/PenDecode.h"

#include <algorithm>

namespace pv::server::decode {

namespace {

// Checks one field of width bytes at offset; Partial when the record ends in it.
Field NextField(const char* p, std::size_t size, std::size_t& offset, std::size_t width,
                Field (*check)(const char*, std::size_t, std::size_t, int&), int low, int high, int& value) {
    std::size_t available = size > offset ? std::min(size - offset, width) : 0;
    Field field = check(p + offset, available, width, value);
    if (field == Field::Complete && (value < low || value > high)) {
        return Field::Invalid;
    }
    offset += width;
    return field;
}

}  // namespace

Field PenRecord(const char* p, std::size_t size, protocol::PenSample& sample) {
    using namespace protocol;
    if (size == 0) {
        return Field::Partial;
    }
    if (p[0] != kPen) {
        return Field::Invalid;
    }
    if (size == 1) {
        return Field::Partial;
    }
    if (p[1] != 'h' && p[1] != 't' && p[1] != 'o') {
        return Field::Invalid;
    }
    PenSample decoded;
    decoded.phase = static_cast<PenPhase>(p[1]);
    struct FieldRule {
        std::size_t width;
        Field (*check)(const char*, std::size_t, std::size_t, int&);
        int low;
        int high;
        int* value;
    };
    const FieldRule fields[] = {
        {4, SpacePaddedField, kMinNumber, kMaxNumber, &decoded.x},
        {4, SpacePaddedField, kMinNumber, kMaxNumber, &decoded.y},
        {4, ZeroPaddedField, 0, kMaxPressure, &decoded.pressure},
        {3, SpacePaddedField, -kMaxTilt, kMaxTilt, &decoded.tiltX},
        {3, SpacePaddedField, -kMaxTilt, kMaxTilt, &decoded.tiltY},
        {2, ZeroPaddedField, 0, 99, &decoded.buttons},
    };
    std::size_t offset = 2;
    for (const FieldRule& rule : fields) {
        Field field = NextField(p, size, offset, rule.width, rule.check, rule.low, rule.high, *rule.value);
        if (field != Field::Complete) {
            return field;
        }
    }
    sample = decoded;
    return Field::Complete;
}

}  // namespace pv::server::decode
