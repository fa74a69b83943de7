# zlib, for reading gzip-compressed MGF. The Windows build links it
# statically, as it links everything: mspforge.exe needs no DLL beyond
# Windows' own. The web build leaves it out: the page
# decompresses with the browser's own DecompressionStream.
if(EMSCRIPTEN)
  set(mspforge_zlib_default OFF)
else()
  set(mspforge_zlib_default ON)
endif()
option(MSPFORGE_WITH_ZLIB "Read gzip-compressed MGF input (zlib)"
       ${mspforge_zlib_default})
if(NOT MSPFORGE_WITH_ZLIB)
  return()
endif()

if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64"
   AND NOT ZLIB_LIBRARY)
  # Debian's multiarch zlib1g-dev:arm64 puts the library beside the host's
  # and shares /usr/include/zlib.h; the two headers are copied so that the
  # cross build never searches the host's /usr/include. The library is
  # linked as Debian links it, shared (a copy inside the binary is what
  # lintian calls an embedded library).
  set(ZLIB_LIBRARY /usr/lib/aarch64-linux-gnu/libz.so)
  file(COPY /usr/include/zlib.h /usr/include/zconf.h
       DESTINATION ${CMAKE_BINARY_DIR}/zlib-include)
  set(ZLIB_INCLUDE_DIR ${CMAKE_BINARY_DIR}/zlib-include)
endif()
find_package(ZLIB REQUIRED)
target_link_libraries(mspforge_core PRIVATE ZLIB::ZLIB)
target_compile_definitions(mspforge_core PRIVATE MSPFORGE_HAVE_ZLIB=1)
