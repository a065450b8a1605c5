// The window's event handlers on the model: start-up, the choice of the source recording, Save,
// the mirrored check boxes, the web-page link and the close request. The Qt window forwards its
// user's input here; tests drive the same handlers headless.
#pragma once

#include <functional>
#include <string>

#include "engine/app_state.h"
#include "platform/file_dialog.h"
#include "platform/web_page.h"
#include "window/model.h"

namespace trimora {

struct Platform {
  FileDialogs& dialogs;
  WebOpener& web;
  // Reads an environment variable; nullopt-like "" with found = false when unset.
  std::function<bool(const std::string& name, std::string& value)> getenv;
};

class WindowEvents {
 public:
  // Wires every event handler of the window into the model's Click, Change and GotFocus slots.
  WindowEvents(WindowModel& w, AppState& st, Platform& platform);

  void Load();          // start-up: caption, recording folder, list or dialog mode
  void CloseRequest();  // iExitFlag = 1; a running loop stops at its next test
  bool Busy() const;    // an analysis or a cut is running

 private:
  WindowModel& w_;
  AppState& st_;
  Platform& platform_;
  int running_ = 0;
};

}  // namespace trimora
