# What `cmake --install` puts where, and the Debian package CPack makes of it (scripts/package).
# The program alone in bin/; its manual, man page, menu entry, icon and AppStream data under share/.
include(GNUInstallDirs)
install(FILES ${PROJECT_SOURCE_DIR}/docs/quillex.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The doc folder also tells an installed program from a portable copy (see platform/UserPlaces.h),
# so it is never empty, even when the office could not make the manual.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillex")
set(CPACK_PACKAGE_CONTACT "${QX_SUPPORT_MAIL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Convert Word documents to plain text files in batches")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillex Converter turns word-processor documents (.doc, .docx, .docm) into plain-text files,\
 a whole folder tree at a time, with LibreOffice Writer. It runs in a window or from the\
 command line without one.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QX_WEB_SITE}")
# The libraries the program links come from dpkg-shlibdeps; the office it drives and the window
# platform plugins Qt loads are named here, since nothing links them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libreoffice-writer, qt6-qpa-plugins")
find_program(DPKG dpkg)
if(DPKG)
  execute_process(COMMAND ${DPKG} --print-architecture OUTPUT_VARIABLE QX_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
  set(QX_DEB_ARCH amd64)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${QX_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME "quillex_${PROJECT_VERSION}_${QX_DEB_ARCH}.deb")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
include(CPack)
