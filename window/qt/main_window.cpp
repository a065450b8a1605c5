#include "window/qt/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileSystemWatcher>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QToolTip>
#include <algorithm>
#include <map>
#include <utility>
#include <cmath>

#include "timerange/range_preview.h"
#include "window/qt/widgets.h"

namespace trimora {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

Qt::Alignment HorizontalAlignment(Align align) {
  switch (align) {
    case Align::Right:
      return Qt::AlignRight;
    case Align::Center:
      return Qt::AlignHCenter;
    case Align::Left:
      break;
  }
  return Qt::AlignLeft;
}

QPixmap IconPixmap(const QStyle* style, IconKind icon) {
  switch (icon) {
    case IconKind::Information:
      return style->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(QSize(16, 16));
    case IconKind::Warning:
      return style->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(QSize(16, 16));
    case IconKind::None:
      break;
  }
  return {};
}

// Labels of the window draw their text in the system colour they name; without one, in ButtonText,
// the platform's default for labels. Disabled labels keep the platform's greyed colour.
void SetTextColour(QWidget* widget, ColourRole role) {
  QPalette palette = widget->palette();
  const QColor colour = SystemColour(palette, role, QPalette::ButtonText);
  palette.setColor(QPalette::Active, QPalette::WindowText, colour);
  palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
  widget->setPalette(palette);
}

// Where a container's children are measured from: a progress box places them in its inner area,
// inside the 3-D border.
QPoint InnerOrigin(const QWidget* container) {
  if (auto* box = dynamic_cast<const ProgressBox*>(container)) return box->InnerRect().topLeft();
  return {0, 0};
}

// A point of a line kept within its container's contents: inside a frame, that is below the
// edge the style draws under the frame's caption, which may lie lower than the line was placed.
QPoint Clamped(QPoint p, const QRect& area) {
  return {std::clamp(p.x(), area.left(), area.right()), std::clamp(p.y(), area.top(), area.bottom())};
}

}  // namespace

// How far a label's text may be condensed to stay within its box, in per cent of its width.
constexpr int kNarrowestStretch = 70;

int TwipsToPixels(float twips) { return static_cast<int>(std::lround(twips / 15.0f)); }

QFont WindowFont() {
  static const bool substituted = [] {
    QFont::insertSubstitutions(Q(WindowModel::kFontName), {"IPAPGothic", "Noto Sans CJK JP"});
    return true;
  }();
  (void)substituted;
  QFont font(Q(WindowModel::kFontName), WindowModel::kFontPoints, QFont::Normal);
  return font;
}

MainWindow::MainWindow(WindowModel& model, QWidget* parent, PictureMaker pictures, SizeMaker sizes)
    : QWidget(parent),
      m_(model),
      pictures_{std::make_unique<PreviewWorker>(pictures ? pictures : PictureMaker(preview::MakeCutPicture)),
                std::make_unique<PreviewWorker>(pictures ? pictures : PictureMaker(preview::MakeCutPicture))},
      sizes_(std::make_unique<SizeWorker>(sizes ? sizes : SizeMaker(MeasureCutSize))) {
  QObject::connect(sizes_.get(), &SizeWorker::Made, this, [this](quint64 request, const QString& text) {
    if (closing_ || !TakeCutSize(m_, request, text.toStdString())) return;
    Render();
  });
  // Made is emitted on the worker's thread and arrives here through the window's event queue.
  for (const auto& worker : pictures_)
    QObject::connect(worker.get(), &PreviewWorker::Made, this,
                     [this](quint64 request, const QImage& image, const QString& reason, qint32 markers) {
                       PictureMade(request, image, reason, markers);
                     });
  const QFont font = WindowFont();
  setFont(font);
  QToolTip::setFont(font);
  setWindowIcon(TrimoraIcon());
  // The window opens at the size its layout was drawn for, unless the screen is smaller; it may
  // grow, and the pictures take the room.
  setMinimumSize(TwipsToPixels(WindowModel::kClientWidth), TwipsToPixels(WindowModel::kMinClientHeight));
  resized_ = new QTimer(this);
  resized_->setSingleShot(true);
  resized_->setInterval(200);
  QObject::connect(resized_, &QTimer::timeout, this, [this] { UserInput([this] { PreviewResized(m_); }); });
  resize(TwipsToPixels(m_.ClientWidth), TwipsToPixels(m_.ClientHeight));

  for (Control* c : m_.Controls()) {
    QWidget* widget = Create(*c);
    widget->setObjectName(c->Index < 0 ? Q(c->Name) : Q(c->Name + "(" + std::to_string(c->Index) + ")"));
    bindings_.push_back({c, widget});
    controls_by_widget_.insert(widget, c);
  }
  // Lines lie beneath the other controls of their container, in their own order among
  // themselves, so that a tick running through a time label never hides its digits.
  for (auto b = bindings_.rbegin(); b != bindings_.rend(); ++b)
    if (b->control->Kind == ControlKind::Line) b->widget->lower();
  // The timeline's ground lies beneath even its lines; the times over it let the pointer through.
  WidgetOf(m_.pTimeline.Name)->lower();
  m_.ProcessEvents = [this] {
    Render();
    QCoreApplication::processEvents();
  };
  // The application, not the window, receives the tasks: it outlives every thread that posts.
  m_.PostToWindow = [](std::function<void()> task) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
  };
  watcher_ = new QFileSystemWatcher(this);
  QObject::connect(watcher_, &QFileSystemWatcher::directoryChanged, this,
                   [this] { UserInput(m_.lFile.FolderChanged); });
  setAcceptDrops(true);
  // Keys of the buttons people reach for most: Ctrl+S saves the range, Insert keeps it in the list.
  for (auto [keys, button] : {std::pair{QKeySequence(QKeySequence::Save), &m_.bCut},
                              std::pair{QKeySequence(Qt::Key_Insert), &m_.bAddRange}})
    QObject::connect(new QShortcut(keys, this), &QShortcut::activated, this, [this, button] {
      const QWidget* widget = WidgetOf(button->Name);
      if (widget && widget->isEnabled() && widget->isVisible()) UserInput(button->Click);
    });
  Render();
}

