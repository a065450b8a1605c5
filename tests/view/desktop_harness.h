// The desktop program in-process for the view's tests: model, handlers, scripted dialogs and the
// Qt view, with a recording folder found through a user profile of its own. Tests act only
// through the widgets, as the user would.
#pragma once

#include <QApplication>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "window/app_state.h"
#include "platform/file_dialog.h"
#include "platform/web_page.h"
#include "tests/recording_builder.h"
#include "window/events/events.h"
#include "window/model.h"
#include "window/qt/main_window.h"

namespace trimora::testkit {

// Answers the dialogs from a script: the next answer per call, "" (a cancel) once none is left.
class ScriptedDialogs : public FileDialogs {
 public:
  std::vector<std::string> answers;
  std::vector<bool> saves;  // the kind of every dialog asked for, in order

  std::string ShowFileDialog(const std::string& filter, const std::string& initialDir, const std::string& fileName,
                             bool save) override;
};

class RecordingWebOpener : public WebOpener {
 public:
  std::vector<std::string> opened;
  void Open(const std::string& address) override { opened.push_back(address); }
};

class Desktop {
 public:
  // Starts the program with `folder` as the recorder's recording folder; the window is shown
  // and active.
  explicit Desktop(const std::filesystem::path& folder);

  template <typename T>
  T* Widget(const std::string& name, int index = -1) const {
    return dynamic_cast<T*>(view.WidgetOf(name, index));
  }
  QString Text(const std::string& label) const;  // a label's text as shown

  void Click(const std::string& name, int index = -1);  // a button, check box or option button
  void ClickListEntry(const std::string& entry);
  void Type(const std::string& box, int index, const QString& text);  // tabs into the box, types

  // Asks the window to close, through Qt's event queue, at the first processing of events at
  // which `condition` holds: the request arrives while a procedure is running, as the user's would.
  void CloseWhen(std::function<bool()> condition);
  bool close_requested() const { return close_requested_; }

 private:
  TempDir profile_;

 public:
  AppState st;
  WindowModel m;
  ScriptedDialogs dialogs;
  RecordingWebOpener web;
  Platform platform;
  WindowEvents events;
  MainWindow view;

 private:
  bool close_requested_ = false;
};

}  // namespace trimora::testkit
