# Which library this tree builds. The earlier SDKs still have hosts in the
# field, so the same sources also produce them; each needs a build folder of
# its own because the choice reaches every object file.
#   Strivon     the current library (default)
#   TessalySdk  the earlier library: picture-in-picture operation (54
#               operations), the fixed swfUrl on connect, extra video logs
#   DamaricSdk  the same without picture-in-picture (53 operations)
set(STRIVON_SDK_BUILD Strivon CACHE STRING "Library to build: Strivon, TessalySdk or DamaricSdk")
set_property(CACHE STRIVON_SDK_BUILD PROPERTY STRINGS Strivon TessalySdk DamaricSdk)
if(NOT STRIVON_SDK_BUILD MATCHES "^(Strivon|TessalySdk|DamaricSdk)$")
  message(FATAL_ERROR "STRIVON_SDK_BUILD must be Strivon, TessalySdk or DamaricSdk, not '${STRIVON_SDK_BUILD}'")
endif()

set(STRIVON_SDK_EARLIER 0)
set(STRIVON_SDK_PICTURE_IN_PICTURE 0)
if(NOT STRIVON_SDK_BUILD STREQUAL "Strivon")
  set(STRIVON_SDK_EARLIER 1)
  add_compile_definitions(STRIVON_SDK_EARLIER=1)
  # The earlier builds name their sources relative to the build folder in
  # log lines.
  file(RELATIVE_PATH strivon_source_from_build ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  string(REGEX REPLACE "/$" "" strivon_source_from_build "${strivon_source_from_build}")
  add_compile_options(-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=${strivon_source_from_build}/)
endif()
if(STRIVON_SDK_BUILD STREQUAL "TessalySdk")
  set(STRIVON_SDK_PICTURE_IN_PICTURE 1)
endif()

# The public header's operation table depends on the build, so the build's
# choice travels with the installed headers rather than as a flag every host
# would have to repeat.
configure_file(${CMAKE_CURRENT_LIST_DIR}/SdkBuild.h.in ${CMAKE_BINARY_DIR}/sdk_include/strivon/SdkBuild.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/sdk_include)
