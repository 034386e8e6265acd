# The Debian package of the program, made by `cpack` in a build directory: everything that
# `cmake --install` puts below /usr, the systemd user service in /usr/lib/systemd/user
# among it. dpkg-shlibdeps (package dpkg-dev) works out the
# libraries it depends on from the program's own links: Qt 6 (whose libqt6gui6 brings the
# xcb and offscreen platform plugins on Debian 12), libjpeg-turbo, libcurl, FreeType,
# fontconfig, libv4l2 and libv4lconvert. The overlay text asks fontconfig for Tahoma, which
# on Debian is answered with DejaVu Sans, so that font comes along too. Qt's Wayland
# platform plugin (qt6-wayland) is loaded, not linked, and needed only on a Wayland desktop
# without XWayland, so it is recommended.
set(KAVRI_PACKAGE_MAINTAINER "kavriWebCam maintainers <maintainers@users.noreply.c-seed-a46e834f.example>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kavriwebcam)
set(CPACK_PACKAGE_VENDOR "kavriWebCam")
set(CPACK_PACKAGE_CONTACT "${KAVRI_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small webcam grabber with date stamp and FTP upload")
set(CPACK_PACKAGE_DESCRIPTION
    "kavriWebCam shows a camera's live preview in a small borderless, always-on-top window.
While it runs it grabs a still frame every few seconds, stamps the date and time and a
text of yours on it, saves it as a JPEG file and uploads it to an FTP server over a
connection it keeps open. It works with V4L2 cameras, has a built-in test picture for
machines without one, and runs headless as a service where there is no display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KAVRI_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, qt6-wayland")

include(CPack)
