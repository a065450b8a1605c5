// The dialogs' filter format: description/pattern pairs separated by NULs, closed by two NULs.
#include "platform/file_dialog.h"

#include <algorithm>

namespace trimora {

std::string BuildDialogFilter(const std::string& filter) {
  std::string out = filter;
  std::replace(out.begin(), out.end(), '|', '\0');
  // A list written with a closing "|" already has one of the two NULs.
  const std::size_t have = (!out.empty() && out.back() == '\0') ? 1 : 0;
  out.append(2 - have, '\0');
  return out;
}

}  // namespace trimora
