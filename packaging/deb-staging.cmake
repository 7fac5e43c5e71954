# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT
#
# Run by CPack on its staging copy of the install, before it makes the .deb (see
# cmake/Packaging.cmake): what the Debian package needs beyond a plain install.

if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(staging "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")

# The package ships the helper with Debian's standard mode 0755 and no capability: postinst
# closes it to others before it gives it cap_sys_rawio. A build with REGWISE_SETCAP_HELPER
# has made the staged copy capable, so it loses the capability before it is opened up.
set(helper "${staging}/${CPACK_REGWISE_LIBRARY_FOLDER}/regwise-portd")
if(CPACK_REGWISE_SETCAP_HELPER)
  find_program(setcap setcap PATHS /usr/sbin /sbin NO_CACHE REQUIRED)
  execute_process(COMMAND ${setcap} -r "${helper}" RESULT_VARIABLE failed ERROR_VARIABLE why)
  if(failed)
    message(FATAL_ERROR "Could not take cap_sys_rawio from the staged ${helper}: ${why}")
  endif()
endif()
file(CHMOD "${helper}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                   GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Debian keeps a package's own changelog beside its copyright, compressed without a timestamp.
# Its latest entry must be this package's version, which nothing else checks.
set(version "${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
file(READ "${CPACK_REGWISE_DEBIAN_CHANGELOG}" latest LIMIT 200)
string(REGEX MATCH "^[^\n]*" latest "${latest}")
if(NOT latest MATCHES "^regwise \\(${version}\\) ")
  message(FATAL_ERROR "${CPACK_REGWISE_DEBIAN_CHANGELOG} begins with '${latest}', but the "
                      "package is version ${version}: add an entry for it on top.")
endif()
set(doc "${staging}/share/doc/regwise")
file(MAKE_DIRECTORY "${doc}")
execute_process(COMMAND "${CPACK_REGWISE_GZIP}" -9nc "${CPACK_REGWISE_DEBIAN_CHANGELOG}"
                OUTPUT_FILE "${doc}/changelog.Debian.gz" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Could not compress ${CPACK_REGWISE_DEBIAN_CHANGELOG} with gzip")
endif()

# Debian compresses documentation above 4 kB; the README is well above it.
execute_process(COMMAND "${CPACK_REGWISE_GZIP}" -9n "${doc}/README.md" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Could not compress the staged ${doc}/README.md with gzip")
endif()

# Lintian's notes on what it would flag in a package uploaded to Debian, with the reasons.
file(MAKE_DIRECTORY "${staging}/share/lintian/overrides")
file(COPY_FILE "${CPACK_REGWISE_LINTIAN_OVERRIDES}" "${staging}/share/lintian/overrides/regwise")

# Every mode in the package is Debian's standard one, whatever the umask of the build and the
# modes of the source files (a checkout under umask 002 has 0664 files, and MAKE_DIRECTORY,
# COPY_FILE and gzip above follow the umask or the source): directories and the programs in
# bin/ and the helper 0755, every other file 0644. Links keep their own mode.
set(program_modes OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                  WORLD_EXECUTE)
set(file_modes OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(path IN LISTS staged ITEMS "${CPACK_TEMPORARY_DIRECTORY}")
  if(IS_SYMLINK "${path}")
    continue()
  elseif(IS_DIRECTORY "${path}")
    file(CHMOD "${path}" PERMISSIONS ${program_modes})
    continue()
  endif()
  get_filename_component(folder "${path}" DIRECTORY)
  if(path STREQUAL helper OR folder STREQUAL "${staging}/bin")
    file(CHMOD "${path}" PERMISSIONS ${program_modes})
  else()
    file(CHMOD "${path}" PERMISSIONS ${file_modes})
  endif()
endforeach()
