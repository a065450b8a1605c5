// Key pictures by their seconds: the clean cut's own plan of its head says where its video
// starts, so a step lands exactly where a clean cut would begin.
#include "timerange/key_pictures.h"

#include <exception>

#include "cleancut/clean_cut.h"
#include "engine/marker_index.h"
#include "platform/os/os.h"

namespace trimora {

namespace {

// A step looks back this many seconds at most for the key picture before.
constexpr int32_t kLookBack = 30;

class KeyFinder {
 public:
  KeyFinder(MarkerIndex& markers, int32_t total) : markers_(markers), total_(total), file_(Open(markers)) {}

  // The byte just after marker n (0 for n = 0), when known.
  std::optional<int64_t> After(int32_t n) const {
    if (n == 0) return 0;
    const auto known = markers_.KnownByteAfterMarker(n);
    return known ? std::optional<int64_t>(known->byte) : std::nullopt;
  }

  // Where the video of a clean cut from second n starts.
  std::optional<int64_t> KeyFrom(int32_t n) const {
    const std::optional<int64_t> from = After(n);
    if (!file_ || !from || n >= total_) return std::nullopt;
    const cleancut::CleanHeadResult head = cleancut::PlanCleanHead(*file_, *from, total_ - n);
    if (head.outcome != cleancut::CleanCutOutcome::kPlanned) return std::nullopt;
    return head.head.body_start;
  }

  // The last second from `from` on whose marker lies at or before `key`: the second of that key picture.
  std::optional<int32_t> SecondOf(int64_t key, int32_t from) const {
    int32_t n = from;
    for (; n + 1 < total_; ++n) {
      const std::optional<int64_t> next = After(n + 1);
      if (!next) return std::nullopt;
      if (*next > key) break;
    }
    return n;
  }

 private:
  static std::optional<os::File> Open(const MarkerIndex& markers) {
    try {
      return os::File::OpenForReading(markers.Path());
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }

  MarkerIndex& markers_;
  int32_t total_;
  std::optional<os::File> file_;
};

}  // namespace

std::optional<int32_t> KeyPictureSecond(MarkerIndex& markers, int32_t second, int step, int32_t total) {
  if (second < 0 || second >= total) return std::nullopt;
  const KeyFinder keys(markers, total);
  const std::optional<int64_t> key = keys.KeyFrom(second);
  if (!key) return std::nullopt;
  if (step == 0) return keys.SecondOf(*key, second);
  if (step > 0) {
    // The first second past this key picture starts at the next one.
    const std::optional<int32_t> last = keys.SecondOf(*key, second);
    if (!last || *last + 1 >= total) return std::nullopt;
    const std::optional<int64_t> next = keys.KeyFrom(*last + 1);
    return next ? keys.SecondOf(*next, *last + 1) : std::nullopt;
  }
  for (int32_t n = second - 1; n >= 0 && n >= second - kLookBack; --n) {
    const std::optional<int64_t> before = keys.KeyFrom(n);
    if (!before) return std::nullopt;
    if (*before != *key) return n;
  }
  return std::nullopt;
}

}  // namespace trimora
