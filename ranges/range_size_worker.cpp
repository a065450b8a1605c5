// One thread that asks the marker index for the rows' sizes, oldest request first.
#include "ranges/range_size_worker.h"

#include "engine/marker_index.h"

namespace trimora {

RangeSizeWorker::RangeSizeWorker(Done done) : done_(std::move(done)), thread_([this](std::stop_token stop) { Run(stop); }) {}

RangeSizeWorker::~RangeSizeWorker() {
  thread_.request_stop();
  wake_.notify_all();
}

void RangeSizeWorker::Ask(uint64_t ticket, std::shared_ptr<MarkerIndex> index, KeptRange range, bool clean) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({ticket, std::move(index), range, clean});
  }
  wake_.notify_all();
}

void RangeSizeWorker::Run(std::stop_token stop) {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      if (!wake_.wait(lock, stop, [this] { return !jobs_.empty(); })) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    const std::optional<int64_t> bytes = job.index ? ExactSize(*job.index, job.range, false, stop, job.clean) : std::nullopt;
    if (stop.stop_requested()) return;
    done_(job.ticket, bytes);
  }
}

}  // namespace trimora
