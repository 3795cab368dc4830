#pragma once
// The pen's sample records, checked as the handheld writes them.

#include <cstddef>

#include "link/PenSample.h"
#include "server/Decoder.h"

namespace pv::server::decode {

// Checks the first size bytes (at most a record's) of a pen record, lead byte
// included. Complete fills sample. A phase other than h, t, o, a pressure above
// the maximum or a tilt beyond 90 degrees makes the record invalid.
Field PenRecord(const char* p, std::size_t size, protocol::PenSample& sample);

}  // namespace pv::server::decode
