#include "platform/qt/qt_file_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace trimora {

namespace {

// "*.*" is how Windows says "every file"; on other systems it would skip names without a dot.
QString QtPatterns(const QString& patterns) {
  QStringList result;
  for (QString pattern : patterns.split(u';', Qt::SkipEmptyParts)) {
    pattern = pattern.trimmed();
    result << (pattern == "*.*" ? QStringLiteral("*") : pattern);
  }
  return result.join(u' ');
}

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
  // Qt reads a filter's patterns from its last parentheses, so the description's own pattern
  // text gives way to the converted one.
  static const QRegularExpression trailing_patterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
  const QStringList parts = QString::fromStdString(filter).split(QChar(u'\0'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;  // the list ends with an empty entry
    QString description = parts[i];
    description.remove(trailing_patterns);
    filters << description + " (" + QtPatterns(parts[i + 1]) + ")";
  }
  return filters;
}

void ConfigureFileDialog(QFileDialog& dialog, const std::string& filter, const std::string& initialDir,
                         const std::string& fileName, bool save) {
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  const QStringList filters = QtNameFilters(filter);
  dialog.setNameFilters(filters);
  if (!filters.isEmpty()) dialog.selectNameFilter(filters.first());
  dialog.setDefaultSuffix(QStringLiteral("nts"));
  if (!initialDir.empty()) dialog.setDirectory(QString::fromStdString(initialDir));
  if (!fileName.empty()) dialog.selectFile(QString::fromStdString(fileName));
}

std::string QtFileDialogs::ShowFileDialog(const std::string& filter, const std::string& initialDir,
                                          const std::string& fileName, bool save) {
  QFileDialog dialog(owner_);
  ConfigureFileDialog(dialog, filter, initialDir, fileName, save);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? std::string() : chosen.first().toStdString();
}

bool AskYesNo(QWidget* owner, const std::string& question) {
  return QMessageBox::question(owner, owner ? owner->windowTitle() : QString(), QString::fromStdString(question),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace trimora
