// The Qt Widgets view of the window model: one widget per control of the model. Render() brings
// the widgets in line with the model; the user's input goes back into the model, whose handlers
// hold every rule. The view holds none of its own.
#pragma once

#include <QFont>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "window/model.h"
#include "window/qt/preview_worker.h"

class QCloseEvent;
class QLineEdit;

namespace trimora {

// 15 twips are one device-independent pixel; Qt scales those on high-DPI screens.
int TwipsToPixels(float twips);

// The window's font, "ＭＳ Ｐゴシック" 9 pt; on systems without it, IPAPGothic or Noto Sans CJK JP.
QFont WindowFont();

// The program's icon, drawn at 16 x 16 and 32 x 32.
QIcon TrimoraIcon();
// The icon drawn at size x size pixels; needs no running application.
QImage TrimoraIconImage(int size);

class MainWindow : public QWidget {
 public:
  // Builds a widget for every control and becomes the model's event processing: each panel
  // operation of the model renders the window and lets Qt process pending events. The preview's
  // pictures are made by `pictures` on a thread of the window's own; by default, the program's
  // own decoder.
  explicit MainWindow(WindowModel& model, QWidget* parent = nullptr, PictureMaker pictures = {});
  ~MainWindow() override;

  // Syncs every widget with the model, touching only what differs. Does nothing once closing.
  void Render();

  // Runs on the user's request to close the window, before the window closes. The request is
  // never refused.
  std::function<void()> OnCloseRequest;
  bool Closing() const { return closing_; }

  // The widget showing a control (tests and the program's start-up look widgets up here).
  QWidget* WidgetOf(const std::string& name, int index = -1) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Binding {
    Control* control;
    QWidget* widget;
  };

  QWidget* Create(Control& c);
  QWidget* Container(const std::string& name) const;
  QRect Geometry(const Control& c, const QWidget* widget) const;
  void RenderCommon(const Binding& b);
  void RenderControl(const Binding& b);
  void RenderLabel(Label& label, QWidget* widget);
  void RenderTextBox(TextBox& box, QWidget* widget);
  void RenderFileList(FileListBox& list, QWidget* widget);
  void RenderPreview(PreviewBox& box, QWidget* widget);
  void PictureMade(uint64_t request, const QImage& image, const QString& reason);
  void ApplySelection(const TextBox& box, QLineEdit* widget);
  void UserInput(const std::function<void()>& action);

  WindowModel& m_;
  std::vector<Binding> bindings_;
  QHash<QObject*, Control*> controls_by_widget_;
  bool closing_ = false;
  std::unique_ptr<PreviewWorker> pictures_;
  uint64_t asked_[2] = {0, 0};  // the request last handed to the worker, per end of the range
};

}  // namespace trimora
