# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# regwise_add_port_programs(NAME SOURCES file... LIBS target...)
#
# Two executables from the same sources that differ only in the port I/O library they load:
# NAME drives the real ports (libregwise-portio.so and its helper), NAME-sim the simulated
# UARTs (libregwise-portio-sim.so). The name decides the library, never a flag. Neither links
# its library: building one builds the library (and helper) it loads beside it. Each gets
# REGWISE_PROGRAM (its own name), REGWISE_PORTIO_LIBRARY, REGWISE_VERSION and
# REGWISE_SIMULATED_PORTS (1 for NAME-sim), and is installed to bin/.
function(regwise_add_port_programs name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  foreach(variant IN ITEMS real sim)
    if(variant STREQUAL "real")
      set(program ${name})
      set(library libregwise-portio.so)
      set(loads regwise-portio regwise-portd)
      set(simulated 0)
    else()
      set(program ${name}-sim)
      set(library libregwise-portio-sim.so)
      set(loads portio_sim)
      set(simulated 1)
    endif()
    add_executable(${program} ${P_SOURCES})
    target_compile_definitions(${program} PRIVATE
      REGWISE_PROGRAM="${program}"
      REGWISE_PORTIO_LIBRARY="${library}"
      REGWISE_VERSION="${PROJECT_VERSION}"
      REGWISE_SIMULATED_PORTS=${simulated})
    target_link_libraries(${program} PRIVATE ${P_LIBS} regwise_options)
    foreach(dependency IN LISTS loads)
      if(TARGET ${dependency})
        add_dependencies(${program} ${dependency})
      endif()
    endforeach()
  endforeach()
  install(TARGETS ${name} ${name}-sim RUNTIME DESTINATION bin)
endfunction()
