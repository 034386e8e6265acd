# The Debian package of the program, made by `cpack` in a build directory: everything that
# `cmake --install` puts below /usr, the systemd user service in /usr/lib/systemd/user and
# the copyright file and Debian changelog in /usr/share/doc/kavriwebcam among it, with the
# program stripped. dpkg-shlibdeps (package dpkg-dev) works out the libraries it depends on
# from the program's own links: Qt 6 (whose libqt6gui6 brings the xcb and offscreen platform
# plugins on Debian 12), libjpeg-turbo, libcurl, libssh2, FreeType, fontconfig, libv4l2 and
# libv4lconvert, and FFmpeg's libavcodec (which brings x264), libavformat, libavutil and
# libswscale for the time-lapse. The overlay text asks fontconfig for Tahoma, which on
# Debian is answered with DejaVu Sans, so that font comes along too. Qt's Wayland platform plugin (qt6-wayland)
# is loaded, not linked, and needed only on a Wayland desktop without XWayland, so it is
# recommended. scripts/check-package holds the package to lintian.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kavriwebcam)
set(CPACK_PACKAGE_VENDOR "kavriWebCam")
set(CPACK_PACKAGE_CONTACT "the kavriWebCam developers <kavriwebcam@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small webcam grabber with date stamp and FTP upload")
# Debian shows the lines of the long description as they are: each within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "kavriWebCam shows a camera's live preview in a small borderless,
always-on-top window. While it runs it grabs a still frame every few
seconds, stamps the date and time and a text of yours on it, saves it as
a JPEG file and uploads it over FTP, FTPS or SFTP on a connection it
keeps open. It works with V4L2 cameras, has a built-in test picture for
machines without one, and runs headless as a service where there is no
display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The package's version is that of the newest entry in its changelog, which must be for
# this version of the program.
file(STRINGS ${PROJECT_SOURCE_DIR}/dist/changelog.Debian kavri_newest_entry LIMIT_COUNT 1)
if(NOT kavri_newest_entry MATCHES "^kavriwebcam \\(([^-]+)-([^)]+)\\) "
   OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "dist/changelog.Debian: the newest entry, \"${kavri_newest_entry}\", "
                        "is not for kavriwebcam ${PROJECT_VERSION}-<revision>")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_2})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, qt6-wayland")

include(CPack)
