# Installation, the CMake package for other C++ projects, and the packages
# for users: Debian packages (cpack -G DEB) on Linux, a zip on Windows.
include(CMakePackageConfigHelpers)

# The documentation that the README links to, shipped beside it.
set(MSPFORGE_DOCS docs/conversion-rules.md docs/guarantees.md
    docs/performance.md docs/development.md)

set(MSPFORGE_MAINTAINER_EMAIL mspforge@packages.invalid)
set(CPACK_PACKAGE_CONTACT "mspforge developers <${MSPFORGE_MAINTAINER_EMAIL}>")

if(WIN32)
  # The zip: mspforge.exe, the README, the licence and the manual as plain
  # text, all at its top level.
  install(TARGETS mspforge RUNTIME DESTINATION . COMPONENT runtime)
  install(FILES README.md DESTINATION . COMPONENT runtime)
  install(FILES ${MSPFORGE_DOCS} DESTINATION docs COMPONENT runtime)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT runtime)
  find_program(MSPFORGE_GROFF groff)
  if(MSPFORGE_GROFF)
    add_custom_command(
      OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/mspforge-manual.txt
      COMMAND ${MSPFORGE_GROFF} -t -man -Tascii -P-cbou
              ${CMAKE_CURRENT_SOURCE_DIR}/man/mspforge.1
              > ${CMAKE_CURRENT_BINARY_DIR}/mspforge-manual.txt
      DEPENDS man/mspforge.1
      VERBATIM)
    add_custom_target(manual_text ALL
      DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/mspforge-manual.txt)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mspforge-manual.txt
            DESTINATION . COMPONENT runtime)
  else()
    install(FILES man/mspforge.1 DESTINATION . COMPONENT runtime)
  endif()

  set(CPACK_PACKAGE_NAME mspforge)
  set(CPACK_PACKAGE_FILE_NAME "mspforge-${PROJECT_VERSION}-windows-x86_64")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
  include(CPack)
  return()
endif()

# The command, its manual page (compressed, as Debian keeps them) and its
# documentation.
install(TARGETS mspforge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT runtime)
find_program(MSPFORGE_GZIP gzip)
if(MSPFORGE_GZIP)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/mspforge.1.gz
    COMMAND ${MSPFORGE_GZIP} -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/man/mspforge.1
            > ${CMAKE_CURRENT_BINARY_DIR}/mspforge.1.gz
    DEPENDS man/mspforge.1
    VERBATIM)
  add_custom_target(manual_page ALL
                    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/mspforge.1.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mspforge.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
else()
  install(FILES man/mspforge.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT runtime)
endif()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(FILES ${MSPFORGE_DOCS} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
        COMPONENT runtime)

# Debian's copyright file (machine-readable format) and changelog, in the
# documentation of each package.
configure_file(cmake/debian/copyright.in
               ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright @ONLY)
configure_file(cmake/debian/changelog.in
               ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
if(MSPFORGE_GZIP)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
    COMMAND ${MSPFORGE_GZIP} -9n -c ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
            > ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
    VERBATIM)
  add_custom_target(debian_changelog ALL
                    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
endif()
set(MSPFORGE_COMPONENTS runtime development)
if(MSPFORGE_PYTHON_PACKAGE)
  list(APPEND MSPFORGE_COMPONENTS python)
endif()
foreach(component ${MSPFORGE_COMPONENTS})
  if(component STREQUAL runtime)
    set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/mspforge)
  elseif(component STREQUAL development)
    set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/libmspforge-dev)
  else()
    set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/python3-mspforge)
  endif()
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright
          DESTINATION ${docdir} COMPONENT ${component})
  if(MSPFORGE_GZIP)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
            DESTINATION ${docdir} COMPONENT ${component})
  endif()
endforeach()

# The library, its headers and its CMake package, for C++ projects.
install(TARGETS mspforge_core EXPORT mspforgeTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES include/mspforge/mspforge.h include/mspforge/read_integer.h
              include/mspforge/record_types.h include/mspforge/streams.h
              include/mspforge/field_map.h include/mspforge/key_prefix.h
              include/mspforge/peak_lines.h
              include/mspforge/text_arena.h include/mspforge/tally.h
              include/mspforge/translation.h
              ${CMAKE_CURRENT_BINARY_DIR}/include/mspforge/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mspforge
        COMPONENT development)
install(EXPORT mspforgeTargets NAMESPACE mspforge::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mspforge
        COMPONENT development)
configure_package_config_file(cmake/mspforgeConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/mspforgeConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mspforge)
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/mspforgeConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mspforgeConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/mspforgeConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mspforge
        COMPONENT development)

# Debian packages, as Debian splits a program from its library: mspforge
# (the command), libmspforge-dev (headers, static library, CMake package)
# and, where the build has Debian's Python and pybind11, python3-mspforge
# (the Python package, see python/CMakeLists.txt).
set(CPACK_PACKAGE_NAME mspforge)
set(CPACK_PACKAGE_VENDOR "mspforge developers")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${MSPFORGE_COMPONENTS})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME mspforge)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libmspforge-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
if(MSPFORGE_WITH_ZLIB)
  # The static library needs zlib to link.
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "zlib1g-dev")
endif()
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "convert MGF peak lists into MSP spectral-library text
mspforge converts tandem mass spectra in MGF (Mascot Generic Format)
into MSP spectral-library text, as read by NIST-style library search
tools, MS-DIAL and metabolomics pipelines. It renames MGF keys to MSP
keys, derives adducts from compound names and charges, and converts
files of any size in one pass and constant memory.")
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-mspforge)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# The module is built for one Python version, as Debian's own are.
if(MSPFORGE_PYTHON_PACKAGE)
  string(REGEX REPLACE "^3\\.([0-9]+)$" "\\1" python_minor ${MSPFORGE_PYTHON_VERSION})
  math(EXPR python_next "${python_minor} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= 3.${python_minor}), python3 (<< 3.${python_next}), python3-numpy")
endif()
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
    "MGF peak lists to MSP spectral-library text, for Python
The mspforge conversion as a Python module: convert() and convert_bytes()
give the command's MSP bytes, Converter converts MGF that arrives in
pieces, and read_mgf() gives the records of an MGF file as Python objects
with their peaks as NumPy arrays, read ahead on a thread in constant
memory.")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "C++ library for converting MGF peak lists into MSP text
The static library behind the mspforge command, its headers and its
CMake package (find_package(mspforge)): read MGF records, translate their
fields to MSP and write MSP records, one record at a time, or convert
whole files or buffers in one call.")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()
if(CMAKE_CROSSCOMPILING)
  # dpkg-shlibdeps needs the target's libraries in the package database;
  # a cross build names the runtime libraries it links against instead.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
      "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12), zlib1g (>= 1:1.2.0)")
else()
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_GENERATOR DEB)
include(CPack)
