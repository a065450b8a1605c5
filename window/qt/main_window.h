// The Qt Widgets view of the window model: one widget per control of the model. Render() brings
// the widgets in line with the model; the user's input goes back into the model, whose handlers
// hold every rule. The view holds none of its own.
#pragma once

#include <QFont>
#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QImage>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "window/model.h"
#include "window/qt/preview_worker.h"
#include "window/qt/size_worker.h"

class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QFileSystemWatcher;
class QLineEdit;
class QResizeEvent;
class QTimer;

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
  explicit MainWindow(WindowModel& model, QWidget* parent = nullptr, PictureMaker pictures = {}, SizeMaker sizes = {});
  ~MainWindow() override;

  // Syncs every widget with the model, touching only what differs. Does nothing once closing.
  void Render();

  // Runs on the user's request to close the window, before the window closes; false keeps the
  // window open (the user chose to go on).
  std::function<bool()> OnCloseRequest;
  bool Closing() const { return closing_; }

  // The widget showing a control (tests and the program's start-up look widgets up here).
  QWidget* WidgetOf(const std::string& name, int index = -1) const;

  // Opens smaller than the first size where the screen has less room (at 150 % on a 1080-pixel
  // screen), down to the smallest height. Called before the window is shown.
  void FitToScreen();

  // Hands paths to the model as the user's input: files dropped on the window, or named on the
  // program's command line.
  void Open(const std::vector<std::string>& paths);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  struct Binding {
    Control* control;
    QWidget* widget;
  };

  // One widget for a control, wired to feed the user's input back into the model.
  QWidget* Create(Control& c);
  QWidget* CreateLabel(Label& label, QWidget* parent);
  QWidget* CreateTextBox(TextBox& box, QWidget* parent);
  QWidget* CreateButton(Button& button, QWidget* parent);
  QWidget* CreateCheckBox(CheckBox& box, QWidget* parent);
  QWidget* CreateOptionButton(OptionButton& option, QWidget* parent);
  QWidget* CreateImage(Image& image, QWidget* parent);
  QWidget* CreateTimeline(TimelineBand& band, QWidget* parent);
  QWidget* CreateFileList(ListBox& list, QWidget* parent);
  void ChooseListEntry(ListBox& list, int row);  // a click or Enter on an entry
  QWidget* Container(const std::string& name) const;
  QRect Geometry(const Control& c, const QWidget* widget) const;
  void RenderCommon(const Binding& b);
  void RenderControl(const Binding& b);
  void RenderLabel(Label& label, QWidget* widget);
  void RenderTextBox(TextBox& box, QWidget* widget);
  void RenderFileList(ListBox& list, QWidget* widget);
  void RenderPreview(PreviewBox& box, QWidget* widget);
  void PictureMade(uint64_t request, const QImage& image, const QString& reason, int32_t markers);
  void AskSize();
  void ApplySelection(const TextBox& box, QLineEdit* widget);
  void UserInput(const std::function<void()>& action);
  void WatchFolder(const std::string& folder);
  void KeepRowLabelsApart();
  void KeepFocusOf(QWidget* widget);
  void RestoreFocus();

  WindowModel& m_;
  std::vector<Binding> bindings_;
  QHash<QObject*, Control*> controls_by_widget_;
  QFileSystemWatcher* watcher_;
  QTimer* resized_;
  QString watched_folder_;
  // A control that had the focus when it was disabled, and where Qt moved the focus then: the
  // focus goes back once the control is enabled again, unless the user has moved it since.
  QPointer<QWidget> focus_to_restore_, focus_moved_to_;
  bool closing_ = false;
  // One worker per end of the range: a slow picture at one end never holds up the other's.
  std::unique_ptr<PreviewWorker> pictures_[2];
  uint64_t asked_[2] = {0, 0};  // the request last handed to the worker, per end of the range
  std::unique_ptr<SizeWorker> sizes_;
  uint64_t size_asked_ = 0;      // the size request last handed to its worker
};

}  // namespace trimora
