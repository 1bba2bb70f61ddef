# nlohmann-json (Debian's nlohmann-json3-dev, header-only) as the target tessaline_json. The
# cross-build must not search the host's /usr/include, so it gets a copy of just these headers.
if(NOT TARGET tessaline_json)
  find_path(TESSALINE_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include
    NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
  if(NOT TESSALINE_NLOHMANN_JSON_DIR)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install the 'nlohmann-json3-dev' package")
  endif()
  add_library(tessaline_json INTERFACE)
  if(CMAKE_CROSSCOMPILING)
    set(_tessaline_json_copy ${PROJECT_BINARY_DIR}/third_party/include)
    file(COPY ${TESSALINE_NLOHMANN_JSON_DIR}/nlohmann DESTINATION ${_tessaline_json_copy})
    target_include_directories(tessaline_json SYSTEM INTERFACE ${_tessaline_json_copy})
  else()
    target_include_directories(tessaline_json SYSTEM INTERFACE ${TESSALINE_NLOHMANN_JSON_DIR})
  endif()
endif()
