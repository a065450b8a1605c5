#include "window/qt/preview_worker.h"

#include <QMutexLocker>
#include <utility>

namespace trimora {

PreviewWorker::PreviewWorker(PictureMaker maker, QObject* parent) : QThread(parent), maker_(std::move(maker)) {}

PreviewWorker::~PreviewWorker() {
  {
    QMutexLocker lock(&mutex_);
    stopping_ = true;
    running_stop_.request_stop();
    wake_.wakeOne();
  }
  wait();
}

void PreviewWorker::StopRunning(bool end) {
  if (running_end_ == end) running_stop_.request_stop();
}

void PreviewWorker::Ask(PreviewJob job) {
  QMutexLocker lock(&mutex_);
  const bool end = job.end;
  StopRunning(end);
  waiting_[end ? 1 : 0] = std::move(job);
  if (!isRunning()) start(QThread::LowPriority);
  wake_.wakeOne();
}

void PreviewWorker::Drop(bool end) {
  QMutexLocker lock(&mutex_);
  StopRunning(end);
  waiting_[end ? 1 : 0].reset();
}

bool PreviewWorker::TakeJob(PreviewJob& job, std::stop_token& stop) {
  QMutexLocker lock(&mutex_);
  running_end_.reset();
  while (!stopping_ && !waiting_[0] && !waiting_[1]) wake_.wait(&mutex_);
  if (stopping_) return false;
  std::optional<PreviewJob>& next = waiting_[0] ? waiting_[0] : waiting_[1];
  job = std::move(*next);
  next.reset();
  running_end_ = job.end;
  running_stop_ = std::stop_source();
  stop = running_stop_.get_token();
  return true;
}

void PreviewWorker::run() {
  PreviewJob job;
  std::stop_token stop;
  while (TakeJob(job, stop)) {
    if (!job.markers) continue;
    const preview::PictureRequest request{job.second, job.end ? preview::CutPoint::kEnd : preview::CutPoint::kStart,
                                          job.fit.width(), job.fit.height(), job.from};
    preview::PictureResult result = maker_(*job.markers, request, stop);
    job.markers.reset();  // an index left behind by a newer analysis goes as soon as no job needs it
    if (stop.stop_requested() || result.outcome == preview::PictureOutcome::kCancelled) continue;
    QImage image;
    if (result.outcome == preview::PictureOutcome::kPicture)
      image = QImage(reinterpret_cast<const uchar*>(result.picture.pixels.data()), result.picture.width,
                     result.picture.height, 4 * result.picture.width, QImage::Format_RGB32)
                  .copy();
    emit Made(job.request, image, QString::fromUtf8(preview::NoPictureText(result.outcome)), result.recording_markers);
  }
}

}  // namespace trimora
