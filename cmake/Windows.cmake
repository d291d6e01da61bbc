# SPDX-License-Identifier: GPL-3.0-or-later
# Windows: the icon, version information and manifest built into varbelo.exe, and an install
# that copies the Qt libraries and plugins beside it.

include(${CMAKE_CURRENT_LIST_DIR}/WindowsResources.cmake)
varbelo_configure_windows_resources(${CMAKE_CURRENT_BINARY_DIR}/resources rc embedded)
target_sources(varbelo PRIVATE ${rc})
# The .ico is rendered at build time, so the resources compile again when it or the manifest
# changes.
set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${embedded}")
add_dependencies(varbelo icons)
if(MSVC)
    # The manifest comes from the .rc; a second one from the linker would clash with it.
    target_link_options(varbelo PRIVATE /MANIFEST:NO)
endif()

# A standalone varbelo.exe made on Linux against the static Qt that tools/windows/build-qt.sh
# builds (make windows): stripped, and packed with its notices into a zip to hand out.
if(MINGW AND CMAKE_HOST_UNIX)
    # No time stamp in the PE headers, so that a build of the same source gives the same bytes
    # (tests/windows/rebuild.sh); the checksum then follows the contents alone.
    target_link_options(varbelo PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>
        -Wl,--no-insert-timestamp)
    get_target_property(qt_core_type Qt6::Core TYPE)
    if(NOT qt_core_type STREQUAL STATIC_LIBRARY)
        message(WARNING "Qt is not a static build: varbelo.exe will need Qt's DLLs beside it")
    endif()
    # The program sets the Fusion style, which is built into Qt Widgets: no style plugin.
    qt_import_plugins(varbelo EXCLUDE_BY_TYPE styles)
    get_filename_component(qt_prefix ${Qt6_DIR}/../../.. ABSOLUTE)
    set(zip ${CMAKE_BINARY_DIR}/varbelo-${PROJECT_VERSION}-windows-x64.zip)
    # Packed at every build, in seconds: its files are dated by the last commit, which no file
    # dependency follows.
    add_custom_target(windows_zip ALL
        COMMAND bash ${PROJECT_SOURCE_DIR}/tools/windows/package.sh $<TARGET_FILE:varbelo>
                ${qt_prefix} ${zip}
        BYPRODUCTS ${zip}
        COMMENT "Packing varbelo.exe and its notices into ${zip}"
        VERBATIM)
    add_dependencies(windows_zip varbelo)
endif()

include(GNUInstallDirs)
install(TARGETS varbelo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# windeployqt, run at install time, copies the Qt DLLs and plugins into the install folder, with
# the MinGW runtime DLLs or, for an MSVC release build, the Visual C++ redistributable's
# installer. Qt 6.5 renamed the option that returns the script.
if(Qt6_VERSION VERSION_GREATER_EQUAL 6.5)
    set(script_option OUTPUT_SCRIPT)
else()
    set(script_option FILENAME_VARIABLE)
endif()
qt_generate_deploy_app_script(TARGET varbelo ${script_option} deploy_script
    NO_UNSUPPORTED_PLATFORM_ERROR)
install(SCRIPT ${deploy_script})
