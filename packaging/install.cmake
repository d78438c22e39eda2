# What `cmake --install` (and `make install`) puts under the prefix: the two
# programs, the reader header with a CMake package and a pkg-config file for
# it, the manual pages and the documentation. The Debian package
# (packaging/deb.cmake) holds the same files.
include(CMakePackageConfigHelpers)

# The reader is one header: its CMake package and .pc file are the same on
# every architecture, so they go under share/ rather than a multiarch lib/.
set(GLYPHMINT_CMAKE_PACKAGE_DIR share/cmake/glyphmint)

# Anything an install creates is readable by everyone, whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS glyphmint glyphmint-font RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/include/glyphmint/fnt.h DESTINATION include/glyphmint)
install(FILES ${PROJECT_SOURCE_DIR}/man/glyphmint.1 ${PROJECT_SOURCE_DIR}/man/glyphmint-font.1
        DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/glyphmint)
install(FILES ${PROJECT_SOURCE_DIR}/examples/fonts/DejaVuSans.glyphmint.ini
              ${PROJECT_SOURCE_DIR}/examples/fonts/DejaVuSans-SDF.glyphmint.ini
        DESTINATION share/doc/glyphmint/examples)

# find_package(glyphmint CONFIG) gives glyphmint::fnt. The generated files find
# the prefix from their own location, so an installed tree can be moved (or
# used from under DESTDIR) as it is.
set_target_properties(glyphmint_fnt PROPERTIES EXPORT_NAME fnt)
install(TARGETS glyphmint_fnt EXPORT glyphmint-targets)
install(EXPORT glyphmint-targets NAMESPACE glyphmint:: FILE glyphmint-targets.cmake
        DESTINATION ${GLYPHMINT_CMAKE_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/glyphmint-config.cmake.in
                              ${PROJECT_BINARY_DIR}/glyphmint-config.cmake
                              INSTALL_DESTINATION ${GLYPHMINT_CMAKE_PACKAGE_DIR})
# Below 1.0 a minor version may break the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/glyphmint-config-version.cmake
                                 COMPATIBILITY SameMinorVersion ARCH_INDEPENDENT)
install(FILES ${PROJECT_BINARY_DIR}/glyphmint-config.cmake
              ${PROJECT_BINARY_DIR}/glyphmint-config-version.cmake
        DESTINATION ${GLYPHMINT_CMAKE_PACKAGE_DIR})

# The .pc file, like the CMake package, finds the prefix from its own place
# (share/pkgconfig), so a staged or moved tree needs only PKG_CONFIG_PATH.
configure_file(${CMAKE_CURRENT_LIST_DIR}/glyphmint.pc.in ${PROJECT_BINARY_DIR}/glyphmint.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/glyphmint.pc DESTINATION share/pkgconfig)
