# The header-only dependencies of the Windows cross build, as imported
# targets over the copies scripts/windows-deps puts into the prefix (Debian's
# own package files describe the Linux installation, so they are not used).
# fmt and spdlog are used header-only there: their compiled libraries exist
# only for Linux.
set(_deps_include "${SORVANSDK_WINDOWS_DEPS}/include")
if(NOT EXISTS "${_deps_include}/spdlog/spdlog.h")
  message(FATAL_ERROR "The Windows dependencies are missing: run scripts/windows-deps first")
endif()

add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${_deps_include}"
  INTERFACE_COMPILE_DEFINITIONS "FMT_HEADER_ONLY=1")
add_library(spdlog::spdlog INTERFACE IMPORTED)
set_target_properties(spdlog::spdlog PROPERTIES
  INTERFACE_LINK_LIBRARIES fmt::fmt)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${_deps_include}")
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${_deps_include}")
set(RAPIDJSON_INCLUDE_DIRS "${_deps_include}")
set(RapidJSON_FOUND TRUE)
set(fmt_FOUND TRUE)
set(spdlog_FOUND TRUE)
set(nlohmann_json_FOUND TRUE)
set(CLI11_FOUND TRUE)
