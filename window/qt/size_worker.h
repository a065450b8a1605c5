// The thread that measures the exact size of the cut for the preview panel, so that typing never
// waits for the marker index to read as far as the range's end. One job at a time; a newer one
// stops the one running and replaces the one waiting.
#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>
#include <functional>
#include <optional>
#include <stop_token>

#include "timerange/range_preview.h"

namespace trimora {

// How a size is made; MeasureCutSize unless a test stands in for it.
using SizeMaker = std::function<CutSize(MarkerIndex&, int32_t start, int32_t end, bool clean, const std::stop_token&)>;

class SizeWorker : public QThread {
  Q_OBJECT

 public:
  explicit SizeWorker(SizeMaker maker, QObject* parent = nullptr);
  ~SizeWorker() override;  // stops the running job and waits for the thread

  void Ask(CutSizeJob job);

 signals:
  void Made(quint64 request, QString text);

 protected:
  void run() override;

 private:
  SizeMaker maker_;
  QMutex mutex_;
  QWaitCondition wake_;
  std::optional<CutSizeJob> waiting_;
  std::stop_source running_stop_;
  bool stopping_ = false;
};

}  // namespace trimora
