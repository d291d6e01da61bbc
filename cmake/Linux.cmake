# SPDX-License-Identifier: GPL-3.0-or-later
# Installation as a desktop program, and the Debian package made from it.
include(GNUInstallDirs)

set(VARBELO_APP_ID org.varbelo.Varbelo)

# Qt's project set-up gives installed programs an $ORIGIN search path for bundled libraries;
# this one uses the system's, or those it was linked against where they lie elsewhere.
set_target_properties(varbelo PROPERTIES INSTALL_RPATH "" INSTALL_RPATH_USE_LINK_PATH ON)
install(TARGETS varbelo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# KWin grants its fake input only to a program whose desktop entry names the program's absolute
# path, so Exec= is written at install time, when the prefix is final (cpack installs anew).
install(CODE "
    file(READ [[${PROJECT_SOURCE_DIR}/data/linux/${VARBELO_APP_ID}.desktop]] entry)
    string(REGEX REPLACE \"\nExec=varbelo\" \"\nExec=\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/varbelo\"
           entry \"\${entry}\")
    set(path \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
    message(STATUS \"Installing: \${path}/${VARBELO_APP_ID}.desktop\")
    file(WRITE \"\${path}/${VARBELO_APP_ID}.desktop\" \"\${entry}\")
")
configure_file(data/linux/${VARBELO_APP_ID}.metainfo.xml
               ${CMAKE_BINARY_DIR}/${VARBELO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${VARBELO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES data/linux/varbelo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
foreach(size IN LISTS VARBELO_ICON_SIZES)
    install(FILES ${VARBELO_ICON_DIR}/varbelo-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${VARBELO_APP_ID}.png)
endforeach()

# `make package`: a .deb whose dependencies dpkg-shlibdeps reads from the binary. Packing takes
# the build as it is (`make package` builds first) rather than rebuilding every test helper.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varbelo)
set(CPACK_PACKAGE_VENDOR "Varbelo")
set(CPACK_PACKAGE_CONTACT "Varbelo developers <varbelo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "replay pointer positions with left-button clicks")
set(CPACK_PACKAGE_DESCRIPTION
    "Varbelo replays a script of mouse-pointer positions with left-button presses and\n"
    "releases: record the spots with Space or Shift, set Down and Up per step, set a loop\n"
    "count and press Execute. Esc stops a run from anywhere on the desktop.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Metric twins of Arial, the font the window is laid out for, so that no caption is cut off;
# Qt's wayland platform, which the window runs on where the compositor clicks for it (a plugin,
# so no library dependency names it).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, qt6-wayland")
include(CPack)
