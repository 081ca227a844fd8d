# The Debian package: `cpack -G DEB` in the build folder (scripts/package).
set(CPACK_PACKAGE_NAME zorvex)
set(CPACK_PACKAGE_VENDOR "Zorvex")
set(CPACK_PACKAGE_CONTACT "Zorvex <support@zorvex.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "share and convert videos for the Zorvex VR phone player")
set(CPACK_PACKAGE_DESCRIPTION
    "Zorvex助手 is the PC companion of the Zorvex VR video player. Phones on the\n\
same network find the PC by a broadcast, list the shared videos and stream\n\
them with their thumbnails. Videos are converted for phones with FFmpeg in a\n\
queue that survives restarts. It runs in one window with a tray icon, or\n\
without a window as a systemd user service.")
set(CPACK_PACKAGE_FILE_NAME "zorvex_${PROJECT_VERSION}_amd64")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${ZORVEX_PACKAGE_PREFIX})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zorvex.invalid/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# FFmpeg is run as a program, MediaInfo and libcurl (for update checks) are
# opened at run time, the skin's font is asked for by name and Qt's Chinese
# catalogues are read from their folder: none of them shows in the linked
# libraries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "ffmpeg, fonts-wqy-microhei, libcurl3-gnutls, libmediainfo0v5, qt6-translations-l10n")
# pkexec runs the firewall's helper after the user's consent.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd, xdg-utils, pkexec")
# ufw's profile lies in /etc, so dpkg keeps a user's changes to it; the
# control files get their usual modes whatever the checkout's are.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Files installed under /usr/share/doc etc. get the usual permissions.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
