# The Debian package webquorrel_<version>_amd64.deb, built by packaging/debian/package.sh with
# `cpack -G DEB` from a tree configured with the prefix /usr. Its contents are the install rules
# (cmake/install.cmake) plus the changelog and lintian overrides Debian expects.
set(debian ${PROJECT_SOURCE_DIR}/packaging/debian)

# Debian wants a changelog in every package's doc directory, compressed; these two files go into
# the package only (package.sh turns this on), not into a plain `cmake --install`.
option(WEBQUORREL_DEBIAN_FILES "Install the Debian changelog and lintian overrides" OFF)
if(WEBQUORREL_DEBIAN_FILES)
  find_program(GZIP gzip REQUIRED)
  string(TIMESTAMP WEBQUORREL_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${debian}/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
  execute_process(COMMAND ${GZIP} -9nf ${PROJECT_BINARY_DIR}/debian/changelog)
  install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/webquorrel)
  install(FILES ${debian}/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME webquorrel)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME webquorrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "webQuorrel developers <dev@webquorrel.invalid>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://webquorrel.invalid/")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies from dpkg-shlibdeps (libc, libstdc++, SQLite, unixODBC, libmicrohttpd); the ODBC drivers that
# reach a shared register are the site's choice.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tdsodbc, odbc-postgresql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${debian}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "register of which workstations are online in which module")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "webQuorrel keeps the shared register of a multi-user host application: which
workstations are online and which module each one works in, stored in the
application's SQL database (SQL Server, PostgreSQL through ODBC, or an
embedded SQLite file).

This package installs the webquorrel command, which runs the presence update
and lets administrators list, count, prune and repair presence records or
watch them on a read-only web page with their history and Prometheus
metrics; systemd units that keep a machine registered
(webquorrel-agent@MODULE.service), expire stale records
(webquorrel-prune.timer) and record who is online every minute
(webquorrel-sample.timer), none enabled on installation; and
WebQuorrel.so, the COM-shaped plug-in that Linux hosts load.")
include(CPack)
