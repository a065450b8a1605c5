#include "platform/qt/qt_choices.h"

#include <QSettings>

namespace trimora {

namespace {

constexpr const char* kCleanCutKey = "preview/cleanCut";
constexpr const char* kMeasureKey = "analysis/measure";
constexpr const char* kVerifyKey = "save/verify";

bool Load(const char* key) {
  const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Trimora", "Trimora");
  return settings.value(key, false).toBool();
}

void Save(const char* key, bool value) {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Trimora", "Trimora");
  settings.setValue(key, value);
}

}  // namespace

bool LoadCleanCutChoice() { return Load(kCleanCutKey); }
void SaveCleanCutChoice(bool clean) { Save(kCleanCutKey, clean); }
bool LoadMeasureChoice() { return Load(kMeasureKey); }
void SaveMeasureChoice(bool measure) { Save(kMeasureKey, measure); }
bool LoadVerifyChoice() { return Load(kVerifyKey); }
void SaveVerifyChoice(bool verify) { Save(kVerifyKey, verify); }

}  // namespace trimora