MainWindow::~MainWindow() {
  m_.ProcessEvents = nullptr;
  for (auto& worker : pictures_) worker.reset();  // stops the picture being made and waits for the thread
}

QWidget* MainWindow::Container(const std::string& name) const {
  QWidget* container = name.empty() ? nullptr : WidgetOf(name);
  return container ? container : const_cast<MainWindow*>(this);
}

QRect MainWindow::Geometry(const Control& c, const QWidget* widget) const {
  // Edges are rounded, not sizes, so that controls placed edge to edge in twips stay so.
  const QPoint origin = InnerOrigin(widget->parentWidget());
  const int left = TwipsToPixels(c.Left), top = TwipsToPixels(c.Top);
  return {origin.x() + left, origin.y() + top, TwipsToPixels(c.Left + c.Width) - left,
          TwipsToPixels(c.Top + c.Height) - top};
}

void MainWindow::UserInput(const std::function<void()>& action) {
  if (closing_) return;
  if (action) action();
  Render();
}

void MainWindow::Open(const std::vector<std::string>& paths) {
  UserInput([this, &paths] {
    if (m_.OpenPaths) m_.OpenPaths(paths);
  });
}

void MainWindow::FitToScreen() {
  const QScreen* shown_on = screen();
  if (!shown_on) return;
  // The frame the window system adds is not known before the window is shown: a title bar's worth.
  constexpr int kFrame = 40;
  const QSize room = shown_on->availableGeometry().size() - QSize(0, kFrame);
  if (height() > room.height()) resize(width(), std::max(minimumHeight(), room.height()));
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_.Resize(static_cast<float>(width()) * 15, static_cast<float>(height()) * 15);
  if (closing_) return;
  Render();
  // The pictures are made again at their new size once the user has stopped resizing.
  resized_->start();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(QDir::toNativeSeparators(url.toLocalFile()).toStdString());
  if (paths.empty()) return;
  event->acceptProposedAction();
  // The drop finishes first: the source of the drag is not kept waiting for a whole analysis.
  QTimer::singleShot(0, this, [this, paths] { Open(paths); });
}

void MainWindow::WatchFolder(const std::string& folder) {
  QString wanted = Q(folder);
  while (wanted.size() > 1 && (wanted.endsWith(u'/') || wanted.endsWith(u'\\'))) wanted.chop(1);
  if (wanted == watched_folder_) return;
  watched_folder_ = wanted;
  if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
  if (!wanted.isEmpty()) watcher_->addPath(wanted);
}

