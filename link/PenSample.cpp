#include "link/PenSample.h"

#include <algorithm>
#include <cstdio>

#include "link/Protocol.h"

namespace pv::protocol {

int FormatPenSample(char* out, const PenSample& sample) {
    char phase = static_cast<char>(sample.phase);
    if (phase != 'h' && phase != 't' && phase != 'o') {
        phase = static_cast<char>(PenPhase::Out);
    }
    return std::snprintf(out, kPenRecordLength + 1, kPenFormat, phase, ClampNumber(sample.x),
                         ClampNumber(sample.y), std::clamp(sample.pressure, 0, kMaxPressure),
                         std::clamp(sample.tiltX, -kMaxTilt, kMaxTilt), std::clamp(sample.tiltY, -kMaxTilt, kMaxTilt),
                         sample.buttons & kPenButtonMask);
}

}  // namespace pv::protocol
