# Which build this is: the program version (project VERSION), the source revision (git, when the
# sources are a checkout) and the build version of the package this build carries. Written once
# at configure time into generated/version_info.h for every program's --version.

set(TESSALINE_SOURCE_REVISION "unknown")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(
    COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} describe --always --dirty --abbrev=12
    OUTPUT_VARIABLE _tessaline_revision OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE _tessaline_git_result ERROR_QUIET)
  if(_tessaline_git_result EQUAL 0 AND _tessaline_revision)
    set(TESSALINE_SOURCE_REVISION ${_tessaline_revision})
  endif()
endif()

# The release date of man pages and the changelog: the last commit's time, so rebuilds agree.
set(TESSALINE_RELEASE_EPOCH 1704067200)
if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(
    COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
    OUTPUT_VARIABLE _tessaline_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(_tessaline_epoch MATCHES "^[0-9]+$")
    set(TESSALINE_RELEASE_EPOCH ${_tessaline_epoch})
  endif()
endif()
set(_tessaline_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${TESSALINE_RELEASE_EPOCH})
string(TIMESTAMP TESSALINE_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${_tessaline_saved_epoch}")

# The package's own UNIT properties (the sample package copies its text from resources/package).
if(TESSALINE_PACKAGE_DIR)
  set(_tessaline_unit_properties ${TESSALINE_PACKAGE_DIR}/PROPERTIES/UNIT.properties)
else()
  set(_tessaline_unit_properties ${PROJECT_SOURCE_DIR}/resources/package/PROPERTIES/UNIT.properties)
endif()
set(TESSALINE_PACKAGE_BUILD_VERSION "unknown")
if(EXISTS ${_tessaline_unit_properties})
  file(STRINGS ${_tessaline_unit_properties} _tessaline_build_line REGEX "^build-version[ \t]*=")
  if(_tessaline_build_line)
    string(REGEX REPLACE "^build-version[ \t]*=[ \t]*([^ \t]*).*$" "\\1"
      TESSALINE_PACKAGE_BUILD_VERSION "${_tessaline_build_line}")
  endif()
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_tessaline_unit_properties})

configure_file(${CMAKE_CURRENT_LIST_DIR}/version_info.h.in
  ${PROJECT_BINARY_DIR}/generated/version_info.h @ONLY)

# tessaline_version_resource(TARGET DESCRIPTION): a Windows VERSIONINFO resource on an executable,
# with the same program version as --version.
function(tessaline_version_resource target description)
  if(NOT WIN32 OR NOT TARGET ${target})
    return()
  endif()
  set(TESSALINE_RC_DESCRIPTION "${description}")
  set(TESSALINE_RC_FILENAME "${target}.exe")
  set(TESSALINE_RC_NAME "${target}")
  set(rc ${PROJECT_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
