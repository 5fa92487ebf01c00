# What `cmake --install` puts where. Every destination is relative to the prefix, so the packages can move the
# whole tree, and nothing installed names the build tree.
include(GNUInstallDirs)

if(WIN32)
    # A Windows user's install is the program alone, at the top of the prefix, as .exe and as .scr. The README
    # and the copyright go only into the Windows zip, which asks for their component by name
    # (packaging/windows-zip.cmake).
    install(TARGETS coppertrowel RUNTIME DESTINATION .)
    # The same program as a screen saver: Windows lists and starts any .scr in its system folders, or the one a
    # user installs from Explorer's menu, with the screen saver's command line. A copy of the installed .exe, so
    # that it is whatever the install made of the program (the packages strip it).
    install(CODE [[
        set(_installed "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
        message(STATUS "Installing: ${_installed}/coppertrowel.scr")
        file(COPY_FILE "${_installed}/coppertrowel.exe" "${_installed}/coppertrowel.scr")
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_installed}/coppertrowel.scr")
    ]])
    install(FILES README.md DESTINATION . COMPONENT Documentation EXCLUDE_FROM_ALL)
    install(FILES packaging/copyright DESTINATION . RENAME copyright.txt
            COMPONENT Documentation EXCLUDE_FROM_ALL)
    return()
endif()

install(TARGETS coppertrowel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The manual page and the changelog are installed compressed, as Debian expects them. gzip -n leaves the name
# and the time out of the header, so the same sources give the same bytes.
configure_file(packaging/linux/coppertrowel.6.in coppertrowel.6 @ONLY)
set(_compressed ${CMAKE_CURRENT_BINARY_DIR}/coppertrowel.6.gz ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${_compressed}
                   COMMAND gzip -9n -c ${CMAKE_CURRENT_BINARY_DIR}/coppertrowel.6 > coppertrowel.6.gz
                   COMMAND gzip -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/packaging/linux/changelog > changelog.gz
                   DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/coppertrowel.6 packaging/linux/changelog)
add_custom_target(coppertrowel_compressed_docs ALL DEPENDS ${_compressed})

install(FILES ${CMAKE_CURRENT_BINARY_DIR}/coppertrowel.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES packaging/linux/coppertrowel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Where xscreensaver's settings read a hack's name and description.
install(FILES packaging/linux/coppertrowel.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
install(FILES README.md packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
