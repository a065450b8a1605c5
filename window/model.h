// The window model: every control of the Trimora window as plain data, with the four status-panel
// operations. The engine, the range check, the command line and the tests act on this model; the
// Qt view only renders it and feeds the user's input back into it.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace trimora {

class MarkerIndex;

inline constexpr const char* kProductName = "Trimora";

// The codes of the four status-panel operations of WindowModel. iIconType of lMessage_Show picks
// the analysis panel's icon; the cut panel has a single icon, a warning, which lCMessage_Show
// shows for kCutWarningIcon.
inline constexpr int32_t kNoIcon = 0;
inline constexpr int32_t kInformationIcon = 1;
inline constexpr int32_t kWarningIcon = 2;
inline constexpr int32_t kCutWarningIcon = 1;
// iPercent of Progress_Refresh and CProgress_Refresh: besides a percentage, leave the bar as it
// is, or hide it. sMessage kCaptionUnchanged leaves the bar's caption as it is.
inline constexpr int32_t kBarUnchanged = -1;
inline constexpr int32_t kBarHidden = -2;
inline constexpr const char* kCaptionUnchanged = "-";

enum class ControlKind { Frame, Label, TextBox, Button, CheckBox, OptionButton, PictureBox, Image, Line, FileList, Preview, List, Timeline };
enum class Align { Left, Right, Center };
// System colours the window uses; Default is the platform's own colour for the control.
enum class ColourRole { Default, Highlight, HighlightText, GrayText, ButtonText };
enum class IconKind { None, Information, Warning };
// A step of a time box by the keyboard or the mouse wheel.
enum class TimeStep { SecondUp, SecondDown, MinuteUp, MinuteDown };

// Geometry is in twips (15 twips = 1 device-independent pixel), relative to the parent;
// single precision, as the timeline positions are stored.
struct Control {
  Control(std::string name, ControlKind kind, std::string parent, float left, float top, float width, float height)
      : Name(std::move(name)), Kind(kind), Parent(std::move(parent)), Left(left), Top(top), Width(width), Height(height) {}
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  std::string Name;
  ControlKind Kind;
  std::string Parent;  // "" for the window itself
  float Left, Top, Width, Height;
  bool Enabled = true;
  bool Visible = true;
  std::string ToolTip;
  int Index = -1;               // index within a control array (tStart, tEnd, oSel), else -1
  std::function<void()> Click;  // set by the owner of the window's events
};

struct Frame : Control {
  Frame(std::string name, std::string parent, float l, float t, float w, float h, std::string caption)
      : Control(std::move(name), ControlKind::Frame, std::move(parent), l, t, w, h), Caption(std::move(caption)) {}
  std::string Caption;
};

struct Label : Control {
  Label(std::string name, std::string parent, float l, float t, float w, float h, std::string caption,
        Align align = Align::Left)
      : Control(std::move(name), ControlKind::Label, std::move(parent), l, t, w, h), Caption(std::move(caption)),
        Alignment(align) {}
  std::string Caption;
  Align Alignment;
  ColourRole Colour = ColourRole::Default;
  bool Transparent = false;
  bool AutoSize = false;
  bool Underline = false;
};

// A text box. Writing Text through SetText raises Change at once when the text differs, before
// SetText returns, whether the writer is the user (through the view) or a procedure.
struct TextBox : Control {
  TextBox(std::string name, int index, std::string parent, float l, float t, float w, float h, std::string text = {})
      : Control(std::move(name), ControlKind::TextBox, std::move(parent), l, t, w, h), text_(std::move(text)) {
    Index = index;
  }
  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  void GotFocus();  // the view calls this when the box gains the keyboard focus
  void Step(TimeStep step);  // the view calls this for the step keys and the mouse wheel

  int SelStart = 0;
  int SelLength = 0;
  int MaxLength = 0;  // 0: no limit
  bool ReadOnly = false;
  bool InputMethodOff = false;
  Align Alignment = Align::Left;
  std::function<void()> Change;
  std::function<void()> Enter;  // the Enter key in the box
  std::function<void()> OnGotFocus;
  std::function<void(TimeStep)> OnStep;

 private:
  std::string text_;
};

// The search for breaks' button when no search runs (a running one makes it the stop).
inline constexpr const char* kFindBreaksCaption = "CMを探す";

struct Button : Control {
  Button(std::string name, std::string parent, float l, float t, float w, float h, std::string caption)
      : Control(std::move(name), ControlKind::Button, std::move(parent), l, t, w, h), Caption(std::move(caption)) {}
  std::string Caption;
};

struct CheckBox : Control {
  CheckBox(std::string name, std::string parent, float l, float t, float w, float h, std::string caption)
      : Control(std::move(name), ControlKind::CheckBox, std::move(parent), l, t, w, h), Caption(std::move(caption)) {}
  std::string Caption;
  int Value = 0;  // 1 = ticked
};

struct OptionButton : Control {
  OptionButton(std::string name, int index, std::string parent, float l, float t, float w, float h,
               std::string caption)
      : Control(std::move(name), ControlKind::OptionButton, std::move(parent), l, t, w, h), Caption(std::move(caption)) {
    Index = index;
  }
  std::string Caption;
  bool Value = false;  // selected
};

