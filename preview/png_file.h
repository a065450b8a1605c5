// A picture written as a PNG file: the command line and the benchmark
// save pictures without a display.
#pragma once

#include <string>

#include "preview/cut_picture.h"

namespace trimora::preview {

// Writes `picture` to `path` as os::WriteWholeFile writes a file: whatever was at the path stays
// as it was unless the whole picture took its place. False when it cannot be encoded or written.
bool WritePng(const Picture& picture, const std::string& path);

}  // namespace trimora::preview
