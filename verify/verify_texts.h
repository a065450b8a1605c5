// The line a check after a save ends with, in the program's words: one place for each of them.
#pragma once

#include <string>

#include "verify/decode_check.h"
#include "verify/written_check.h"

namespace trimora::verify {

std::string VerifyLine(const WrittenCheckResult& result);
// The whole check's line: the bytes' when they are not as planned, else the decoding's.
std::string SavedCheckLine(const SavedCheck& checked);

}  // namespace trimora::verify
