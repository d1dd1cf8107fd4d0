# Cross-compiles for 64-bit Windows with mingw-w64 (posix thread model, which GoogleTest needs):
# the same sources as the 32-bit build, for testing under 64-bit Wine on machines whose
# kernel runs no 32-bit programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER  ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static runtime: the .exe and .ocx import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows programs built here run under 64-bit Wine, in the build folder's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR env QUELLIX_WINE_ARCH=win64 ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
