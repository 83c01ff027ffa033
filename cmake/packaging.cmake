# The Debian package: `make package` (or `cpack -G DEB` in the build tree) after the build.
# Its dependencies come from the libraries the programs link (dpkg-shlibdeps), so a package
# built on Debian 12 asks for exactly the Qt and OpenSSL packages it was linked against.

set(QUENBY_PACKAGE_NAME "quenby-tools")
set(QUENBY_PACKAGE_MAINTAINER "Quenby tools maintainers <maintainers@quenby.example>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "${QUENBY_PACKAGE_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Quenby")
set(CPACK_PACKAGE_CONTACT "${QUENBY_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial port test terminal and port monitor")
# The summary is the synopsis; this is the extended description, lines of 80 columns at most.
set(CPACK_PACKAGE_DESCRIPTION
    "halvo2 is a multi-port test terminal for serial devices and TCP/TLS
client ports, each in its own window, with test patterns, statistics,
logging and every driver setting.
seltra2 is a port monitor that polls the serial drivers for per-port
counters and shows rates, errors, carrier runs and throughput in a
table, with sessions and reports. The driver service portcountd, which
serves those counters, starts at login as a systemd user service.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUENBY_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "comm")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

# What the package holds, so that `make package` builds only that and not the tests.
add_custom_target(package_contents)
add_dependencies(package_contents halvo2 seltra2 portcountd desktop_documents)
