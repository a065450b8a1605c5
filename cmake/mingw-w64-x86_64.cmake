# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX thread model, for std::thread).
# The programs are linked statically, so they run without the compiler's runtime DLLs beside them;
# here they run under Wine through wine-run, which CMake uses for the tests and their discovery.
#
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DTRIMORA_WITH_QT=OFF -DTRIMORA_WITH_PREVIEW=OFF

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TRIMORA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TRIMORA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRIMORA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TRIMORA_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TRIMORA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Where GoogleTest's sources are, to build it for the target (Debian's googletest package).
set(TRIMORA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built for the target")

# Each build tree gets a Wine prefix of its own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run ${CMAKE_BINARY_DIR}/wineprefix)
