#include "platform/qt/qt_web_opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace trimora {

void QtWebOpener::Open(const std::string& address) {
  // Nothing to report when no browser takes the page: the link simply does nothing.
  (void)QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(address)));
}

}  // namespace trimora
