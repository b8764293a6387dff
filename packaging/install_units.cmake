# Installs the systemd user units with the reader's path under the prefix of
# this installation. The package's /usr puts them where systemd looks for a
# distribution's units; any other prefix (~/.local) under share/. file(INSTALL)
# adds DESTDIR itself.
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
    set(unitdir "/usr/lib/systemd/user")
else()
    set(unitdir "${prefix}/${TARVEX_DATADIR}/systemd/user")
endif()
set(CMAKE_INSTALL_FULL_BINDIR "${prefix}/${TARVEX_BINDIR}")
configure_file("${TARVEX_UNITS_SOURCE}/tarvex-read.service.in"
               "${TARVEX_UNITS_BINARY}/tarvex-read.service" @ONLY)
file(INSTALL DESTINATION "${unitdir}" TYPE FILE
     FILES "${TARVEX_UNITS_BINARY}/tarvex-read.service" "${TARVEX_UNITS_SOURCE}/tarvex-read.timer")
