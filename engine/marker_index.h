// Where each time marker of a recording lies: the byte positions that the cutter reaches by
// counting markers, kept so that a picture at a cut point needs no new scan of the file. The
// index grows only as far as someone asks, by reading packet heads as the measured analysis does;
// a measured analysis hands over what it counted.
#pragma once

#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

namespace trimora {

class MarkerIndex {
 public:
  // An index of `path` that knows nothing yet.
  explicit MarkerIndex(std::string path) : path_(std::move(path)) {}
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

  // The recording's size in bytes now, or -1 when it cannot be read: where a cut that runs out
  // of markers ends.
  int64_t FileSize() const;

  // Markers known so far, and whether the whole file has been read for them.
  int32_t KnownMarkers() const;
  bool Complete() const;

 private:
  bool ReadOn(int32_t wanted, const std::stop_token& stop);

  const std::string path_;
  mutable std::mutex mutex_;          // the index is asked from worker threads
  std::vector<uint32_t> markers_;     // packet numbers, ascending
  int64_t scanned_packets_ = 0;       // packets whose heads have been looked at
  bool complete_ = false;
};

}  // namespace trimora
