# The Debian package, built by CPack (`make deb`): the install rules'
# files under /usr, in the forms Debian's policy asks for (see deb-stage.cmake).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glyphmint)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Install through DESTDIR, so the staged tree is laid out as the package
# installs it, under /usr.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends comes from the libraries that the programs load (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(GLYPHMINT_MAINTAINER "glyphmint maintainers <maintainers@glyphmint.example>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${GLYPHMINT_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bitmap font atlas baker, with a reader for games")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
glyphmint reads *.glyphmint.ini settings files in a fonts directory and, for
each pixel size they list, rasterises the requested characters with FreeType,
packs them into one 8-bit greyscale PNG atlas and writes a small binary .fnt
file that says where each glyph lies and how it sits on a line.

glyphmint-font checks a baked font, draws text with it, exports it in the
AngelCode BMFont forms and lists the settings lines for the characters that a
font has.

The package also holds glyphmint/fnt.h, a single-header C99 and C++ reader of
the .fnt files, with a CMake package (glyphmint::fnt) and a pkg-config file.")

# Read by deb-stage.cmake, which runs inside CPack.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb-stage.cmake)
set(CPACK_GLYPHMINT_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_GLYPHMINT_VERSION ${PROJECT_VERSION})

include(CPack)
