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
