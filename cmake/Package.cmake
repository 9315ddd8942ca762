# What `cmake --install` puts where, and the Debian package CPack makes of it (scripts/package).
# The program and the cluster front end (scripts/slurm-convert as quillex-slurm) in bin/; the
# manual, man pages, copyright, changelog, menu entry, icon and AppStream data under share/.
include(GNUInstallDirs)
set(QX_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/cmake/debian)

# Debian wants manual pages and the changelog compressed at the highest level, with no name or
# time in the header, so that two builds of one source give the same bytes.
find_program(GZIP gzip REQUIRED)
function(qx_gzipped source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND sh -c "\"$1\" -9nc \"$2\" > \"$3\"" sh ${GZIP} ${source} ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()
qx_gzipped(${PROJECT_SOURCE_DIR}/docs/quillex.1 ${CMAKE_BINARY_DIR}/quillex.1.gz)
qx_gzipped(${PROJECT_SOURCE_DIR}/docs/quillex-slurm.1 ${CMAKE_BINARY_DIR}/quillex-slurm.1.gz)
qx_gzipped(${QX_DEBIAN_DIR}/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_target(quillex_compressed_docs ALL
  DEPENDS ${CMAKE_BINARY_DIR}/quillex.1.gz ${CMAKE_BINARY_DIR}/quillex-slurm.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)

# A package whose newest changelog entry names another version would tell its user the wrong
# story: the build stops instead.
file(STRINGS ${QX_DEBIAN_DIR}/changelog QX_CHANGELOG_TOP LIMIT_COUNT 1)
string(FIND "${QX_CHANGELOG_TOP}" "quillex (${PROJECT_VERSION}) " QX_CHANGELOG_AT)
if(NOT QX_CHANGELOG_AT EQUAL 0)
  message(FATAL_ERROR "cmake/debian/changelog begins with \"${QX_CHANGELOG_TOP}\", not version ${PROJECT_VERSION}")
endif()

install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/slurm-convert DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME quillex-slurm)
install(FILES ${CMAKE_BINARY_DIR}/quillex.1.gz ${CMAKE_BINARY_DIR}/quillex-slurm.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QX_DEBIAN_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${QX_DEBIAN_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quillex)
# The doc folder also tells an installed program from a portable copy (see platform/UserPlaces.h),
# so it is never empty, even when the office could not make the manual.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillex")
set(CPACK_PACKAGE_CONTACT "${QX_SUPPORT_MAIL}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillex Support <${QX_SUPPORT_MAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Convert Word documents to plain text files in batches")
# Lines of at most 80 characters: CPack puts each after a blank in the control file.
set(CPACK_PACKAGE_DESCRIPTION
    "Quillex Converter turns word-processor documents (.doc, .docx, .docm) into
plain-text files, a whole folder tree at a time, with LibreOffice Writer. It
runs in a window or from the command line without one, and on a Slurm cluster
as the shards of one array job (quillex-slurm).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QX_WEB_SITE}")
# The libraries the program links come from dpkg-shlibdeps, each package once, at cpack time
# (PackageDepends.cmake.in); the office it drives and the window platform plugins Qt loads are
# named here, since nothing links them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libreoffice-writer, qt6-qpa-plugins, adduser")
configure_file(${CMAKE_CURRENT_LIST_DIR}/PackageDepends.cmake.in ${CMAKE_BINARY_DIR}/PackageDepends.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/PackageDepends.cmake)
# The postinst makes the system account a root run's offices run as (OfficeUser).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# quillex-slurm submits through Slurm's client commands; the program needs none of it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "slurm-client")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
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
