#include "window/qt/size_worker.h"

#include <QMutexLocker>
#include <utility>

namespace trimora {

SizeWorker::SizeWorker(SizeMaker maker, QObject* parent) : QThread(parent), maker_(std::move(maker)) {}

SizeWorker::~SizeWorker() {
  {
    QMutexLocker lock(&mutex_);
    stopping_ = true;
    running_stop_.request_stop();
    wake_.wakeOne();
  }
  wait();
}

void SizeWorker::Ask(CutSizeJob job) {
  QMutexLocker lock(&mutex_);
  running_stop_.request_stop();
  waiting_ = std::move(job);
  if (!isRunning()) start(QThread::LowPriority);
  wake_.wakeOne();
}

void SizeWorker::run() {
  for (;;) {
    CutSizeJob job;
    std::stop_token stop;
    {
      QMutexLocker lock(&mutex_);
      while (!stopping_ && !waiting_) wake_.wait(&mutex_);
      if (stopping_) return;
      job = std::move(*waiting_);
      waiting_.reset();
      running_stop_ = std::stop_source();
      stop = running_stop_.get_token();
    }
    if (!job.markers) continue;
    const CutSize size = maker_(*job.markers, job.start, job.end, job.clean, stop);
    job.markers.reset();
    if (stop.stop_requested() || size.text.empty()) continue;
    emit Made(job.request, QString::fromStdString(size.text));
  }
}

}  // namespace trimora
