# One INTERFACE target carries the language standard and warnings for every target of ours.
option(REGWISE_WERROR "Treat warnings as errors" OFF)
option(REGWISE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

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
