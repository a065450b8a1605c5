// The line a check after a save ends with, in the program's words: one place for each of them.
#pragma once

#include <string>

#include "verify/written_check.h"

namespace trimora::verify {

std::string VerifyLine(const WrittenCheckResult& result);

}  // namespace trimora::verify
