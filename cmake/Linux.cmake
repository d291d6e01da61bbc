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
# Compressed as Debian policy asks; -n leaves out the name and time, so builds are reproducible.
find_program(GZIP gzip REQUIRED)
foreach(doc IN ITEMS varbelo.1 changelog)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${doc}.gz
        COMMAND ${GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/data/linux/${doc} > ${CMAKE_BINARY_DIR}/${doc}.gz
        DEPENDS data/linux/${doc}
        VERBATIM)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/varbelo.1.gz
                  ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/varbelo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The package's own documents: Debian's changelog (a native package's) and the licence terms.
set(VARBELO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/varbelo)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz data/linux/copyright DESTINATION ${VARBELO_DOC_DIR})
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
# Lines of at most 80 characters, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "Varbelo replays a script of mouse-pointer positions with left-button\n"
    "presses and releases: record the spots with Space or Shift, set Down and Up\n"
    "per step, set a loop count and press Execute. Esc stops a run from anywhere\n"
    "on the desktop.")
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