// The auto-sized labels of one row of a frame (the timeline's times) are centred on the points
// the range check sets; for a short range their texts would run into each other, and at the
// frame's edge they would be cut off. They move apart and inside the frame, by as little as
// that takes; the lines they name stay where they are.
void MainWindow::KeepRowLabelsApart() {
  constexpr int kGap = 4, kFrameMargin = 3;
  std::map<std::pair<QWidget*, float>, std::vector<QWidget*>> rows;
  for (const Binding& b : bindings_)
    if (b.control->Kind == ControlKind::Label && static_cast<const Label*>(b.control)->AutoSize && !b.widget->isHidden())
      rows[{b.widget->parentWidget(), b.control->Top}].push_back(b.widget);
  for (auto& [row, labels] : rows) {
    std::sort(labels.begin(), labels.end(),
              [](const QWidget* a, const QWidget* b) { return a->geometry().center().x() < b->geometry().center().x(); });
    std::vector<QRect> boxes;
    for (const QWidget* label : labels) boxes.push_back(label->geometry());
    for (std::size_t i = 1; i < boxes.size(); ++i) {
      const int overlap = boxes[i - 1].right() + 1 + kGap - boxes[i].left();
      if (overlap <= 0) continue;
      boxes[i - 1].translate(-(overlap / 2), 0);
      boxes[i].translate(overlap - overlap / 2, 0);
    }
    const int min_left = kFrameMargin, max_right = row.first->width() - 1 - kFrameMargin;
    for (std::size_t i = boxes.size(); i-- > 0;) {
      const int limit = i + 1 < boxes.size() ? boxes[i + 1].left() - 1 - kGap : max_right;
      if (boxes[i].right() > limit) boxes[i].moveRight(limit);
    }
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      const int limit = i > 0 ? boxes[i - 1].right() + 1 + kGap : min_left;
      if (boxes[i].left() < limit) boxes[i].moveLeft(limit);
    }
    for (std::size_t i = 0; i < labels.size(); ++i)
      if (labels[i]->geometry() != boxes[i]) labels[i]->setGeometry(boxes[i]);
  }
}

void MainWindow::KeepFocusOf(QWidget* widget) {
  focus_to_restore_ = widget;
  focus_moved_to_ = focusWidget();
}

// Disabling the focused control (Save during a cut, Step 3 during an analysis) makes Qt pass the
// focus on to the next control; a keyboard user's next key would then act there.
void MainWindow::RestoreFocus() {
  if (!focus_to_restore_ || !focus_to_restore_->isEnabled()) return;
  QPointer<QWidget> target = focus_to_restore_;
  const bool untouched = focusWidget() == focus_moved_to_;
  focus_to_restore_ = nullptr;
  focus_moved_to_ = nullptr;
  if (untouched && target->isVisible()) target->setFocus(Qt::OtherFocusReason);
}

QWidget* MainWindow::Create(Control& c) {
  QWidget* parent = Container(c.Parent);
  switch (c.Kind) {
    case ControlKind::Frame:
      return new QGroupBox(parent);
    case ControlKind::Label:
      return CreateLabel(static_cast<Label&>(c), parent);
    case ControlKind::TextBox:
      return CreateTextBox(static_cast<TextBox&>(c), parent);
    case ControlKind::Button:
      return CreateButton(static_cast<Button&>(c), parent);
    case ControlKind::CheckBox:
      return CreateCheckBox(static_cast<CheckBox&>(c), parent);
    case ControlKind::OptionButton:
      return CreateOptionButton(static_cast<OptionButton&>(c), parent);
    case ControlKind::PictureBox:
      return new ProgressBox(parent);
    case ControlKind::Preview:
      return new PreviewWidget(parent);
    case ControlKind::Timeline:
      return CreateTimeline(static_cast<TimelineBand&>(c), parent);
    case ControlKind::Image:
      return CreateImage(static_cast<Image&>(c), parent);
    case ControlKind::Line:
      return new LineWidget(parent);
    case ControlKind::FileList:
    case ControlKind::List:
      return CreateFileList(static_cast<ListBox&>(c), parent);
  }
  return new QWidget(parent);
}

