# What an installation holds besides the three programs (desktop entry, icons, manual pages,
# the systemd user unit), and the Debian package `cpack -G DEB` makes of it.

set(VELMOR_DATA ${PROJECT_SOURCE_DIR}/data)

install(FILES ${VELMOR_DATA}/velmor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Bitmaps only, drawn from the 64-pixel icon: larger sizes would be blurred enlargements.
foreach(size 16x16 22x22 24x24 32x32 48x48 64x64)
  install(FILES ${VELMOR_DATA}/icons/${size}/velmor.png ${VELMOR_DATA}/icons/${size}/velmor-copied.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()

# The unit's ExecStart and the paths the manual pages name are those of the installation
# itself, which is only known when installing: /usr for the package (cpack), /usr/local for
# scripts/install-and-run.sh. So these files are filled in at install time.
set(VELMOR_USER_UNIT_SUBDIR lib/systemd/user)
set(VELMOR_FILLED_IN ${PROJECT_BINARY_DIR}/installed)
install(CODE "
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(VELMOR_INSTALL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(VELMOR_USER_UNIT_DIR \"\${CMAKE_INSTALL_PREFIX}/${VELMOR_USER_UNIT_SUBDIR}\")
  configure_file(\"${VELMOR_DATA}/velmor.service.in\" \"${VELMOR_FILLED_IN}/velmor.service\" @ONLY)
  file(INSTALL \"${VELMOR_FILLED_IN}/velmor.service\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${VELMOR_USER_UNIT_SUBDIR}\" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  foreach(page velmor velmor-bridge velmor-shortcuts)
    configure_file(\"${VELMOR_DATA}/man/\${page}.1.in\" \"${VELMOR_FILLED_IN}/\${page}.1\" @ONLY)
    execute_process(COMMAND gzip -9nf \"${VELMOR_FILLED_IN}/\${page}.1\" COMMAND_ERROR_IS_FATAL ANY)
    file(INSTALL \"${VELMOR_FILLED_IN}/\${page}.1.gz\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1\" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endforeach()
")

# The package: the programs in /usr/bin, its Depends the run-time packages alone (the
# libraries the programs link, as dpkg-shlibdeps finds them, and packaging/runtime-packages.txt).
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/runtime-packages.txt VELMOR_RUNTIME_PACKAGES REGEX "^[^#]")
list(JOIN VELMOR_RUNTIME_PACKAGES ", " VELMOR_RUNTIME_DEPENDS)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmor)
set(CPACK_PACKAGE_VENDOR Velmor)
set(CPACK_PACKAGE_CONTACT "Velmor developers <velmor@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MCP server that lets an AI agent operate this desktop")
set(CPACK_PACKAGE_DESCRIPTION "Velmor is a Model Context Protocol server for the Linux desktop (X11): an AI agent
lists its tools and calls them to control applications through the accessibility bus,
type and click, drive web pages, record flows and narrated demo videos. MCP clients reach
it through the stdio program velmor-bridge.")
# Installs with the package's own prefix (and DESTDIR for the staging folder), so that what
# is filled in at install time names /usr, not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VELMOR_RUNTIME_DEPENDS}")
include(CPack)
