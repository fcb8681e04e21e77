# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the posix thread model, which
# std::thread and std::mutex need): g++-mingw-w64-x86-64-posix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RV740X_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${RV740X_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RV740X_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RV740X_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw tree (and any prefix the caller adds, such as the
# Qt built for Windows); programs run at build time come from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${RV740X_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
