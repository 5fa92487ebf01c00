# The icon: packaging/icons/coppertrowel.svg, drawn at build time into ${CMAKE_BINARY_DIR}/icons by rsvg-convert
# (librsvg2-bin): PNG sizes for the desktop's icon theme, and for Windows the .ico the executable carries
# (cmake/WindowsResources.cmake), which icotool (icoutils) packs from the PNGs of its sizes, the largest kept as a
# PNG inside. Everything is drawn by the default target, so an install finds it.
include(GNUInstallDirs)

set(COPPERTROWEL_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/icons/coppertrowel.svg)
set(COPPERTROWEL_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
find_program(COPPERTROWEL_RSVG_CONVERT rsvg-convert)
if(WIN32)
    # Nothing on Windows reads the PNG files but icotool.
    set(_icon_sizes 16 20 24 32 40 48 64 256)
    find_program(COPPERTROWEL_ICOTOOL icotool)
    if(NOT COPPERTROWEL_RSVG_CONVERT OR NOT COPPERTROWEL_ICOTOOL)
        message(FATAL_ERROR "The Windows program carries its icon, drawn at build time by rsvg-convert and icotool, "
                            "which were not both found (Debian and Ubuntu: packages librsvg2-bin and icoutils)")
    endif()
else()
    set(_icon_sizes 16 24 32 48 64 128 256)
    if(NOT COPPERTROWEL_RSVG_CONVERT)
        message(STATUS "rsvg-convert not found: only the scalable icon is installed, no PNG sizes")
    endif()
endif()

if(COPPERTROWEL_RSVG_CONVERT)
    file(MAKE_DIRECTORY ${COPPERTROWEL_ICON_DIR})
    set(_icon_pngs)
    foreach(_size IN LISTS _icon_sizes)
        set(_png ${COPPERTROWEL_ICON_DIR}/coppertrowel-${_size}.png)
        add_custom_command(
            OUTPUT ${_png}
            COMMAND ${COPPERTROWEL_RSVG_CONVERT} -w ${_size} -h ${_size} -o ${_png} ${COPPERTROWEL_ICON_SVG}
            DEPENDS ${COPPERTROWEL_ICON_SVG}
            COMMENT "Drawing the icon at ${_size} pixels"
            VERBATIM)
        list(APPEND _icon_pngs ${_png})
    endforeach()
    set(_icon_outputs ${_icon_pngs})
    if(WIN32)
        # The 256-pixel image goes in as a PNG (--raw), as Windows keeps its large icons; the smaller ones as
        # bitmaps, which every version of Windows reads.
        list(POP_BACK _icon_pngs _largest)
        set(_icon_outputs ${COPPERTROWEL_ICON_DIR}/coppertrowel.ico)
        add_custom_command(OUTPUT ${_icon_outputs}
                           COMMAND ${COPPERTROWEL_ICOTOOL} -c -o ${_icon_outputs} ${_icon_pngs} --raw=${_largest}
                           DEPENDS ${_icon_pngs} ${_largest}
                           COMMENT "Packing the Windows icon"
                           VERBATIM)
    endif()
    add_custom_target(coppertrowel_icons ALL DEPENDS ${_icon_outputs})
endif()

if(NOT WIN32)
    set(_icon_theme ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    install(FILES ${COPPERTROWEL_ICON_SVG} DESTINATION ${_icon_theme}/scalable/apps)
    if(COPPERTROWEL_RSVG_CONVERT)
        foreach(_size IN LISTS _icon_sizes)
            install(FILES ${COPPERTROWEL_ICON_DIR}/coppertrowel-${_size}.png
                    DESTINATION ${_icon_theme}/${_size}x${_size}/apps RENAME coppertrowel.png)
        endforeach()
    endif()
endif()
