// The program speaks Japanese whatever the user's locale: Qt's own dialogs and buttons too.
#pragma once

class QCoreApplication;

namespace trimora {

// Makes Japanese the default locale and installs Qt's Japanese translations (from Qt's
// translations folder) into app, so that the file dialogs, their buttons and their questions
// are Japanese. False when the translations are not installed: Qt's texts then stay English.
bool UseJapanese(QCoreApplication& app);

}  // namespace trimora
