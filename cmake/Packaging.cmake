# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Desktop integration files and the Debian package. The programs, the port I/O libraries
# and the helper are installed by their own folders (bin/ and REGWISE_LIBRARY_FOLDER); this
# adds the data files and sets up CPack.
include(GNUInstallDirs)

set(REGWISE_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(REGWISE_APPSTREAM_ID io.github.regwise.Regwise)

install(FILES ${REGWISE_PACKAGING_DIR}/regwise.desktop ${REGWISE_PACKAGING_DIR}/regwise-sim.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${REGWISE_PACKAGING_DIR}/regwise.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${REGWISE_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/regwise)
# The README and the register scripts it and the man page point to, for whoever installed the
# programs without the source tree. The Debian package compresses the README (see
# deb-staging.cmake); the scripts stay plain, to run as they are.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/regwise)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/regwise/examples FILES_MATCHING PATTERN "*.txt")

# The files that carry the project's version get it filled in here, in one folder that the
# install and the checks both take them from.
set(REGWISE_CONFIGURED_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
configure_file(${REGWISE_PACKAGING_DIR}/${REGWISE_APPSTREAM_ID}.metainfo.xml.in
               ${REGWISE_CONFIGURED_PACKAGING_DIR}/${REGWISE_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${REGWISE_CONFIGURED_PACKAGING_DIR}/${REGWISE_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Man pages, compressed as Debian ships them; gzip -n keeps the result byte-for-byte
# reproducible. regwise_man_pages(NAME...) makes packaging/NAME.1, or NAME.1.in with the
# version filled in. Each page also documents NAME-sim: the build tree holds a full copy under
# that name, so man -l reads it from any folder, and the install makes it a symbolic link to
# the page, as Debian prefers to a .so include.
find_program(REGWISE_GZIP gzip REQUIRED)
function(regwise_man_pages)
  set(compressed)
  set(folder ${REGWISE_CONFIGURED_PACKAGING_DIR}/man1)
  foreach(name IN LISTS ARGN)
    set(source ${REGWISE_PACKAGING_DIR}/${name}.1)
    if(EXISTS ${source}.in)
      configure_file(${source}.in ${REGWISE_CONFIGURED_PACKAGING_DIR}/${name}.1 @ONLY)
      set(source ${REGWISE_CONFIGURED_PACKAGING_DIR}/${name}.1)
    endif()
    set(gz ${folder}/${name}.1.gz)
    set(sim_gz ${folder}/${name}-sim.1.gz)
    add_custom_command(
      OUTPUT ${gz} ${sim_gz}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND ${REGWISE_GZIP} -9nc ${source} > ${gz}
      COMMAND ${CMAKE_COMMAND} -E copy ${gz} ${sim_gz}
      DEPENDS ${source}
      VERBATIM)
    list(APPEND compressed ${gz} ${sim_gz})
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    set(link "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1/${name}-sim.1.gz")
    install(CODE "message(STATUS \"Installing: ${link} -> ${name}.1.gz\")
                  file(CREATE_LINK ${name}.1.gz \"${link}\" SYMBOLIC)")
  endforeach()
  add_custom_target(regwise_man_pages ALL DEPENDS ${compressed})
endfunction()
regwise_man_pages(regwise regwise-io)

# Bash completion for the command-line programs: bash-completion loads a command's
# completion by the command's name, so each program gets its own entry.
foreach(program regwise-io regwise-io-sim)
  install(FILES ${REGWISE_PACKAGING_DIR}/regwise-io.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${program})
endforeach()

# The Debian package always installs under /usr, whatever CMAKE_INSTALL_PREFIX says.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(REGWISE_HELPER ${CPACK_PACKAGING_INSTALL_PREFIX}/${REGWISE_LIBRARY_FOLDER}/regwise-portd)
configure_file(${REGWISE_PACKAGING_DIR}/postinst.in ${CMAKE_BINARY_DIR}/packaging/deb/postinst
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                      GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME regwise)
set(CPACK_PACKAGE_VENDOR "The Regwise developers")
set(CPACK_PACKAGE_CONTACT "Regwise maintainers <maintainers@regwise.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read and write the registers of a PC serial port's UART")
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the long text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Regwise examines and drives, byte by byte, the seven registers of the 16550
UART behind a PC serial port at 0x3F8, 0x2F8, 0x3E8 or 0x2E8, showing each
value in hexadecimal, decimal and binary. The window is in Japanese.
.
regwise drives the real ports through a small helper that alone holds
cap_sys_rawio and that members of the group dialout may run; regwise-sim
drives four simulated 16550A UARTs and needs no privilege.")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# As dpkg-shlibdeps computes them for the programs, libraries and helper, with Qt 6.4 as in
# Debian 12. The xcb platform plugin lives in qt6-qpa-plugins; libcap2-bin brings the setcap
# that postinst cannot do without.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 11), libgcc-s1 (>= 3.0), libcap2 (>= 1:2.26), libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), qt6-qpa-plugins, fonts-ipafont-gothic, libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/deb/postinst)
# The helper's shipped mode, the Debian changelog and the lintian overrides, on CPack's
# staging copy.
set(CPACK_PRE_BUILD_SCRIPTS ${REGWISE_PACKAGING_DIR}/deb-staging.cmake)
set(CPACK_REGWISE_SETCAP_HELPER ${REGWISE_SETCAP_HELPER})
set(CPACK_REGWISE_LIBRARY_FOLDER ${REGWISE_LIBRARY_FOLDER})
set(CPACK_REGWISE_DEBIAN_CHANGELOG ${REGWISE_PACKAGING_DIR}/changelog.Debian)
set(CPACK_REGWISE_LINTIAN_OVERRIDES ${REGWISE_PACKAGING_DIR}/lintian-overrides)
set(CPACK_REGWISE_GZIP ${REGWISE_GZIP})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
