# nlohmann-json (header-only, Debian's nlohmann-json3-dev) as the target tessaline_json, for the
# native build and the mingw cross-build alike. The cross-build cannot take /usr/include as a whole
# (glibc's headers would shadow mingw's), so only the nlohmann folder is linked into the build tree.
include_guard(GLOBAL)
find_path(TESSALINE_JSON_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
  NO_DEFAULT_PATH)
if(NOT TESSALINE_JSON_INCLUDE_DIR)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
endif()
set(_tessaline_json_dir ${PROJECT_BINARY_DIR}/third_party/json)
file(MAKE_DIRECTORY ${_tessaline_json_dir})
file(CREATE_LINK ${TESSALINE_JSON_INCLUDE_DIR}/nlohmann ${_tessaline_json_dir}/nlohmann SYMBOLIC)
add_library(tessaline_json INTERFACE)
target_include_directories(tessaline_json SYSTEM INTERFACE ${_tessaline_json_dir})
