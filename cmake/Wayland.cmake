# SPDX-License-Identifier: GPL-3.0-or-later
# The Wayland backends: wlroots' virtual pointer and KWin's fake input, each on a connection of
# its own, and the layer-shell overlay that records over every output; their protocol code
# generated here by wayland-scanner. Without the Wayland client library or the protocol files
# the program is built with X11 alone.
find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT IMPORTED_TARGET wayland-client)
pkg_check_modules(WAYLAND_OVERLAY IMPORTED_TARGET wayland-cursor xkbcommon)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
find_program(WAYLAND_SCANNER wayland-scanner)
set(VARBELO_WLR_PROTOCOLS ${PROJECT_SOURCE_DIR}/third_party/wlr-protocols)
find_file(VARBELO_FAKE_INPUT_XML fake-input.xml PATHS /usr/share/plasma-wayland-protocols
          PATH_SUFFIXES plasma-wayland-protocols NO_CACHE)
set(xdg_output_xml ${WAYLAND_PROTOCOLS_DIR}/unstable/xdg-output/xdg-output-unstable-v1.xml)

# What is missing, for the summary at the end of configuring (cmake/Summary.cmake).
set(missing "")
if(NOT WAYLAND_CLIENT_FOUND)
    list(APPEND missing "wayland-client")
endif()
if(NOT WAYLAND_OVERLAY_FOUND)
    list(APPEND missing "wayland-cursor or xkbcommon")
endif()
if(NOT WAYLAND_SCANNER)
    list(APPEND missing "wayland-scanner")
endif()
if(NOT EXISTS "${xdg_output_xml}")
    list(APPEND missing "wayland-protocols")
endif()
if(NOT VARBELO_FAKE_INPUT_XML)
    list(APPEND missing "plasma-wayland-protocols")
endif()
if(missing)
    list(JOIN missing ", " VARBELO_WAYLAND_MISSING)
    set(VARBELO_HAVE_WAYLAND OFF)
    return()
endif()
set(VARBELO_HAVE_WAYLAND ON)

# The generated code as a library of its own: the tests' KWin key typer uses it too.
enable_language(C)
set(protocol_dir ${CMAKE_BINARY_DIR}/protocols)
file(MAKE_DIRECTORY ${protocol_dir})
add_library(varbelo_wayland_protocols STATIC)
target_include_directories(varbelo_wayland_protocols PUBLIC ${protocol_dir})
target_link_libraries(varbelo_wayland_protocols PUBLIC PkgConfig::WAYLAND_CLIENT)
function(varbelo_wayland_protocol xml name)
    add_custom_command(
        OUTPUT ${protocol_dir}/${name}-client-protocol.h ${protocol_dir}/${name}-protocol.c
        COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${protocol_dir}/${name}-client-protocol.h
        COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${protocol_dir}/${name}-protocol.c
        DEPENDS ${xml}
        VERBATIM)
    target_sources(varbelo_wayland_protocols PRIVATE
        ${protocol_dir}/${name}-client-protocol.h ${protocol_dir}/${name}-protocol.c)
endfunction()

varbelo_wayland_protocol(${VARBELO_WLR_PROTOCOLS}/wlr-virtual-pointer-unstable-v1.xml
                         wlr-virtual-pointer-unstable-v1)
varbelo_wayland_protocol(${VARBELO_WLR_PROTOCOLS}/wlr-layer-shell-unstable-v1.xml
                         wlr-layer-shell-unstable-v1)
# The layer shell's popups are xdg-shell's, so its code refers to that protocol's.
varbelo_wayland_protocol(${WAYLAND_PROTOCOLS_DIR}/stable/xdg-shell/xdg-shell.xml xdg-shell)
varbelo_wayland_protocol(${WAYLAND_PROTOCOLS_DIR}/stable/viewporter/viewporter.xml viewporter)
varbelo_wayland_protocol(${xdg_output_xml} xdg-output-unstable-v1)
varbelo_wayland_protocol(${VARBELO_FAKE_INPUT_XML} fake-input)

target_sources(varbelo_platform PRIVATE
    src/platform/waylandconnection.cpp src/platform/waylandconnection.h
    src/platform/outputlayout.cpp src/platform/outputlayout.h
    src/platform/layershelloverlay.cpp src/platform/layershelloverlay.h
    src/platform/wlrootsdesktopinput.cpp src/platform/wlrootsdesktopinput.h
    src/platform/kwindesktopinput.cpp src/platform/kwindesktopinput.h)
target_link_libraries(varbelo_platform PUBLIC Qt6::Core
    PRIVATE varbelo_wayland_protocols PkgConfig::WAYLAND_OVERLAY)
# Public: the capture layer puts the overlay up where the compositor has a layer shell.
target_compile_definitions(varbelo_platform PUBLIC VARBELO_HAVE_WAYLAND)
