# The Debian package: `cpack -G DEB` in the build directory packs what the
# install rules install, under /usr, with dependencies read off the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plexorama)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "plexorama maintainers <maintainers@plexorama.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer of surfaces in four or more dimensions")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Shows surfaces whose vertices have four or more coordinates, read from
KLEIN files: three coordinates as x, y and z, a fourth hidden, turned
into view with a smooth quarter-turn. Held keys and the scroll wheel
turn the view. Comes with sample surfaces, the file type and a
thumbnailer for file managers.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Python programs need Python 3 and numpy, and the labels DejaVu Sans,
# which no binary links, so they are named here; the binaries' own are added
# to them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= 3.9), python3-numpy, fonts-dejavu-core")
# Recording video pipes frames to ffmpeg; everything else runs without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ffmpeg)
# The package's picture() draws under xvfb-run on a machine without a display.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS xvfb)
set(CPACK_STRIP_FILES ON)
include(CPack)
