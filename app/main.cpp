// Trimora, the desktop program: one window that cuts a time range out of a recording.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <string>
#include <vector>

#include "app/find_breaks.h"
#include "decodecheck/decoding.h"
#include "window/app_state.h"
#include "platform/qt/qt_choices.h"
#include "platform/qt/qt_file_dialogs.h"
#include "platform/qt/qt_language.h"
#include "platform/qt/qt_web_opener.h"
#include "platform/record_folder.h"
#include "window/events/events.h"
#include "window/model.h"
#include "window/qt/main_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("org.trimora.Trimora"));  // the installed desktop entry
  trimora::UseJapanese(app);
  QApplication::setFont(trimora::WindowFont());
  QApplication::setWindowIcon(trimora::TrimoraIcon());

  // The model and the view outlive the window: a procedure still running when the window closes
  // makes its last updates on the model, and the view no longer renders them.
  trimora::AppState state;
  trimora::WindowModel model;
  trimora::QtFileDialogs dialogs;
  trimora::QtWebOpener web;
  trimora::Platform platform{dialogs, web, trimora::ReadProcessEnvironment};
  platform.find_breaks = trimora::FindBreaks;
  platform.check_decoding = trimora::decodecheck::CheckDecoding;
  trimora::WindowEvents events(model, state, platform);
  // Whether the length is measured, the clean cut and the check after a save stay chosen, or not, from one run to the next.
  model.cTimeB.Value = model.cDataDetail.Value = trimora::LoadMeasureChoice() ? 1 : 0;
  for (trimora::CheckBox* box : {&model.cTimeB, &model.cDataDetail})
    box->Click = [&model, click = box->Click] {
      if (click) click();
      trimora::SaveMeasureChoice(model.cTimeB.Value == 1);
    };
  model.cPreviewClean.Value = trimora::LoadCleanCutChoice() ? 1 : 0;
  model.cPreviewClean.Click = [&model, click = model.cPreviewClean.Click] {
    if (click) click();
    trimora::SaveCleanCutChoice(model.cPreviewClean.Value == 1);
  };
  model.cVerify.Value = trimora::LoadVerifyChoice() ? 1 : 0;
  model.cVerify.Click = [&model, click = model.cVerify.Click] {
    if (click) click();
    trimora::SaveVerifyChoice(model.cVerify.Value == 1);
  };
  trimora::MainWindow window(model);
  dialogs.SetOwner(&window);
  platform.confirm = [&window](const std::string& question) { return trimora::AskYesNo(&window, question); };
  window.OnCloseRequest = [&events] { return events.CloseRequest(); };

  events.Load();
  window.Render();
  window.FitToScreen();
  window.show();
  // `trimora FILE`: the file is opened as if chosen in the open dialog, once the window is up.
  std::vector<std::string> paths;
  for (const QString& argument : QApplication::arguments().mid(1))
    paths.push_back(QDir::toNativeSeparators(QFileInfo(argument).absoluteFilePath()).toStdString());
  if (!paths.empty()) QTimer::singleShot(0, &window, [&window, paths] { window.Open(paths); });
  // The main loop ends once the window has closed and any procedure running then has returned.
  return QApplication::exec();
}
