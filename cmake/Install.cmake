# What `cmake --install` puts where, in the platform's layout (GNUInstallDirs):
#   bin/                      the two programs, nothing else
#   lib/qxsim/                qxsim's heat-map module (in the platform's
#                             libdir), found from bin/ by its relative path
#   share/qxsim/              the starting case and the help document: the
#                             installed programs' "executable's folder"
#   share/applications/, share/metainfo/, share/mime/packages/,
#   share/icons/hicolor/      the desktop entry, its metainfo, the case-file
#                             type and the application icon
#   share/man/man1/           qxsim(1), QxOPCServer(1)
#   share/doc/qxsim/          copyright, changelog, README
#   lib/systemd/system/       the serving unit qxsim-serve@.service
include(GNUInstallDirs)

set(QX_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/qxsim)
set(QX_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/qxsim)
set(QX_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING
    "Folder of the systemd units, relative to the prefix or absolute")
if(IS_ABSOLUTE ${QX_SYSTEMD_UNIT_DIR})
  set(QX_SYSTEMD_UNIT_FULL_DIR ${QX_SYSTEMD_UNIT_DIR})
else()
  set(QX_SYSTEMD_UNIT_FULL_DIR ${CMAKE_INSTALL_PREFIX}/${QX_SYSTEMD_UNIT_DIR})
endif()

# The installed programs find their data folder relative to themselves, so a
# prefix that is moved as a whole keeps working.
file(RELATIVE_PATH QX_DATA_FROM_BINDIR ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/qxsim)
target_compile_definitions(qx_persistence PRIVATE QX_INSTALLED_DATA_FOLDER="${QX_DATA_FROM_BINDIR}")

set(QX_DIST ${CMAKE_SOURCE_DIR}/dist)
set(QX_DIST_BUILD ${CMAKE_BINARY_DIR}/dist)

# --- Programs and their data ---
install(TARGETS qxsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS qx_heatmap LIBRARY DESTINATION ${QX_HEATMAP_INSTALL_DIR})
install(FILES ${CMAKE_BINARY_DIR}/bin/TravekEX2.pid DESTINATION ${QX_INSTALL_DATADIR})
if(TARGET QxOPCServer)
  install(TARGETS QxOPCServer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES "${CMAKE_BINARY_DIR}/bin/QxOPCServer Help.pdf" DESTINATION ${QX_INSTALL_DATADIR})

  # --- Desktop integration of the window ---
  configure_file(${QX_DIST}/${QX_DESKTOP_ID}.metainfo.xml.in
                 ${QX_DIST_BUILD}/${QX_DESKTOP_ID}.metainfo.xml @ONLY)
  install(FILES ${QX_DIST}/${QX_DESKTOP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${QX_DIST_BUILD}/${QX_DESKTOP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${QX_DIST}/qxsim.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# --- Manual pages, changelog: compressed as Debian wants them (gzip -9n:
# no name or time stamp, so that rebuilds give the same bytes) ---
find_program(QX_GZIP gzip REQUIRED)
set(QX_COMPRESSED)
function(qx_compressed source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${QX_GZIP} -9nc ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${output}")
  set(QX_COMPRESSED ${QX_COMPRESSED} ${output} PARENT_SCOPE)
endfunction()

set(QX_MAN_PAGES qxsim)
if(TARGET QxOPCServer)
  list(APPEND QX_MAN_PAGES QxOPCServer)
endif()
foreach(page IN LISTS QX_MAN_PAGES)
  configure_file(${QX_DIST}/${page}.1.in ${QX_DIST_BUILD}/${page}.1 @ONLY)
  qx_compressed(${QX_DIST_BUILD}/${page}.1 ${QX_DIST_BUILD}/${page}.1.gz)
  install(FILES ${QX_DIST_BUILD}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
qx_compressed(${QX_DIST}/changelog ${QX_DIST_BUILD}/changelog.gz)
add_custom_target(qx_dist_files ALL DEPENDS ${QX_COMPRESSED})

install(FILES ${QX_DIST_BUILD}/changelog.gz ${QX_DIST}/copyright ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${QX_INSTALL_DOCDIR})

# --- The unit for headless serving ---
configure_file(${QX_DIST}/qxsim-serve@.service.in ${QX_DIST_BUILD}/qxsim-serve@.service @ONLY)
install(FILES ${QX_DIST_BUILD}/qxsim-serve@.service DESTINATION ${QX_SYSTEMD_UNIT_DIR})
