# The icon: packaging/icons/coppertrowel.svg, drawn at build time by render_icons.py (Python 3, standard library
# only) into ${CMAKE_BINARY_DIR}/icons: PNG sizes for the desktop's icon theme, and for Windows the .ico the
# executable carries (cmake/WindowsResources.cmake). Everything is drawn by the default target, so an install
# finds it.
include(GNUInstallDirs)

set(COPPERTROWEL_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/icons/coppertrowel.svg)
set(COPPERTROWEL_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(COPPERTROWEL_ICON_PNG_SIZES 16 24 32 48 64 128 256)
set(COPPERTROWEL_ICON_ICO_SIZES 16 20 24 32 40 48 64 256)

find_package(Python3 3.6 COMPONENTS Interpreter)
if(NOT Python3_Interpreter_FOUND)
    if(WIN32)
        message(FATAL_ERROR "The Windows program carries its icon, drawn at build time by Python 3, which was not "
                            "found (Debian and Ubuntu: package python3; MSYS2: mingw-w64-ucrt-x86_64-python)")
    endif()
    message(STATUS "Python 3 not found: only the scalable icon is installed, no PNG sizes")
else()
    set(_icon_outputs)
    if(WIN32)
        # Nothing on Windows reads the PNG files.
        set(_icon_arguments --ico ${COPPERTROWEL_ICON_ICO_SIZES})
        list(APPEND _icon_outputs ${COPPERTROWEL_ICON_DIR}/coppertrowel.ico)
    else()
        set(_icon_arguments --png ${COPPERTROWEL_ICON_PNG_SIZES})
        foreach(_size IN LISTS COPPERTROWEL_ICON_PNG_SIZES)
            list(APPEND _icon_outputs ${COPPERTROWEL_ICON_DIR}/coppertrowel-${_size}.png)
        endforeach()
    endif()
    add_custom_command(
        OUTPUT ${_icon_outputs}
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/icons/render_icons.py ${COPPERTROWEL_ICON_SVG}
                ${COPPERTROWEL_ICON_DIR} ${_icon_arguments}
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/icons/render_icons.py ${COPPERTROWEL_ICON_SVG}
        COMMENT "Drawing the icons"
        VERBATIM)
    add_custom_target(coppertrowel_icons ALL DEPENDS ${_icon_outputs})
endif()

if(NOT WIN32)
    set(_icon_theme ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    install(FILES ${COPPERTROWEL_ICON_SVG} DESTINATION ${_icon_theme}/scalable/apps)
    if(Python3_Interpreter_FOUND)
        foreach(_size IN LISTS COPPERTROWEL_ICON_PNG_SIZES)
            install(FILES ${COPPERTROWEL_ICON_DIR}/coppertrowel-${_size}.png
                    DESTINATION ${_icon_theme}/${_size}x${_size}/apps RENAME coppertrowel.png)
        endforeach()
    endif()
endif()
