// Opens the project's web page in the user's browser through the desktop's URL handling.
#pragma once

#include "platform/web_page.h"

namespace trimora {

class QtWebOpener : public WebOpener {
 public:
  void Open(const std::string& address) override;  // a failure to open is ignored
};

}  // namespace trimora
