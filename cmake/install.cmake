# What `cmake --install` puts where (GNUInstallDirs; the Debian package uses the prefix /usr):
# the command, the COM-shaped shared object as a plug-in in a directory of its own, the systemd
# units, an example settings file under /etc, the man page, the bash completion and the docs.
include(GNUInstallDirs)

install(TARGETS webquorrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A plug-in that hosts dlopen by path (see the registry file), not a library to link against.
install(TARGETS WebQuorrel LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/webquorrel)

# The units start /usr/bin/webquorrel and read /etc/webquorrel/webquorrel.env; under another
# prefix they name the installed command and settings file.
set(WEBQUORREL_UNIT_DIR lib/systemd/system CACHE STRING "Where the systemd units go")
foreach(unit webquorrel-agent@.service webquorrel-prune.service webquorrel-prune.timer
             webquorrel-serve.service webquorrel-sample.service webquorrel-sample.timer)
  file(READ ${PROJECT_SOURCE_DIR}/contrib/${unit} text)
  string(REPLACE "/usr/bin/webquorrel" "${CMAKE_INSTALL_FULL_BINDIR}/webquorrel" text "${text}")
  string(REPLACE "/etc/webquorrel/" "${CMAKE_INSTALL_FULL_SYSCONFDIR}/webquorrel/" text "${text}")
  file(WRITE ${PROJECT_BINARY_DIR}/units/${unit} "${text}")
  install(FILES ${PROJECT_BINARY_DIR}/units/${unit} DESTINATION ${WEBQUORREL_UNIT_DIR})
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/contrib/webquorrel-agent@.service
             ${PROJECT_SOURCE_DIR}/contrib/webquorrel-prune.service
             ${PROJECT_SOURCE_DIR}/contrib/webquorrel-prune.timer
             ${PROJECT_SOURCE_DIR}/contrib/webquorrel-serve.service
             ${PROJECT_SOURCE_DIR}/contrib/webquorrel-sample.service
             ${PROJECT_SOURCE_DIR}/contrib/webquorrel-sample.timer)

# Comments only; it may come to hold a database password, hence root-only reading.
install(FILES contrib/webquorrel.env DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/webquorrel
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ)

install(FILES ${WEBQUORREL_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES contrib/webquorrel.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME webquorrel)
# The users' README (the repository's own README is for developers).
install(FILES packaging/debian/README.md packaging/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/webquorrel)
