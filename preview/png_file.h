// A picture written as a PNG file: the command line and the benchmark
// save pictures without a display.
#pragma once

#include <string>

#include "preview/cut_picture.h"

namespace trimora::preview {

// Writes `picture` to `path`, created or replaced, through a new file beside it that takes the
// path's place only once it is complete: a failure (a full disk, a stop) leaves whatever was at
// the path as it was. A file there that the user may not write is refused and kept. False when it
// cannot be encoded or written completely.
bool WritePng(const Picture& picture, const std::string& path);

}  // namespace trimora::preview
