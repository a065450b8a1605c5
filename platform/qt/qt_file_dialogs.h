// The open and save dialogs of the desktop program, through QFileDialog: the platform's native
// dialog where Qt has one, Qt's own elsewhere; and the yes/no question the window asks.
#pragma once

#include <QStringList>
#include <string>

#include "platform/file_dialog.h"

class QFileDialog;
class QWidget;

namespace trimora {

class QtFileDialogs : public FileDialogs {
 public:
  explicit QtFileDialogs(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }  // the window the dialogs are modal to

  std::string ShowFileDialog(const std::string& filter, const std::string& initialDir, const std::string& fileName,
                             bool save) override;

 private:
  QWidget* owner_;
};

// The NUL-separated description/pattern pairs as Qt's name filters: "録画データ (*.nts)" and
// "すべてのファイル (*)". Patterns listed with ";" become Qt's space-separated list.
QStringList QtNameFilters(const std::string& filter);

// Prepares a dialog the way ShowFileDialog shows it: filters with the first selected, default
// suffix "nts", open limited to existing files, save confirming an existing file; in initialDir
// with fileName proposed, where given.
void ConfigureFileDialog(QFileDialog& dialog, const std::string& filter, const std::string& initialDir,
                         const std::string& fileName, bool save);

// Asks `question` with Yes and No, modal to owner; true for Yes. No is the default: Enter or
// Escape never stops anything the user did not mean to.
bool AskYesNo(QWidget* owner, const std::string& question);

}  // namespace trimora
