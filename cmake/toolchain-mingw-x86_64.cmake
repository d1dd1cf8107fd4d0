# Cross-compiles for 64-bit Windows with mingw-w64: the same sources as the 32-bit build, for
# testing under 64-bit Wine on machines whose kernel runs no 32-bit program.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-i686.cmake)

# Windows programs built here run under 64-bit Wine, in the build folder's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR env QUELLIX_WINE_ARCH=win64 ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
