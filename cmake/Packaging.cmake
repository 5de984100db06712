# `make package` (cpack -G DEB in the build folder): sylvane_<version>_<arch>.deb, installed
# under /usr, its library dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sylvane)
set(CPACK_PACKAGE_VENDOR "Sylvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front end of a skin-resistance probe on a serial port")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Sylvane Interface developers <developers@sylvane.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Sylvane Interface reads a battery-powered skin-resistance probe over a serial
port, shows resistance, conductance and the change of resistance, and draws
the readings as a scrolling graph, a bar graph and colour lamps. Sessions are
recorded, saved with comments and compared. A probe simulator comes with it.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its display plugins at run time, so no library link names them; reading the probe
# needs the dialout group, which the base system creates.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)

# A stripped copy (`--strip`, the package) also loses the compiler's version notes, as Debian's
# own packages do.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    foreach(program sylvane sylvane-probe-sim)
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
    endforeach()
endif()")
