# The Debian package: `cmake --build build --target package` (or `make
# package`) writes build/quarnel_VERSION_ARCH.deb from the install rules.
# Its run-time dependencies come from the binaries (dpkg-shlibdeps, in
# dpkg-dev), not from a list kept by hand.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarnel)
set(CPACK_PACKAGE_VENDOR "The Quarnel team")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Quarnel team <${QUARNEL_CONTACT}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "map tile downloader with a viewer and a combiner")
set(CPACK_PACKAGE_DESCRIPTION
    "Quarnel downloads the tiles of a web map that cover a rectangle of the earth
at a zoom level, with up to eight threads, into a folder per task. A stopped
or interrupted task resumes where it stopped, and tiles that failed can be
fetched again later.

The package holds the downloader window (quarnel), the same tasks without a
display (quarnel-cli), a viewer that shows a task's tiles on a map (glimmet),
and a combiner that turns finished tasks into a GeoTIFF, an MBTiles, PMTiles,
GeoPackage or sqlitedb tile set, an image with a world file or a tile folder
(stitchel).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quarnel_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUARNEL_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# xdg-open shows the user manual and the log; the desktop may have its own.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
