# The packages CPack makes from the install rules (scripts/package.sh runs it): on Linux a Debian package and
# a tarball of the same tree; a Windows build's own configuration is what the zip of both Windows programs
# starts from (packaging/windows-zip.cmake). The name and the version come from project().
set(CPACK_PACKAGE_VENDOR "the coppertrowel developers")
set(CPACK_PACKAGE_CONTACT "coppertrowel maintainers <maintainers@users.noreply.c-seed-d83e7d17.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen demo of two shaded red balls over a green field")
# The Debian control file takes these lines as they are: each under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "coppertrowel covers the whole screen with one green colour. Two red, shaded,
antialiased balls with soft drop shadows float over it, pull together when far
apart and push apart when close, and bounce off the edges of the screen. The
distance between them and the sum of their speeds are shown at the top left.
Every frame is drawn in software from tables computed at start-up.

A left click anywhere ends it.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-windows)
else()
    set(CPACK_GENERATOR DEB TGZ)
    set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
    # name_version_architecture.deb
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION games)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The run-time dependencies are the libraries the stripped program links, as dpkg-shlibdeps finds them.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
