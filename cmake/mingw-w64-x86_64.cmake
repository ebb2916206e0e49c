# Cross-building for 64-bit Windows with Debian's MinGW-w64 (posix threads, as C++ threads need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZELTO_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZELTO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELTO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELTO_MINGW}-windres)
set(CMAKE_AR ${ZELTO_MINGW}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZELTO_MINGW}-ranlib CACHE FILEPATH "")

# The SDK (Qt and the libraries built for Windows) comes first; host programs stay the host's.
if(DEFINED ENV{ZELTO_SDK_WINDOWS})
  set(ZELTO_SDK_WINDOWS $ENV{ZELTO_SDK_WINDOWS})
else()
  set(ZELTO_SDK_WINDOWS $ENV{HOME}/.cache/zelto/sdk-windows)
endif()
set(CMAKE_FIND_ROOT_PATH ${ZELTO_SDK_WINDOWS} ${ZELTO_SDK_WINDOWS}/qt /usr/${ZELTO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg-config answers for the SDK's libraries (zstd), never the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${ZELTO_SDK_WINDOWS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(CMAKE_PREFIX_PATH ${ZELTO_SDK_WINDOWS}/qt ${ZELTO_SDK_WINDOWS})
