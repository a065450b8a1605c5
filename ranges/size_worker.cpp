// One thread that asks the marker index for the rows' sizes, oldest request first.
#include "ranges/size_worker.h"

#include "engine/marker_index.h"

namespace trimora {

SizeWorker::SizeWorker(Done done) : done_(std::move(done)), thread_([this](std::stop_token stop) { Run(stop); }) {}

SizeWorker::~SizeWorker() {
  thread_.request_stop();
  wake_.notify_all();
}

void SizeWorker::Ask(uint64_t ticket, std::shared_ptr<MarkerIndex> index, KeptRange range) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({ticket, std::move(index), range});
  }
  wake_.notify_all();
}

void SizeWorker::Run(std::stop_token stop) {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      if (!wake_.wait(lock, stop, [this] { return !jobs_.empty(); })) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    const std::optional<int64_t> bytes = job.index ? ExactSize(*job.index, job.range, false, stop) : std::nullopt;
    if (stop.stop_requested()) return;
    done_(job.ticket, bytes);
  }
}

}  // namespace trimora
