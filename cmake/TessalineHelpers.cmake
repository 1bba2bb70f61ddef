# Build helpers shared by every folder: warnings, library and test registration.

# Warnings for project code only (third-party code such as GoogleTest keeps its own flags).
function(tessaline_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wno-sign-conversion -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual)
  if(TESSALINE_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
    # GCC 12 reports false array-bounds/stringop warnings inside libstdc++'s vector::insert at -O3,
    # and a false nonnull one when it copies an empty vector; they stay visible as warnings but
    # must not fail the build.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${target} PRIVATE -Wno-error=array-bounds -Wno-error=stringop-overflow
        -Wno-error=stringop-overread -Wno-error=restrict -Wno-error=nonnull)
    endif()
  endif()
endfunction()

# tessaline_library(NAME SOURCES ... [DEPS ...]): a static library of the portable core or UI.
function(tessaline_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  tessaline_warnings(${name})
endfunction()

# GoogleTest from Debian's source package, built with this project's compiler (so it also
# cross-builds for Windows).
macro(tessaline_import_googletest)
  set(_gtest_src /usr/src/googletest)
  if(NOT EXISTS ${_gtest_src}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${_gtest_src}: install the 'googletest' package")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${_gtest_src} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(TESSALINE_SANITIZE STREQUAL "address")
    # Not the code under test (see tessaline_add_test).
    foreach(_gtest_target gtest gtest_main gmock gmock_main)
      target_compile_options(${_gtest_target} PRIVATE -fno-sanitize=all)
    endforeach()
  endif()
endmacro()

# tessaline_add_test(NAME SOURCES ... [DEPS ...] [LABELS ...] [TIMEOUT s] [COST s] [NATIVE_ONLY]
# [WINDOWS_ONLY]): one test binary per module, registered with ctest as one test (run under Wine when
# cross-built, through CMAKE_CROSSCOMPILING_EMULATOR). COST is about the seconds the test takes: a
# fresh build has no timing record, and parallel ctest starts the longest tests first only if told.
function(tessaline_add_test name)
  cmake_parse_arguments(ARG "NATIVE_ONLY;WINDOWS_ONLY" "TIMEOUT;COST" "SOURCES;DEPS;LABELS" ${ARGN})
  if(ARG_NATIVE_ONLY AND WIN32)
    return()
  endif()
  if(ARG_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  # A test binary's files share their heaviest part, GoogleTest's and the library headers: read
  # once, as one file, they compile in a fraction of the time.
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests
    ${PROJECT_SOURCE_DIR}/tools ${PROJECT_BINARY_DIR}/generated)
  tessaline_warnings(${name})
  # The code under test comes optimized from its libraries; the test files themselves need no
  # more than -Og, which compiles them in two thirds of the time -O3 takes.
  target_compile_options(${name} PRIVATE $<$<CONFIG:Release>:-Og>)
  if(TESSALINE_SANITIZE STREQUAL "address")
    # The code under test comes instrumented from its libraries, and the sanitizer's allocator
    # watches every heap block whoever touches it; uninstrumented, a test file compiles in half
    # the time.
    target_compile_options(${name} PRIVATE -fno-sanitize=all)
    # Tests that cannot run beside the sanitizers ask this, not the compiler's own macro.
    target_compile_definitions(${name} PRIVATE TESSALINE_SANITIZED_BUILD=1)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}"
    ENVIRONMENT "TESSALINE_BUILD_DIR=${PROJECT_BINARY_DIR};TESSALINE_SOURCE_DIR=${PROJECT_SOURCE_DIR};TESSALINE_KEY_DIR=${PROJECT_BINARY_DIR}/test-keys")
  if(ARG_COST)
    set_tests_properties(${name} PROPERTIES COST ${ARG_COST})
  endif()
endfunction()