QWidget* MainWindow::CreateLabel(Label& label, QWidget* parent) {
  auto* widget = new QLabel(parent);
  widget->setTextFormat(Qt::PlainText);
  // No label fills its background, opaque or not: its own fill would stand out against a
  // frame that the style paints in a shade of its own.
  SetTextColour(widget, label.Colour);
  if (label.Underline) {
    QFont underlined = widget->font();
    underlined.setUnderline(true);
    widget->setFont(underlined);
  }
  widget->installEventFilter(this);  // a label's click
  if (label.AutoSize) widget->setAttribute(Qt::WA_TransparentForMouseEvents);  // the timeline's times
  return widget;
}

QWidget* MainWindow::CreateTextBox(TextBox& box, QWidget* parent) {
  auto* widget = new TextBoxEdit(parent);
  QObject::connect(widget, &QLineEdit::textEdited, widget, [this, &box](const QString& text) {
    UserInput([&box, &text] { box.SetText(text.toStdString()); });
  });
  QObject::connect(widget, &QLineEdit::returnPressed, widget, [this, &box] { UserInput(box.Enter); });
  widget->FocusIn = [this, &box, widget] {
    if (closing_) return;
    box.GotFocus();
    Render();
    ApplySelection(box, widget);
  };
  widget->Step = [this, &box, widget](TimeStep step) {
    if (!box.OnStep) return false;
    UserInput([&box, step] { box.Step(step); });
    if (widget->hasFocus()) ApplySelection(box, widget);
    return true;
  };
  return widget;
}

QWidget* MainWindow::CreateButton(Button& button, QWidget* parent) {
  auto* widget = new QPushButton(parent);
  widget->setAutoDefault(false);
  QObject::connect(widget, &QPushButton::clicked, widget, [this, &button] { UserInput(button.Click); });
  return widget;
}

QWidget* MainWindow::CreateCheckBox(CheckBox& box, QWidget* parent) {
  auto* widget = new QCheckBox(parent);
  QObject::connect(widget, &QCheckBox::clicked, widget, [this, &box](bool checked) {
    UserInput([&box, checked] {
      box.Value = checked ? 1 : 0;
      if (box.Click) box.Click();
    });
  });
  return widget;
}

QWidget* MainWindow::CreateOptionButton(OptionButton& option, QWidget* parent) {
  auto* widget = new QRadioButton(parent);
  // The model holds which option is selected: its Click handler selects it and clears the others,
  // and Render shows the outcome.
  widget->setAutoExclusive(false);
  QObject::connect(widget, &QRadioButton::clicked, widget, [this, &option] { UserInput(option.Click); });
  return widget;
}

QWidget* MainWindow::CreateTimeline(TimelineBand& band, QWidget* parent) {
  auto* widget = new TimelineWidget(parent);
  auto twips = [](int x) { return static_cast<float>(x) * 15.0f; };
  widget->Pressed = [this, &band, twips](int x) {
    UserInput([&band, x, twips] {
      if (band.Press) band.Press(twips(x));
    });
  };
  widget->Dragged = [this, &band, twips](int x) {
    UserInput([&band, x, twips] {
      if (band.Drag) band.Drag(twips(x));
    });
  };
  return widget;
}

QWidget* MainWindow::CreateImage(Image& image, QWidget* parent) {
  auto* widget = new QLabel(parent);
  widget->setPixmap(IconPixmap(style(), image.Icon));
  widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return widget;
}

QWidget* MainWindow::CreateFileList(ListBox& list, QWidget* parent) {
  auto* widget = new FileListWidget(parent);
  widget->setSelectionMode(QAbstractItemView::SingleSelection);
  QObject::connect(widget, &QListWidget::itemClicked, widget,
                   [this, &list, widget](QListWidgetItem* item) { ChooseListEntry(list, widget->row(item)); });
  // A key that moves the highlight chooses like a click: the highlight, the results and Save
  // always belong to one recording, and a move during a run is turned back as a click is.
  widget->KeyMoved = [this, &list](int row) { ChooseListEntry(list, row); };
  widget->installEventFilter(this);  // Enter chooses the current entry
  return widget;
}

