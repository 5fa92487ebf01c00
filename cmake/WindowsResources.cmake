# The Windows program's resources, compiled into coppertrowel.exe by the MinGW resource compiler: the icon
# (cmake/Icons.cmake draws it), the version information, the application manifest, which makes the program
# DPI aware before it starts, and the screen saver's settings dialog. packaging/windows/ holds the templates; the version comes from project().
if(NOT WIN32)
    return()
endif()
enable_language(RC)

set(_resource_dir ${CMAKE_BINARY_DIR}/windows)
set(COPPERTROWEL_ICO ${COPPERTROWEL_ICON_DIR}/coppertrowel.ico)
set(COPPERTROWEL_MANIFEST ${_resource_dir}/coppertrowel.manifest)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/coppertrowel.manifest.in ${COPPERTROWEL_MANIFEST} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/coppertrowel.rc.in ${_resource_dir}/coppertrowel.rc @ONLY)

target_sources(coppertrowel PRIVATE ${_resource_dir}/coppertrowel.rc
                                    ${PROJECT_SOURCE_DIR}/packaging/windows/settings.rc)
# The resource compiler reads both files; neither is a source CMake would otherwise know to wait for.
set_source_files_properties(${_resource_dir}/coppertrowel.rc
                            PROPERTIES OBJECT_DEPENDS "${COPPERTROWEL_ICO};${COPPERTROWEL_MANIFEST}")
add_dependencies(coppertrowel coppertrowel_icons)
