// A saved clean file decoded where its ranges meet and at its two ends, by FFmpeg's own demuxer
// and decoders: what a player would stumble on there, found before the user plays it.
#pragma once

#include <string>
#include <vector>

#include "verify/decode_check.h"

namespace trimora::decodecheck {

// Decodes `target` from its start up to its second key picture, around each of `joins` (from
// the key picture before the last one of the range before up to the second key picture of the
// range) and over its last GOP. A place passes when FFmpeg reports no error there, no packet
// of it is damaged and its pictures come in order, one after another at the frame rate. The
// first place that fails ends the check. A verify::DecodeChecker.
verify::DecodeCheckResult CheckDecoding(const std::string& target, const std::vector<int64_t>& joins,
                                        const StopFlag& stop);

}  // namespace trimora::decodecheck
