// The program's search for breaks as the window's events take it: the scan library's result in
// the list's terms. The window model itself links no decoder.
#pragma once

#include <functional>
#include <stop_token>
#include <string>

#include "window/events/events.h"

namespace trimora {

FoundBreaks FindBreaks(const std::string& path, const std::stop_token& stop,
                       const std::function<void(int percent, const char* caption)>& progress);

}  // namespace trimora
