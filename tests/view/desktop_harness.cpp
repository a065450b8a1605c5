#include "tests/view/desktop_harness.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <fstream>
#include <stdexcept>

#include "platform/record_folder.h"

namespace trimora::testkit {

std::string ScriptedDialogs::ShowFileDialog(const std::string&, const std::string&, const std::string&, bool save) {
  saves.push_back(save);
  if (answers.empty()) return {};
  std::string answer = answers.front();
  answers.erase(answers.begin());
  return answer;
}

namespace {

void WriteRecorderIni(const EnvironmentReader& env, const std::filesystem::path& folder) {
  const std::filesystem::path ini = RecorderIniPath(env);
  std::filesystem::create_directories(ini.parent_path());
  std::ofstream(ini) << "[Record]\r\nPath=" << folder.string() << "\r\n";
}

}  // namespace

Desktop::Desktop(const std::filesystem::path& folder)
    : platform{dialogs, web,
               [this](const std::string& name, std::string& value) {
                 if (name != "USERPROFILE") return false;
                 value = profile_.path().string();
                 return true;
               }},
      events(m, st, platform),
      view(m) {
  WriteRecorderIni(platform.getenv, folder);
  view.OnCloseRequest = [this] { return events.CloseRequest(); };
  events.Load();
  view.Render();
  view.show();
  QApplication::setActiveWindow(&view);
}

QString Desktop::Text(const std::string& label) const { return Widget<QLabel>(label)->text(); }

void Desktop::Click(const std::string& name, int index) {
  auto* button = Widget<QAbstractButton>(name, index);
  if (!button) throw std::invalid_argument("no button " + name);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

void Desktop::ClickListEntry(const std::string& entry) {
  auto* list = Widget<QListWidget>("lFile");
  const QList<QListWidgetItem*> found = list->findItems(QString::fromStdString(entry), Qt::MatchExactly);
  if (found.size() != 1) throw std::invalid_argument("no list entry " + entry);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
}

void Desktop::Type(const std::string& box, int index, const QString& text) {
  auto* edit = Widget<QLineEdit>(box, index);
  edit->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(edit, text);
}

void Desktop::CloseWhen(std::function<bool()> condition) {
  std::function<void()> render = m.ProcessEvents;
  m.ProcessEvents = [this, render, condition] {
    if (!close_requested_ && condition()) {
      close_requested_ = true;
      QMetaObject::invokeMethod(&view, &QWidget::close, Qt::QueuedConnection);
    }
    render();
  };
}

}  // namespace trimora::testkit
