// The thread that makes the preview's pictures, so that typing, the analysis and the cut never
// wait for a decoder. The window asks; the worker makes one picture at a time, each from the
// recording's own marker index and file handle, and posts it back; a newer request for the same
// end of the range stops the older one early.
#pragma once

#include <QImage>
#include <QMutex>
#include <QSize>
#include <QString>
#include <QThread>
#include <QWaitCondition>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

#include "engine/marker_index.h"
#include "preview/cut_picture.h"

namespace trimora {

// How a picture is made; the program's own decoder unless a test stands in for it.
using PictureMaker =
    std::function<preview::PictureResult(MarkerIndex&, const preview::PictureRequest&, const std::stop_token&)>;

struct PreviewJob {
  uint64_t request = 0;
  std::shared_ptr<MarkerIndex> markers;
  int32_t second = 0;
  bool end = false;  // the last picture before the end of the range, else the first after its start
  QSize fit;         // scaled down to fit this size
  int32_t from = 0;  // the start of the range, which decides where a cut ends early
};

class PreviewWorker : public QThread {
  Q_OBJECT

 public:
  explicit PreviewWorker(PictureMaker maker, QObject* parent = nullptr);
  ~PreviewWorker() override;  // stops the running job and waits for the thread

  // Replaces the waiting job of the same end, and stops a running one of that end.
  void Ask(PreviewJob job);
  // Nothing more for that end: its waiting job is dropped and a running one stopped.
  void Drop(bool end);

 signals:
  // A job that ran to its end: the picture, or a null image and the reason there is none; and
  // the time markers of the recording when its search found fewer than asked for, else -1.
  void Made(quint64 request, QImage image, QString reason, qint32 recording_markers);

 protected:
  void run() override;

 private:
  bool TakeJob(PreviewJob& job, std::stop_token& stop);  // waits; false once stopping
  void StopRunning(bool end);

  PictureMaker maker_;
  QMutex mutex_;
  QWaitCondition wake_;
  std::optional<PreviewJob> waiting_[2];  // start, end
  std::optional<bool> running_end_;       // the end of the job being made
  std::stop_source running_stop_;
  bool stopping_ = false;
};

}  // namespace trimora
