# The Debian package (`make package`, CPack): tovel and tovel-cli, the manual page, the desktop
# entry and its icon, and the documents Debian asks of every package. Dependencies are read off
# what the installed binaries link (dpkg-shlibdeps).
include(GNUInstallDirs)

set(TOVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tovel)

# Debian wants manual pages and changelogs compressed, and reproducibly (no name or time inside).
set(TOVEL_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${TOVEL_PACKAGE_FILES})
function(tovel_gzip source target)
  add_custom_command(
    OUTPUT ${TOVEL_PACKAGE_FILES}/${target}
    COMMAND gzip -9n -c ${source} > ${TOVEL_PACKAGE_FILES}/${target}
    DEPENDS ${source}
    VERBATIM)
endfunction()
tovel_gzip(${PROJECT_SOURCE_DIR}/docs/tovel-cli.1 tovel-cli.1.gz)
tovel_gzip(${PROJECT_SOURCE_DIR}/docs/tovel.1 tovel.1.gz)
tovel_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog changelog.gz)
add_custom_target(tovel_package_files ALL
  DEPENDS ${TOVEL_PACKAGE_FILES}/tovel-cli.1.gz ${TOVEL_PACKAGE_FILES}/tovel.1.gz ${TOVEL_PACKAGE_FILES}/changelog.gz)

install(FILES ${TOVEL_PACKAGE_FILES}/tovel-cli.1.gz ${TOVEL_PACKAGE_FILES}/tovel.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TOVEL_PACKAGE_FILES}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${TOVEL_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "TOVEL developers <tovel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "clean and re-lay out scanned pages of vertical Japanese text")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "TOVEL takes scanned book pages set in vertical Japanese (columns read right\n"
  "to left, with ruby beside the characters), or books kept as PDF, CBZ or ZIP,\n"
  "and writes a cleaned, re-laid-out image of every sheet: noise and uneven\n"
  "lighting removed, pages straightened, every line put back on its group's\n"
  "character grid. It runs as a command, tovel-cli, and as a window, tovel.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
