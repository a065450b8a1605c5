// The Qt stand-ins for the platform's file dialogs and web page opener: the recordings filter in
// Qt's form, the dialog's contract (first filter selected, "nts" suffix, existing files only when
// opening, confirmation when saving over a file, "" on cancel) and the address handed on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "platform/file_dialog.h"
#include "platform/qt/qt_file_dialogs.h"
#include "platform/qt/qt_web_opener.h"
#include "tests/recording_builder.h"

namespace trimora {
namespace {

using testkit::TempDir;

TEST(QtNameFilters, TranslateTheRecordingsFilter) {
  EXPECT_EQ(QtNameFilters(BuildDialogFilter(kRecordingsFilter)),
            QStringList({"録画データ (*.nts)", "すべてのファイル (*)"}));
  // Several patterns of one pair, and a description without patterns of its own.
  EXPECT_EQ(QtNameFilters(std::string("Video\0*.ts;*.nts\0\0", 18)), QStringList({"Video (*.ts *.nts)"}));
  EXPECT_TRUE(QtNameFilters(std::string()).isEmpty());
}

TEST(QtFileDialogs, AreSetUpAsTheWindowExpects) {
  const std::string filter = BuildDialogFilter(kRecordingsFilter);
  QFileDialog open;
  ConfigureFileDialog(open, filter, "", "", false);
  EXPECT_EQ(open.acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(open.fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(open.selectedNameFilter(), "録画データ (*.nts)");
  EXPECT_EQ(open.defaultSuffix(), "nts");

  TempDir dir;
  QFileDialog save;
  ConfigureFileDialog(save, filter, dir.path().string(), "番組A_0h01m00s-0h02m00s.nts", true);
  EXPECT_EQ(save.selectedFiles(), QStringList({QString::fromStdString((dir / "番組A_0h01m00s-0h02m00s.nts").string())}));
  EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(save.fileMode(), QFileDialog::AnyFile);
  EXPECT_FALSE(save.testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(save.selectedNameFilter(), "録画データ (*.nts)");
}

// Acts on the dialog once it is shown and waits for the user.
void WhenDialogShows(std::function<void(QFileDialog&)> act) {
  QTimer::singleShot(0, [act = std::move(act)] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    act(*dialog);
  });
}

TEST(QtFileDialogs, CancelGivesAnEmptyPath) {
  QWidget owner;
  QtFileDialogs dialogs(&owner);
  WhenDialogShows([&owner](QFileDialog& dialog) {
    EXPECT_EQ(dialog.parentWidget(), &owner);
    EXPECT_TRUE(dialog.isModal());
    dialog.reject();
  });
  EXPECT_EQ(dialogs.ShowFileDialog(BuildDialogFilter(kRecordingsFilter), "", "", true), "");
}

TEST(QtFileDialogs, SaveAppendsTheDefaultSuffixToATypedName) {
  TempDir dir;
  QtFileDialogs dialogs;
  WhenDialogShows([](QFileDialog& dialog) {
    dialog.selectFile("cut");
    static_cast<QDialog&>(dialog).accept();  // as the dialog's own button does
  });
  const std::string path = dialogs.ShowFileDialog(BuildDialogFilter(kRecordingsFilter), dir.path().string(), "", true);
  EXPECT_EQ(path, (dir / "cut.nts").string());
}

TEST(QtFileDialogs, OpenReturnsTheChosenExistingFile) {
  TempDir dir;
  testkit::WriteAll(dir / "録画.nts", {0x47});
  QtFileDialogs dialogs;
  WhenDialogShows([](QFileDialog& dialog) {
    dialog.selectFile("録画.nts");
    static_cast<QDialog&>(dialog).accept();  // as the dialog's own button does
  });
  const std::string path = dialogs.ShowFileDialog(BuildDialogFilter(kRecordingsFilter), dir.path().string(), "", false);
  EXPECT_EQ(path, (dir / "録画.nts").string());
}

class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void Catch(const QUrl& url) { urls << url; }
};

TEST(QtWebOpener, HandsTheAddressToTheDesktop) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("https", &catcher, "Catch");
  QDesktopServices::setUrlHandler("file", &catcher, "Catch");
  QtWebOpener web;
  web.Open("https://example.org/trimora/");
  web.Open("file:///opt/trimora/usage%20page.html");
  QDesktopServices::unsetUrlHandler("https");
  QDesktopServices::unsetUrlHandler("file");

  ASSERT_EQ(catcher.urls.size(), 2);
  EXPECT_EQ(catcher.urls[0], QUrl("https://example.org/trimora/"));
  EXPECT_EQ(catcher.urls[1].toLocalFile(), "/opt/trimora/usage page.html");
}

}  // namespace
}  // namespace trimora

#include "test_qt_platform.moc"
