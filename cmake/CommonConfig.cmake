# One INTERFACE target carries the language standard and warnings for every target of ours.
option(REGWISE_WERROR "Treat warnings as errors" OFF)
option(REGWISE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
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

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_CXX_EXTENSIONS OFF)  # -std=c++20, not gnu++20
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

add_library(regwise_options INTERFACE)
target_compile_features(regwise_options INTERFACE cxx_std_20)
target_compile_options(regwise_options INTERFACE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor)
if(REGWISE_WERROR)
  target_compile_options(regwise_options INTERFACE -Werror)
endif()
if(REGWISE_SANITIZE)
  target_compile_options(regwise_options INTERFACE -fsanitize=address,undefined
                                                   -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(regwise_options INTERFACE -fsanitize=address,undefined)
endif()
