// The open and save dialogs behind a seam: the Qt window supplies the real dialogs, tests a script.
#pragma once

#include <string>

namespace trimora {

// The filter of the open and save dialogs: description/pattern pairs joined by "|", each "|"
// becoming a NUL before use.
inline constexpr const char* kRecordingsFilter = "録画データ (*.nts)|*.nts|すべてのファイル (*.*)|*.*";

// "|" replaced by NUL, ending in two NULs as the dialogs expect.
std::string BuildDialogFilter(const std::string& filter);

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // Shows the open dialog (save = false) or the save dialog, modal to the main window. The
  // filter is description/pattern pairs separated by NULs, the first pair selected; "nts" is the
  // default suffix; the open dialog accepts only an existing file, the save dialog asks before an
  // existing file is chosen. The dialog starts in initialDir with fileName proposed (either ""
  // for the dialog's own choice). Returns the chosen full path, or "" on cancel or failure.
  virtual std::string ShowFileDialog(const std::string& filter, const std::string& initialDir,
                                     const std::string& fileName, bool save) = 0;
};

}  // namespace trimora
