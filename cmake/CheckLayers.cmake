# Fails when a file of the library includes a header of a layer above its own
# (or of a layer beside it). Run by the build with -DSDK_DIR=<sdk folder>.
#
# Layers, bottom up, and the layers each may include:
#   base      base
#   seam      base seam
#   sim       base seam sim
#   native    base seam native           (platform/linux, platform/windows)
#   platform  base seam platform
#   devices   base seam platform devices (camera, formats, firmware)
#   legacy    base seam platform devices legacy
#   api       base seam platform devices legacy api (core)

cmake_minimum_required(VERSION 3.20)

function(layer_of_path path out)
  if(path MATCHES "^base/")
    set(layer base)
  elseif(path MATCHES "^platform/backend/")
    set(layer seam)
  elseif(path MATCHES "^platform/sim/")
    set(layer sim)
  elseif(path MATCHES "^platform/(linux|windows)/")
    set(layer native)
  elseif(path MATCHES "^platform/")
    set(layer platform)
  elseif(path MATCHES "^(camera|formats|firmware)/")
    set(layer devices)
  elseif(path MATCHES "^legacy/")
    set(layer legacy)
  elseif(path MATCHES "^core/")
    set(layer api)
  else()
    set(layer "")
  endif()
  set(${out} "${layer}" PARENT_SCOPE)
endfunction()

set(allowed_base base)
set(allowed_seam base seam)
set(allowed_sim base seam sim)
set(allowed_native base seam native)
set(allowed_platform base seam platform)
set(allowed_devices base seam platform devices)
set(allowed_legacy base seam platform devices legacy)
set(allowed_api base seam platform devices legacy api)

if(NOT SDK_DIR)
  message(FATAL_ERROR "CheckLayers.cmake needs -DSDK_DIR=<folder>")
endif()
get_filename_component(SDK_DIR "${SDK_DIR}" ABSOLUTE)

file(GLOB_RECURSE files RELATIVE ${SDK_DIR} ${SDK_DIR}/*.h ${SDK_DIR}/*.cpp)
set(errors "")
foreach(file IN LISTS files)
  layer_of_path("${file}" own)
  if(own STREQUAL "")
    continue()
  endif()
  file(STRINGS ${SDK_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" header "${line}")
    layer_of_path("${header}" target)
    if(target STREQUAL "")
      continue()  # a header of the same folder by its bare name, or the public interface
    endif()
    if(NOT target IN_LIST allowed_${own})
      string(APPEND errors "  sdk/${file} (${own}) includes \"${header}\" (${target})\n")
    endif()
  endforeach()
endforeach()

if(errors)
  message(FATAL_ERROR "Includes that climb or cross the library's layers:\n${errors}"
    "Move the shared piece down a layer, or pass it in from above.")
endif()