// The progress bar of a status line: a box whose fill grows with the percentages drawn into it.
struct PictureBox : Control {
  PictureBox(std::string name, std::string parent, float l, float t, float w, float h)
      : Control(std::move(name), ControlKind::PictureBox, std::move(parent), l, t, w, h) {}
  // Right edge of the filled part, in per cent of the inner width. Drawing never clears: a
  // larger percentage paints over a smaller one, only 0 clears. Values past 100 are clipped
  // by the view; a negative value draws nothing visible.
  int FillPercent = 0;
  void Draw(int percent);
};

struct Image : Control {
  Image(std::string name, std::string parent, float l, float t, float w, float h, IconKind icon)
      : Control(std::move(name), ControlKind::Image, std::move(parent), l, t, w, h), Icon(icon) {}
  IconKind Icon;
};

struct Line : Control {
  Line(std::string name, std::string parent, float x1, float y1, float x2, float y2, ColourRole colour)
      : Control(std::move(name), ControlKind::Line, std::move(parent), 0, 0, 0, 0), X1(x1), Y1(y1), X2(x2), Y2(y2),
        Colour(colour) {}
  float X1, Y1, X2, Y2;
  ColourRole Colour;
};

// A picture at one end of the range. The view makes the picture off the window's thread and holds
// its pixels; the model says which request the box waits for and what it shows meanwhile.
struct PreviewBox : Control {
  PreviewBox(std::string name, std::string parent, float l, float t, float w, float h, bool end)
      : Control(std::move(name), ControlKind::Preview, std::move(parent), l, t, w, h), End(end) {}
  bool End;                 // the last picture before the end of the range, else the first after its start
  int32_t Second = -1;      // the time asked for; -1 none
  int32_t From = 0;         // the end box: the range's start, where the cut it ends begins
  bool Clean = false;       // a picture of the clean cut
  uint64_t Request = 0;     // the only request whose result the box takes; 0 none
  bool HasPicture = false;  // that request's picture has arrived
  std::string Message;      // shown where there is no picture
  // A made picture, or with `has_picture` false the reason there is none, for a request. Taken
  // only while the box still waits for that request; false when it is obsolete and to be dropped.
  bool Take(uint64_t request, bool has_picture, const std::string& reason);
};

// The timeline's own ground beneath its lines: the parts of the recording that the list keeps and
// the breaks found in it, drawn as bands, and the place where the user's pointer moves the range.
// X positions are the parent's, as the lines'; the view reports the pointer there too.
struct TimelineSpan {
  float X1, X2;
  friend bool operator==(const TimelineSpan&, const TimelineSpan&) = default;
};
struct TimelineBand : Control {
  TimelineBand(std::string name, std::string parent, float l, float t, float w, float h)
      : Control(std::move(name), ControlKind::Timeline, std::move(parent), l, t, w, h) {}
  std::vector<TimelineSpan> Kept, Breaks;
  std::function<void(float x)> Press;  // a press of the pointer's button at x
  std::function<void(float x)> Drag;   // the pointer moved to x with the button held
};

// A list of texts, one per row: the view shows Items and reports the user's choice of a row
// through ListIndex and Click.
struct ListBox : Control {
  ListBox(std::string name, std::string parent, float l, float t, float w, float h, ControlKind kind = ControlKind::List)
      : Control(std::move(name), kind, std::move(parent), l, t, w, h) {}
  std::vector<std::string> Items;
  int ListIndex = -1;
  std::function<void()> Delete;  // the Delete key on the chosen row
};

// The list of recordings in a folder. The event handlers fill Items from the folder and pattern.
struct FileListBox : ListBox {
  FileListBox(std::string name, std::string parent, float l, float t, float w, float h)
      : ListBox(std::move(name), std::move(parent), l, t, w, h, ControlKind::FileList) {}
  std::string Path;
  std::string Pattern = "*.*";
  std::string FileName() const;  // the selected entry, or "" when none is selected
  std::function<void()> FolderChanged;  // the view reports that the listed folder changed
};

// The main window, fMain: every control, starting in the state the window opens with.
class WindowModel {
 public:
  WindowModel();
  WindowModel(const WindowModel&) = delete;
  WindowModel& operator=(const WindowModel&) = delete;

  // Window
  std::string Caption = kProductName;
  // The three steps take 4215 twips; the preview below them has a row of its own for the clean
  // cut's box and the exact size, and the ranges to keep come below the preview. That is the size
  // the window opens with; it may grow, and shrink in height to kMinClientHeight, the room going to
  // or coming from the preview's pictures (Resize).
  static constexpr float kClientWidth = 8805, kClientHeight = 10020;
  static constexpr float kMinClientHeight = 8895;  // pictures 1200 twips high
  float ClientWidth = kClientWidth, ClientHeight = kClientHeight;
  // Lays the preview and the list out for a client area of width x height twips (at least the
  // smallest size); the three steps keep their places.
  void Resize(float width, float height);
  static constexpr const char* kFontName = "ＭＳ Ｐゴシック";
  static constexpr int kFontPoints = 9;

