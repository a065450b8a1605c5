// Where each time marker of a recording lies: the byte positions that the cutter reaches by
// counting markers, kept so that a picture at a cut point needs no new scan of the file. The
// index grows only as far as someone asks, by reading packet heads as the measured analysis does;
// a measured analysis hands over what it counted.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/os/os.h"

namespace trimora {

class MarkerIndex {
 public:
  // An index of `path` that knows nothing yet.
  explicit MarkerIndex(std::string path);
  // An index that starts from a count already made: the packet numbers (from 0) of the markers
  // among the first `scanned_packets` packets; `whole_file` when that was the whole recording.
  MarkerIndex(std::string path, std::vector<uint32_t> marker_packets, int64_t scanned_packets, bool whole_file);

  MarkerIndex(const MarkerIndex&) = delete;
  MarkerIndex& operator=(const MarkerIndex&) = delete;

  const std::string& Path() const { return path_; }

  // The byte just after the n-th time marker (0 for n = 0): the first byte a cut from second n
  // holds, and the end of a cut up to second n. The index reads on as far as needed, from its
  // own file handle. Nothing when the recording has fewer than n markers, when it cannot be read
  // (a failure or a stop request ends the reading; what was found so far is kept).
  struct Lookup {
    bool found = false;
    int64_t byte = 0;
  };
  Lookup ByteAfterMarker(int32_t n, const std::stop_token& stop = {});

  // The byte just after the n-th marker (n >= 1) when the index has already found it, without
  // reading, and the stamp of the file it was found in: a cut of the same file that starts there
  // need not count the markers again. Nothing when not found yet or the file has changed since.
  struct Known {
    int32_t marker = 0;
    int64_t byte = 0;
    os::FileStamp stamp;
  };
  std::optional<Known> KnownByteAfterMarker(int32_t n) const;

  // How many markers the whole recording holds, once the index has read all of it, and the stamp
  // of the file it read: a cut of the same file from a later START can be refused unread.
  struct Total {
    int32_t markers = 0;
    os::FileStamp stamp;
  };
  std::optional<Total> KnownTotal() const;

  // The recording's size in bytes now, or -1 when it cannot be read: where a cut that runs out
  // of markers ends.
  int64_t FileSize() const;

  // Where a cut whose first byte is `from` stops when it is to end at byte `to`: at `to`, or just
  // after the record that ends its copy early, the tenth record read in it whose first byte is 0
  // or the hundredth whose first byte is neither 0 nor the sync byte (a cut counts both from its
  // first record on). Reads on as far as `to`; -1 when that cannot be read or a stop came.
  int64_t CutStop(int64_t from, int64_t to, const std::stop_token& stop = {});

  // Whether the file at the path is still the one the index was made of: the same file, size and
  // modification time. Positions found in one recording mean nothing in another.
  bool Unchanged() const;

  // Markers known so far, and whether the whole file has been read for them.
  int32_t KnownMarkers() const;
  bool Complete() const;

 private:
  // Reads packet heads on until `enough()` (called with the lock held) or the end of the file.
  template <typename Enough>
  bool ReadOn(Enough enough, const std::stop_token& stop);

  // A run of consecutive records with the same unusual first byte: packet number and count.
  struct Run {
    uint32_t first = 0, count = 0;
  };
  static void AddTo(std::vector<Run>& runs, uint32_t packet);
  // The packet number at which the `nth` record of `runs` from packet `from` on lies, if any
  // lies before packet `to`.
  static std::optional<int64_t> Nth(const std::vector<Run>& runs, int64_t from, int64_t to, int64_t nth);

  const std::string path_;
  mutable std::mutex mutex_;          // the index is asked from worker threads
  std::vector<uint32_t> markers_;     // packet numbers, ascending
  int64_t scanned_packets_ = 0;       // packets whose heads have been looked at
  bool complete_ = false;
  // Records with a first byte of 0, and with another first byte than 0 or the sync byte, in
  // runs: a stretch of zeros costs one entry. A measured analysis hands over only records that
  // all begin with the sync byte.
  std::vector<Run> zero_runs_, bad_runs_;
  mutable std::optional<os::FileStamp> stamp_;
};

}  // namespace trimora
