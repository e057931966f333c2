# Installed layout (GNU directories) and the Debian package made from it by CPack.
include(GNUInstallDirs)

# The window's X11 class and Wayland app id are the program name, so the desktop
# entry and the icon carry it too and docks match the window to them.
set(VORK_APP_ID Brivella_Utility)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/${VORK_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${VORK_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(VORK_PACKAGE_MAINTAINER "Vork Utility maintainers <maintainers@vork.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME vork-utility)
set(CPACK_PACKAGE_VENDOR "Vork Utility")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Technician's tool for Vork units")
set(CPACK_PACKAGE_DESCRIPTION
    "Brivella Utility finds Vork units by UDP broadcast or listed addresses and\n"
    "reads and writes their setup records, shows live monitor data and history,\n"
    "flashes firmware and runs network tools. The package also holds vork, the\n"
    "command-line tool on the same core, and vork-sim, a simulator of Vork units\n"
    "for tests, demos and training.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_CONTACT "${VORK_PACKAGE_MAINTAINER}")
# Debian installs under /usr; the icon and desktop caches are refreshed by dpkg triggers.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build keeps its debug information; the package does not need it.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VORK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps turns the linked libraries (Qt 6 and the rest) into Depends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
