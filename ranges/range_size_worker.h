// The exact sizes of a list's rows, worked out off the window's thread: each asks the marker
// index, which may have to read on through the recording for them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "ranges/range_list.h"

namespace trimora {

class RangeSizeWorker {
 public:
  // `done` hears each result, on the worker's thread, in the order asked.
  using Done = std::function<void(uint64_t ticket, std::optional<int64_t> bytes)>;
  explicit RangeSizeWorker(Done done);
  ~RangeSizeWorker();  // drops what is not yet started, stops the one running and waits for it
  RangeSizeWorker(const RangeSizeWorker&) = delete;
  RangeSizeWorker& operator=(const RangeSizeWorker&) = delete;

  void Ask(uint64_t ticket, std::shared_ptr<MarkerIndex> index, KeptRange range, bool clean = false);

 private:
  struct Job {
    uint64_t ticket;
    std::shared_ptr<MarkerIndex> index;
    KeptRange range;
    bool clean;
  };
  void Run(std::stop_token stop);

  Done done_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::deque<Job> jobs_;
  std::jthread thread_;  // last: started once the rest is in place, joined first
};

}  // namespace trimora
