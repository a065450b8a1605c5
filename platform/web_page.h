// The project's web page and the seam that opens it in the user's browser.
#pragma once

#include <string>

namespace trimora {

class WebOpener {
 public:
  virtual ~WebOpener() = default;
  virtual void Open(const std::string& address) = 0;  // failures are ignored
};

}  // namespace trimora
