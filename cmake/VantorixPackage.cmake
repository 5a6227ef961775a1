# The Debian package, made by CPack from what cmake --install places under
# /usr (see VantorixInstall.cmake): scripts/package builds it.
#
#   cd BUILD && cpack -G DEB      ->  vantorix_VERSION_ARCH.deb
#
# The libraries the executable links (Qt and the C++ runtime) come into
# "Depends" through dpkg-shlibdeps; what the program only starts or loads at
# run time is named here: the engine (ffmpeg) and the GStreamer plugins the
# preview plays through.

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "vantorix")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch video converter")
set(CPACK_PACKAGE_DESCRIPTION "Converts video files one after another with ffmpeg, from a window or
from a terminal (vantorix --batch), with profiles for the common formats,
per-file names and trims, and a preview of each file.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vantorix developers <vantorix@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "video")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "ffmpeg, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-libav")
# Qt's own translations of its standard dialogs, loaded when present.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
