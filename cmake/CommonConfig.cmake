# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# The project's options and the flags every target of ours is built with, in one place.
option(REGWISE_WERROR "Treat warnings as errors" OFF)
option(REGWISE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(REGWISE_FUZZ "Build the libFuzzer targets (clang only; see scripts/fuzz.sh)" OFF)
option(REGWISE_BENCH "Build the benchmarks (see bench/run.sh)" OFF)
option(REGWISE_SETCAP_HELPER
  "On install, give regwise-portd cap_sys_rawio and make it executable by group dialout only"
  OFF)
# The sanitizer runtime reads its options, log paths included, from the environment even in a
# process that holds a capability, so a sanitized helper must never get one.
if(REGWISE_SANITIZE AND REGWISE_SETCAP_HELPER)
  message(FATAL_ERROR "REGWISE_SANITIZE and REGWISE_SETCAP_HELPER cannot be combined: the "
                      "sanitizer runtime would obey the caller's environment inside the "
                      "capable helper. Turn one of them off.")
endif()

# Where an install puts the port I/O libraries and the helper, below its prefix. The code
# gets it as a compile definition and finds that folder from the program's own.
set(REGWISE_LIBRARY_FOLDER lib/regwise)

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_CXX_EXTENSIONS OFF)  # -std=c++20, not gnu++20
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

# Every target of ours links one of two INTERFACE targets, which carry the language standard,
# the include root, the warnings and the build's options. The program's own code
# (regwise_options) and its tests, fuzzers and benchmarks (regwise_test_options) get the same
# warnings; the program alone must also say which encoding each QString literal is in.
add_library(regwise_common_options INTERFACE)
target_compile_features(regwise_common_options INTERFACE cxx_std_20)
# Includes name their folder from the project root: #include "portio/portlibrary.h".
target_include_directories(regwise_common_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(regwise_common_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor> $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>)
if(REGWISE_WERROR)
  target_compile_options(regwise_common_options INTERFACE -Werror)
endif()
if(REGWISE_SANITIZE)
  target_compile_options(regwise_common_options INTERFACE -fsanitize=address,undefined
                                                          -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(regwise_common_options INTERFACE -fsanitize=address,undefined)
elseif(NOT REGWISE_FUZZ)
  # What Debian builds its packages with: checked buffers where the compiler can tell their
  # size, stack canaries, and a read-only relocation table resolved at load. The helper holds
  # a capability; the rest of the program gets the same for free.
  target_compile_options(regwise_common_options INTERFACE
    -fstack-protector-strong $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  target_link_options(regwise_common_options INTERFACE -Wl,-z,relro -Wl,-z,now)
endif()

add_library(regwise_options INTERFACE)
target_link_libraries(regwise_options INTERFACE regwise_common_options)
# Every text that reaches the user is Japanese: a QString from a narrow literal must say
# which encoding it is in.
target_compile_definitions(regwise_options INTERFACE QT_NO_CAST_FROM_ASCII)

add_library(regwise_test_options INTERFACE)
target_link_libraries(regwise_test_options INTERFACE regwise_common_options)
