# SPDX-License-Identifier: GPL-3.0-or-later
# varbelo_configure_windows_resources(<dir> <rc_var> <embedded_var>)
#
# Writes varbelo.rc and the manifest it embeds into <dir>, filled in from the project's version
# and pointing at the .ico that the icons target renders. Sets <rc_var> to the .rc file and
# <embedded_var> to the files it pulls in, which whoever compiles it must depend on. The program
# and the wine test build this one file, so the test checks what ships.
function(varbelo_configure_windows_resources dir rc_var embedded_var)
    set(data ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../data/windows)

    # Windows wants four numbers: 1.0 becomes 1,0,0,0 and 1.0.0.0.
    string(REPLACE "." ";" numbers "${CMAKE_PROJECT_VERSION}")
    list(APPEND numbers 0 0 0)
    list(SUBLIST numbers 0 4 numbers)
    list(JOIN numbers "," VARBELO_VERSION_COMMAS)
    list(JOIN numbers "." VARBELO_VERSION_QUAD)
    set(VARBELO_VERSION ${CMAKE_PROJECT_VERSION})

    set(VARBELO_RC_ICON ${VARBELO_ICON_DIR}/varbelo.ico)
    set(VARBELO_RC_MANIFEST ${dir}/varbelo.manifest)
    configure_file(${data}/varbelo.manifest.in ${VARBELO_RC_MANIFEST} @ONLY)
    configure_file(${data}/varbelo.rc.in ${dir}/varbelo.rc @ONLY)

    set(${rc_var} ${dir}/varbelo.rc PARENT_SCOPE)
    set(${embedded_var} ${VARBELO_RC_ICON} ${VARBELO_RC_MANIFEST} PARENT_SCOPE)
endfunction()
