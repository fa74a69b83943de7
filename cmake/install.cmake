# Installation, the CMake package for other C++ projects, and the Debian
# package (cpack -G DEB).
include(CMakePackageConfigHelpers)

install(TARGETS mspforge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/mspforge.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(TARGETS mspforge_core EXPORT mspforgeTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/mspforge/mspforge.h include/mspforge/read_integer.h
              include/mspforge/record_types.h include/mspforge/streams.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mspforge)
install(EXPORT mspforgeTargets NAMESPACE mspforge::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mspforge)
configure_package_config_file(cmake/mspforgeConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/mspforgeConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mspforge)
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/mspforgeConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mspforgeConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/mspforgeConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mspforge)

set(CPACK_PACKAGE_NAME mspforge)
set(CPACK_PACKAGE_VENDOR "mspforge developers")
set(CPACK_PACKAGE_CONTACT "mspforge developers <maintainers@mspforge.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert MGF peak lists into MSP spectral-library text")
set(CPACK_PACKAGE_DESCRIPTION
    "mspforge converts tandem mass spectra in MGF (Mascot Generic Format)\n\
into MSP spectral-library text, as read by NIST-style library search\n\
tools, MS-DIAL and metabolomics pipelines. It renames MGF keys to MSP\n\
keys, derives adducts from compound names and charges, and converts\n\
files of any size in one pass and constant memory. The package also\n\
holds the C++ library and its CMake package (find_package(mspforge)).")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
