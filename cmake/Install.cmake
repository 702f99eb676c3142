# What `cmake --install` puts where, and the .deb package built from it.
#
# An installed copy keeps its data in <prefix>/share/quarlo (read-only) and
# the user's files below $XDG_CONFIG_HOME (see src/common/ConfigLocation).
# Files that name the installed program (desktop entry, D-Bus service) are
# written at install time, so `--prefix` and the package's /usr are honoured.
include(GNUInstallDirs)

set(QUARLO_APP_ID com.vantorel.Quarlo)
set(QUARLO_INSTALL_STAGING ${CMAKE_BINARY_DIR}/install-staging)

install(TARGETS quarlo quarlo-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Default configuration, help pages and the sample list.
install(FILES data/quarlo.cfg data/Sample.BlackList data/public_suffix_list.dat DESTINATION ${CMAKE_INSTALL_DATADIR}/quarlo)
install(DIRECTORY data/Help DESTINATION ${CMAKE_INSTALL_DATADIR}/quarlo)

# Desktop integration.
install(FILES data/mime/${QUARLO_APP_ID}.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES resources/quarlo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${QUARLO_APP_ID}.svg)
install(DIRECTORY data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons FILES_MATCHING PATTERN "*.png")
configure_file(data/${QUARLO_APP_ID}.metainfo.xml ${QUARLO_INSTALL_STAGING}/${QUARLO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${QUARLO_INSTALL_STAGING}/${QUARLO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES docs/man/quarlo.1 docs/man/quarlo-check.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES data/completion/quarlo-check DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(QUARLO_DBUS_TEMPLATE ${CMAKE_SOURCE_DIR}/data/dbus/${QUARLO_APP_ID}.service.in)

# Both name the program by its absolute installed path (D-Bus requires it;
# ~/.local/bin need not be on PATH), known only when installing.
set(QUARLO_BIN_SUBDIR ${CMAKE_INSTALL_BINDIR})
set(QUARLO_DESKTOP_TEMPLATE ${CMAKE_SOURCE_DIR}/data/${QUARLO_APP_ID}.desktop.in)
# Their copies are staged in a folder of each destination's own: an install
# into a prefix and a package built at the same time (as the tests do) would
# otherwise write the same file with different paths in it.
set(QUARLO_STAGE_CODE "
  string(MD5 QUARLO_STAGE_KEY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(QUARLO_STAGE \"${QUARLO_INSTALL_STAGING}/\${QUARLO_STAGE_KEY}\")")
install(CODE "${QUARLO_STAGE_CODE}
  set(QUARLO_EXEC \"\${CMAKE_INSTALL_PREFIX}/${QUARLO_BIN_SUBDIR}/quarlo\")
  configure_file(\"${QUARLO_DESKTOP_TEMPLATE}\" \"\${QUARLO_STAGE}/${QUARLO_APP_ID}.desktop\" @ONLY)
  configure_file(\"${QUARLO_DBUS_TEMPLATE}\" \"\${QUARLO_STAGE}/${QUARLO_APP_ID}.service\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\" TYPE FILE
       FILES \"\${QUARLO_STAGE}/${QUARLO_APP_ID}.desktop\")
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/dbus-1/services\" TYPE FILE
       FILES \"\${QUARLO_STAGE}/${QUARLO_APP_ID}.service\")
")

# Scheduled watching: systemd user units (see README, "Watching lists"); the
# service names the installed quarlo-check by its absolute path, known only
# when installing. $XDG_DATA_DIRS/systemd/user and ~/.local/share/systemd/user
# are both on the user manager's search path.
install(CODE "${QUARLO_STAGE_CODE}
  set(QUARLO_CHECK_EXEC \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quarlo-check\")
  configure_file(\"${CMAKE_SOURCE_DIR}/data/systemd/quarlo-watch@.service.in\" \"\${QUARLO_STAGE}/quarlo-watch@.service\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/systemd/user\" TYPE FILE
       FILES \"\${QUARLO_STAGE}/quarlo-watch@.service\")
  # The service (--serve): a user unit, and a system unit for a throw-away user.
  configure_file(\"${CMAKE_SOURCE_DIR}/data/systemd/quarlo-serve.service.in\" \"\${QUARLO_STAGE}/quarlo-serve.service\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/systemd/user\" TYPE FILE
       FILES \"\${QUARLO_STAGE}/quarlo-serve.service\")
  configure_file(\"${CMAKE_SOURCE_DIR}/data/systemd/quarlo-serve-system.service.in\" \"\${QUARLO_STAGE}/system/quarlo-serve.service\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" TYPE FILE
       FILES \"\${QUARLO_STAGE}/system/quarlo-serve.service\")
")
# The monitoring kit: a Grafana dashboard and Prometheus alert rules.
install(FILES data/monitoring/quarlo-dashboard.json data/monitoring/quarlo-alerts.yml data/monitoring/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quarlo/monitoring)
install(FILES data/systemd/quarlo-watch@.timer DESTINATION ${CMAKE_INSTALL_DATADIR}/systemd/user)

# A direct install (not staged for a package, whose triggers do this) brings
# the desktop's caches up to date when their tools are there.
install(CODE "
  if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
    set(share \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")
    find_program(QUARLO_UPDATE_MIME update-mime-database)
    find_program(QUARLO_UPDATE_DESKTOP update-desktop-database)
    if(QUARLO_UPDATE_MIME)
      execute_process(COMMAND \"\${QUARLO_UPDATE_MIME}\" \"\${share}/mime\" RESULT_VARIABLE ignored)
    endif()
    if(QUARLO_UPDATE_DESKTOP)
      execute_process(COMMAND \"\${QUARLO_UPDATE_DESKTOP}\" \"\${share}/applications\" RESULT_VARIABLE ignored)
    endif()
  endif()
")

# The .deb: `cpack -G DEB` in the build directory.
set(CPACK_PACKAGE_NAME quarlo)
set(CPACK_PACKAGE_VENDOR Vantorel)
set(CPACK_PACKAGE_CONTACT "Vantorel <quarlo@vantorel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DNS blacklist checker (desktop program and command-line scanner)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# Debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
# The runtime packages come from what the programs link (dpkg-shlibdeps,
# from dpkg-dev), so a library added to the build cannot be missed. What they
# load at run time needs no hand-written entry on Debian 12: the xcb and
# offscreen platform plugins, the image formats and the xcb GL integrations
# ship in libqt6gui6, the print plugin in libqt6printsupport6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The system's suffix list is newer than the copy we ship.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "publicsuffix")
# --mail-to runs the system's sendmail.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "default-mta | mail-transport-agent")
set(CPACK_GENERATOR DEB)
include(CPack)
