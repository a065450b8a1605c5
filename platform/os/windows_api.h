// The Windows API as the program includes it: without the min and max macros, which would break
// std::min and std::max, without the ReplaceFile macro, which would rename os::ReplaceFile where
// windows.h is seen and leave it undefined elsewhere, and without the parts of windows.h that it
// never uses.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#undef ReplaceFile
#endif