  Label lvAddress, lvDescription;
  Frame fFile, fAnalyze, fOption;

  // Step 1
  OptionButton oSel0, oSel1;
  TextBox tDialogFile;
  Button bShowDialog;
  Line OptionLine;
  FileListBox lFile;

  // Step 2
  Label lvFileSize, lFileSize, lvTimeA, lTimeA, lvTimeB, lTimeB, lvDataType, lDataType;
  Line lS2_1;
  CheckBox cDataDetail, cTimeB;
  Button bReAnalyze;
  Line lS2_2;
  PictureBox pProgress;
  Label lProgress, lProgress_S, lMessage;
  Image iWarn, iInfo;

  // Step 3
  Label lZERO, lEOF, lStart, lEnd;
  Line lnZERO, lnEOF, lnALL, lnStart, lnEnd, lnRange, lS3_1;
  Label lvStart;
  TextBox tStart0, tStart1, tStart2;
  Label lvStartH, lvStartM, lvStartS, lvEnd;
  TextBox tEnd0, tEnd1, tEnd2;
  Label lvEndH, lvEndM, lvEndS, lvRange, lRange, lvExSize, lExSize;
  TimelineBand pTimeline;  // beneath the timeline's lines
  Button bCut;
  PictureBox pCProgress;
  Label lCProgress, lCProgress_S;
  Image iCWarn;
  Label lCMessage;

  // The preview below the three steps: the pictures at the start and the end of the range.
  Frame fPreview;
  Label lPreviewStart, lPreviewEnd;
  PreviewBox pPreviewStart, pPreviewEnd;
  // Ticked: the pictures, the size and Save are those of the clean cut (engine/cut.h).
  CheckBox cPreviewClean;
  // The exact size of the bytes the cut of the range will write, once the marker index has both
  // ends; or why there is none.
  Label lPreviewSize;
  // The ranges to keep, below the preview: a list saved as one file.
  Frame fRanges;
  ListBox lRanges;
  Button bAddRange, bRemoveRange, bImportRanges, bExportRanges, bSaveRanges;
  // The search for breaks, which fills the list with the programme's parts. Hidden until the
  // window has the search to run.
  Button bFindBreaks;
  // Ticked: each save is re-read against the recording once written (verify/written_check.h).
  CheckBox cVerify;
  Label lRangesTotal, lRangesMessage;

  struct {
    std::shared_ptr<MarkerIndex> Markers;  // of the analysed recording the pictures come from; none
    int32_t Start = -1, End = -1;          // the range the timeline shows; -1 none
    uint64_t Requests = 0;                 // requests made so far
    int32_t RecordingMarkers = -1;         // the time markers the recording holds, once known; -1 not yet
    // The size the label waits for: the request (0 none) and what it is for.
    uint64_t SizeRequest = 0;
    int32_t SizeStart = -1, SizeEnd = -1;
    bool SizeClean = false;
  } Preview;

  // Control arrays: index 0 hours, 1 minutes, 2 seconds; oSel 0 dialog mode, 1 list mode.
  TextBox* const tStart[3] = {&tStart0, &tStart1, &tStart2};
  TextBox* const tEnd[3] = {&tEnd0, &tEnd1, &tEnd2};
  OptionButton* const oSel[2] = {&oSel0, &oSel1};

  // Every control, parents before their children, for views that render them all.
  const std::vector<Control*>& Controls() const { return controls_; }

  // The four status-panel operations. Each ends by letting the owner process pending events.
  void lMessage_Show(const std::string& sMessage, int32_t iIconType);
  void lCMessage_Show(const std::string& sMessage, int32_t iIconType);
  void Progress_Refresh(int32_t iPercent, const std::string& sMessage);
  void CProgress_Refresh(int32_t iPercent, const std::string& sMessage);

  // The "process pending events" hook: the Qt window processes its events here, the command line
  // draws its progress, tests act as the user. Exceptions thrown by it reach the caller of the
  // panel operation, as a failure of that operation.
  std::function<void()> ProcessEvents;

  // Paths handed to the window (dropped on it, or named on the command line), for the handlers.
  std::function<void(const std::vector<std::string>& paths)> OpenPaths;

  // Runs a task on the window's thread later; callable from any thread. Set once by the view
  // before the window's events start; left empty (headless), work meant for another thread is
  // done at once on the caller's.
  std::function<void(std::function<void()> task)> PostToWindow;
  void DoEvents() {
    if (ProcessEvents) ProcessEvents();
  }

 private:
  void RefreshBar(PictureBox& box, Label& caption, Label& shadow, int32_t iPercent, const std::string& sMessage);
  std::vector<Control*> controls_;
};

// Runs a panel operation that reports how a procedure ended. Its text is in place before the
// window gets its events, so a failure of that event processing has nowhere left to go: it is
// dropped rather than thrown at whoever started the procedure.
template <typename Show>
void ShowFinal(Show show) noexcept {
  try {
    show();
  } catch (const std::exception&) {
  }
}

}  // namespace trimora
