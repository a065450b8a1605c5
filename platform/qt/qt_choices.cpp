#include "platform/qt/qt_choices.h"

#include <QSettings>

namespace trimora {

namespace {

constexpr const char* kCleanCutKey = "preview/cleanCut";

}  // namespace

bool LoadCleanCutChoice() {
  const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Trimora", "Trimora");
  return settings.value(kCleanCutKey, false).toBool();
}

void SaveCleanCutChoice(bool clean) {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Trimora", "Trimora");
  settings.setValue(kCleanCutKey, clean);
}

}  // namespace trimora