void MainWindow::ChooseListEntry(ListBox& list, int row) {
  UserInput([&list, row] {
    list.ListIndex = row;
    if (list.Click) list.Click();
  });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  Control* c = controls_by_widget_.value(watched, nullptr);
  if (!c) return QWidget::eventFilter(watched, event);

  if (c->Kind == ControlKind::Label && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    auto* widget = static_cast<QWidget*>(watched);
    if (mouse->button() == Qt::LeftButton && widget->rect().contains(mouse->position().toPoint()))
      UserInput(c->Click);
  } else if ((c->Kind == ControlKind::FileList || c->Kind == ControlKind::List) && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    auto* widget = static_cast<QListWidget*>(watched);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && widget->currentRow() >= 0) {
      ChooseListEntry(static_cast<ListBox&>(*c), widget->currentRow());
      return true;
    }
    if (key->key() == Qt::Key_Delete && static_cast<ListBox&>(*c).Delete) {
      UserInput(static_cast<ListBox&>(*c).Delete);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::ApplySelection(const TextBox& box, QLineEdit* widget) {
  const int length = static_cast<int>(widget->text().size());
  const int start = std::clamp(box.SelStart, 0, length);
  widget->setSelection(start, std::clamp(box.SelLength, 0, length - start));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    if (OnCloseRequest && !OnCloseRequest()) {
      event->ignore();
      return;
    }
    closing_ = true;
    pictures_[0]->Drop(false);
    pictures_[1]->Drop(true);
  }
  event->accept();
}

QWidget* MainWindow::WidgetOf(const std::string& name, int index) const {
  for (const Binding& b : bindings_)
    if (b.control->Name == name && b.control->Index == index) return b.widget;
  return nullptr;
}

void MainWindow::Render() {
  if (closing_) return;
  if (windowTitle() != Q(m_.Caption)) setWindowTitle(Q(m_.Caption));
  for (const Binding& b : bindings_) {
    RenderControl(b);
    RenderCommon(b);
  }
  KeepRowLabelsApart();
  RestoreFocus();
  AskSize();
}

void MainWindow::AskSize() {
  const CutSizeJob job = PendingCutSize(m_);
  if (job.request == size_asked_) return;
  size_asked_ = job.request;
  if (job.request != 0) sizes_->Ask(job);
}

void MainWindow::RenderCommon(const Binding& b) {
  const Control& c = *b.control;
  QWidget* w = b.widget;
  if (w->isHidden() == c.Visible) w->setVisible(c.Visible);
  if (w->testAttribute(Qt::WA_ForceDisabled) == c.Enabled) {
    QWidget* focus = focusWidget();
    const bool takes_focus = !c.Enabled && focus && (focus == w || w->isAncestorOf(focus));
    w->setEnabled(c.Enabled);
    if (takes_focus) KeepFocusOf(focus);
  }
  // A label's tip is its own render's: a caption cut short shows whole there.
  if (c.Kind != ControlKind::Label && w->toolTip() != Q(c.ToolTip)) w->setToolTip(Q(c.ToolTip));
  const Qt::CursorShape cursor = c.Kind == ControlKind::Label && c.Click ? Qt::PointingHandCursor : Qt::ArrowCursor;
  if (c.Kind == ControlKind::Label && w->cursor().shape() != cursor) w->setCursor(cursor);
}

void MainWindow::RenderControl(const Binding& b) {
  Control& c = *b.control;
  QWidget* w = b.widget;
  if (c.Kind != ControlKind::Line && c.Kind != ControlKind::Label) {
    const QRect geometry = Geometry(c, w);
    if (w->geometry() != geometry) w->setGeometry(geometry);
  }

  switch (c.Kind) {
    case ControlKind::Frame: {
      auto* frame = static_cast<QGroupBox*>(w);
      if (frame->title() != Q(static_cast<Frame&>(c).Caption)) frame->setTitle(Q(static_cast<Frame&>(c).Caption));
      break;
    }
    case ControlKind::Label:
      RenderLabel(static_cast<Label&>(c), w);
      break;
    case ControlKind::TextBox:
      RenderTextBox(static_cast<TextBox&>(c), w);
      break;
    case ControlKind::Button: {
      auto* button = static_cast<QPushButton*>(w);
      const QString caption = Q(static_cast<Button&>(c).Caption);
      if (button->text() != caption) button->setText(caption);
      break;
    }
    case ControlKind::CheckBox: {
      auto& box = static_cast<CheckBox&>(c);
      auto* widget = static_cast<QCheckBox*>(w);
      if (widget->text() != Q(box.Caption)) widget->setText(Q(box.Caption));
      const Qt::CheckState state = box.Value == 1 ? Qt::Checked : Qt::Unchecked;
      if (widget->checkState() != state) widget->setCheckState(state);
      break;
    }
    case ControlKind::OptionButton: {
      auto& option = static_cast<OptionButton&>(c);
      auto* widget = static_cast<QRadioButton*>(w);
      if (widget->text() != Q(option.Caption)) widget->setText(Q(option.Caption));
      if (widget->isChecked() != option.Value) widget->setChecked(option.Value);
      break;
    }
    case ControlKind::PictureBox:
      static_cast<ProgressBox*>(w)->SetFill(static_cast<PictureBox&>(c).FillPercent);
      break;
    case ControlKind::Image:
      break;
    case ControlKind::Line: {
      auto& line = static_cast<Line&>(c);
      const QPoint origin = InnerOrigin(w->parentWidget());
      const QRect area = w->parentWidget()->contentsRect();
      static_cast<LineWidget*>(w)->SetLine(
          Clamped(origin + QPoint(TwipsToPixels(line.X1), TwipsToPixels(line.Y1)), area),
          Clamped(origin + QPoint(TwipsToPixels(line.X2), TwipsToPixels(line.Y2)), area), line.Colour);
      break;
    }
    case ControlKind::FileList:
      WatchFolder(static_cast<FileListBox&>(c).Path);
      RenderFileList(static_cast<ListBox&>(c), w);
      break;
    case ControlKind::List:
      RenderFileList(static_cast<ListBox&>(c), w);
      break;
    case ControlKind::Preview:
      RenderPreview(static_cast<PreviewBox&>(c), w);
      break;
    case ControlKind::Timeline: {
      auto& band = static_cast<TimelineBand&>(c);
      auto pixels = [](const std::vector<TimelineSpan>& spans) {
        std::vector<TimelineWidget::Band> bands;
        for (const TimelineSpan& span : spans) bands.push_back({TwipsToPixels(span.X1), TwipsToPixels(span.X2)});
        return bands;
      };
      static_cast<TimelineWidget*>(w)->SetBands(pixels(band.Kept), pixels(band.Breaks), TwipsToPixels(m_.lnALL.Y1));
      break;
    }
  }
}

namespace {

// The x, in the parent's coordinates, where a label in `box` must stop: the first visible
// sibling at or right of `from` that shares its height, else the parent's inner edge.
int RoomBeside(const QWidget* label, const QRect& box, int from) {
  const QWidget* parent = label->parentWidget();
  int limit = parent->contentsRect().right();
  for (const QObject* child : parent->children()) {
    const auto* sibling = qobject_cast<const QWidget*>(child);
    if (!sibling || sibling == label || sibling->isHidden()) continue;
    const QRect g = sibling->geometry();
    if (g.left() >= from - 1 && g.top() <= box.bottom() && g.bottom() >= box.top()) limit = std::min(limit, g.left() - 2);
  }
  return limit;
}

}  // namespace

void MainWindow::RenderLabel(Label& label, QWidget* w) {
  auto* widget = static_cast<QLabel*>(w);
  const QString caption = Q(label.Caption);
  const Qt::Alignment alignment = HorizontalAlignment(label.Alignment) | Qt::AlignTop;
  if (widget->alignment() != alignment) widget->setAlignment(alignment);

  // An auto-sized label takes the width of its text. Any other label keeps its box: when its text
  // needs more room than the model's width gives it (fonts differ in width between systems), the
  // text is condensed first, so that a long value ("1,048,452 KB") never runs over its caption;
  // only text that does not fit even then widens the label, rather than lose digits. Either grows
  // from the point its alignment keeps fixed: a centred label stays centred on the middle the
  // model gives it, a right-aligned one keeps its right edge. A left-aligned label grows only up
  // to the control beside it (a message never covers the button it lies next to) or its frame's
  // edge; what is left over ends in an ellipsis, and the whole text is the label's tip.
  QRect box = Geometry(label, widget);
  const int model_width = box.width();
  QFont font = widget->font();
  font.setStretch(QFont::Unstretched);
  int text_width = QFontMetrics(font).horizontalAdvance(caption) + 1;
  for (int stretch = 95; !label.AutoSize && text_width > box.width() && stretch >= kNarrowestStretch; stretch -= 5) {
    font.setStretch(stretch);
    text_width = QFontMetrics(font).horizontalAdvance(caption) + 1;
  }
  if (widget->font().stretch() != font.stretch()) widget->setFont(font);
  const QFontMetrics metrics(font);
  const int width = label.AutoSize ? text_width : std::max(box.width(), text_width);
  if (width != box.width()) {
    const double left = InnerOrigin(widget->parentWidget()).x() + label.Left / 15.0;
    const double right = left + label.Width / 15.0;
    if (label.Alignment == Align::Center)
      box.moveLeft(static_cast<int>(std::lround((left + right - width) / 2)));
    else if (label.Alignment == Align::Right)
      box.moveLeft(static_cast<int>(std::lround(right - width)));
    box.setWidth(width);
  }
  if (label.AutoSize) box.setHeight(std::max(box.height(), metrics.height()));
  QString shown = caption;
  if (!label.AutoSize && label.Alignment == Align::Left && width > model_width) {
    const int room = RoomBeside(widget, box, box.left() + model_width) - box.left();
    if (width > room) {
      box.setWidth(std::max(room, model_width));
      shown = metrics.elidedText(caption, Qt::ElideRight, box.width() - 1);
    }
  }
  if (widget->text() != shown) widget->setText(shown);
  const QString tip = shown != caption ? caption : Q(label.ToolTip);
  if (widget->toolTip() != tip) widget->setToolTip(tip);
  if (widget->geometry() != box) widget->setGeometry(box);
}

void MainWindow::RenderTextBox(TextBox& box, QWidget* w) {
  auto* widget = static_cast<QLineEdit*>(w);
  // Text the user is typing is already the model's; only a change made elsewhere is written back.
  const QString text = Q(box.Text());
  if (widget->text() != text) widget->setText(text);
  const int max_length = box.MaxLength > 0 ? box.MaxLength : 32767;
  if (widget->maxLength() != max_length) widget->setMaxLength(max_length);
  if (widget->isReadOnly() != box.ReadOnly) widget->setReadOnly(box.ReadOnly);
  // QLineEdit turns the input method back on when it becomes editable.
  if (box.InputMethodOff && widget->testAttribute(Qt::WA_InputMethodEnabled))
    widget->setAttribute(Qt::WA_InputMethodEnabled, false);
  const Qt::Alignment alignment = HorizontalAlignment(box.Alignment) | Qt::AlignVCenter;
  if (widget->alignment() != alignment) widget->setAlignment(alignment);
}

void MainWindow::RenderFileList(ListBox& list, QWidget* w) {
  auto* widget = static_cast<QListWidget*>(w);
  bool same = widget->count() == static_cast<int>(list.Items.size());
  for (int i = 0; same && i < widget->count(); ++i)
    same = widget->item(i)->text() == Q(list.Items[static_cast<std::size_t>(i)]);
  if (!same) {
    widget->clear();
    for (const std::string& item : list.Items) widget->addItem(Q(item));
  }
  const int index = list.ListIndex < widget->count() ? list.ListIndex : -1;
  if (widget->currentRow() != index) {
    widget->setCurrentRow(index);
    if (index < 0) widget->clearSelection();
  }
}

// A box whose request changed hands the new one to the worker, which stops the older one of the
// same end; the picture it shows is only ever its current request's.
void MainWindow::RenderPreview(PreviewBox& box, QWidget* w) {
  auto* widget = static_cast<PreviewWidget*>(w);
  uint64_t& asked = asked_[box.End ? 1 : 0];
  if (asked != box.Request) {
    asked = box.Request;
    if (box.Request == 0 || !m_.Preview.Markers)
      pictures_[box.End ? 1 : 0]->Drop(box.End);
    else
      pictures_[box.End ? 1 : 0]->Ask({box.Request, m_.Preview.Markers, box.Second, box.End,
                                       widget->InnerRect().size() * widget->devicePixelRatioF(), box.From,
                                       box.Clean});
  }
  widget->Show(box.Request, Q(box.Message));
}

void MainWindow::PictureMade(uint64_t request, const QImage& image, const QString& reason, int32_t markers) {
  if (closing_) return;
  for (PreviewBox* box : {&m_.pPreviewStart, &m_.pPreviewEnd}) {
    if (!box->Take(request, !image.isNull(), reason.toStdString())) continue;
    if (markers >= 0) RecordingMarkersKnown(m_, markers);  // a current request: this recording's
    auto* widget = static_cast<PreviewWidget*>(WidgetOf(box->Name));
    QImage picture = image;
    picture.setDevicePixelRatio(widget->devicePixelRatioF());
    widget->SetPicture(request, picture);
  }
  Render();
}

}  // namespace trimora
