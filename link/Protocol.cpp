#include "link/Protocol.h"

#include <cstdio>

namespace pv::protocol {

int FormatExtent(char* out, int a, int b) {
    return std::snprintf(out, kRecordLength + 1, kExtentFormat, ClampNumber(a), ClampNumber(b));
}

int FormatPosition(char* out, int x, int y) {
    return std::snprintf(out, kRecordLength + 1, kPositionFormat, ClampNumber(x), ClampNumber(y));
}

}  // namespace pv::protocol
