# The Debian package: `cpack -G DEB` in the build folder, after a build.
# Dependencies come from the built programs through dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME qxsim)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "QxSim maintainers <maintainers@quorvanex.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PID control-loop simulator and OPC UA server")
set(CPACK_PACKAGE_DESCRIPTION
"QxSim simulates one PID control loop: a process with gain, dead time, lags
and lead or an integrating process, two disturbance paths driven by test
signals, a measurement chain with noise and filter, and a controller with 24
velocity-form equations. The window QxOPCServer shows the loop on live trends
and lets the operator retune it while it runs; qxsim runs the same loop
without a window for scripts, batch runs and serving. Both serve the loop's
values over OPC UA.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
# The package installs where the build was configured for, since the unit and
# the manual pages name the installed paths: configure it with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/package.sh does).
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.quorvanex.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Files and folders owned by root, 0644/0755, as Debian wants them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The help document opens in the desktop's PDF viewer, through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pdf-viewer, man-db")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/dist/postinst ${CMAKE_SOURCE_DIR}/dist/postrm)

include(CPack)
