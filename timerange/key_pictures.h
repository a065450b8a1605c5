// Where the clean cut can start: the key pictures of a recording as whole seconds of the range
// boxes. A clean cut from second S starts at the first key picture after the S-th time marker;
// each key picture is named here by the last second whose clean cut starts with it, the second
// in which it lies.
#pragma once

#include <cstdint>
#include <optional>

namespace trimora {

class MarkerIndex;

// The second of the key picture a clean cut from `second` starts at, or of the one before or
// after it (`step` -1 or +1), within a recording of `total` seconds. Only markers the index has
// already found are used, and only a few seconds of the file are read: nothing when that does not
// tell (markers not found yet, no key picture near, the file unreadable).
std::optional<int32_t> KeyPictureSecond(MarkerIndex& markers, int32_t second, int step, int32_t total);

}  // namespace trimora
