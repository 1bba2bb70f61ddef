# Firmware package resources: carrying a package directory inside programs, and the sample package.
#
# A package directory holds one file per resource, named <TYPE>/<NAME>[.<extension>]:
#   HEX/APPLICATION_STM32_ADAU1452.hex     BIN/FLASH_STM32_ADAU1452.bin
#   PROPERTIES/UNIT.properties             PROPERTIES/UPDATER.properties
#   NOTES/BUILD_NOTES.txt
# The subdirectory is the resource type, the file name up to its first dot the resource name; both
# are upper-case letters, digits and underscores. Any other file is ignored.
#
# tessaline_package_resources(TARGET <name> DIR <dir> [FILES <relative path>...] [DEPENDS <target>...])
#   Makes the OBJECT library <name>; an executable that links it (directly: object files do not
#   pass through other libraries) carries the package and platform::FindModuleResource finds it:
#   - Linux: each file embedded by the assembler (.incbin) plus a generated table that
#     platform::EmbeddedResources returns, and the look-up over that table;
#   - Windows: a generated resource script listing each file under its custom type, compiled by
#     windres (an OBJECT library, because a linker drops resources found in a static library).
#   FILES defaults to every <TYPE>/<file> in DIR at configure time; list them when a build step
#   writes them, and name that step's target in DEPENDS.
#
# Targets defined here: tessaline_package_resources (the package of this build: the directory
# TESSALINE_PACKAGE_DIR when set, else the sample package that tools/package-gen writes into
# ${PROJECT_BINARY_DIR}/package) and tessaline_package_resources_flash_only (the same package's
# flash data image and properties without any application image, for the start-up path that
# refuses such a package).

if(WIN32)
  enable_language(RC)
else()
  enable_language(ASM)
endif()

set(TESSALINE_PACKAGE_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

# Relative paths of the resource files in `dir`, sorted, filtered by `globs` (default */*).
function(tessaline_package_files out dir)
  set(globs ${ARGN})
  if(NOT globs)
    set(globs "*/*")
  endif()
  set(patterns "")
  foreach(glob IN LISTS globs)
    list(APPEND patterns "${dir}/${glob}")
  endforeach()
  file(GLOB files CONFIGURE_DEPENDS RELATIVE "${dir}" ${patterns})
  list(SORT files)
  set(${out} ${files} PARENT_SCOPE)
endfunction()

function(tessaline_package_resources)
  cmake_parse_arguments(ARG "" "TARGET;DIR" "FILES;DEPENDS" ${ARGN})
  if(NOT ARG_TARGET OR NOT ARG_DIR)
    message(FATAL_ERROR "tessaline_package_resources: TARGET and DIR are required")
  endif()
  if(NOT ARG_FILES)
    tessaline_package_files(ARG_FILES "${ARG_DIR}")
  endif()

  set(work ${CMAKE_CURRENT_BINARY_DIR}/${ARG_TARGET}.dir)
  string(MAKE_C_IDENTIFIER "tessaline_package_${ARG_TARGET}" symbol_prefix)
  set(paths "")
  set(rc_lines "")
  set(asm_lines "")
  set(decl_lines "")
  set(table_lines "")
  set(index 0)
  foreach(file IN LISTS ARG_FILES)
    if(NOT file MATCHES "^([A-Z][A-Z0-9_]*)/([A-Z][A-Z0-9_]*)(\\.[^/]*)?$")
      continue()
    endif()
    set(type ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    set(path "${ARG_DIR}/${file}")
    list(APPEND paths "${path}")
    string(APPEND rc_lines "${name} ${type} \"${path}\"\n")
    set(sym ${symbol_prefix}_${index})
    string(APPEND asm_lines
      "  .section .rodata.${sym},\"a\",@progbits\n"
      "  .balign 16\n"
      "  .globl ${sym}_begin\n  .hidden ${sym}_begin\n"
      "  .globl ${sym}_end\n  .hidden ${sym}_end\n"
      "${sym}_begin:\n"
      "  .incbin \"${path}\"\n"
      "${sym}_end:\n")
    string(APPEND decl_lines
      "extern const std::uint8_t ${sym}_begin[];\nextern const std::uint8_t ${sym}_end[];\n")
    string(APPEND table_lines "    {\"${type}\", \"${name}\", ${sym}_begin, ${sym}_end},\n")
    math(EXPR index "${index} + 1")
  endforeach()

  if(WIN32)
    set(content "// Firmware package resources of ${ARG_TARGET} (generated from ${ARG_DIR}).\n${rc_lines}")
    file(CONFIGURE OUTPUT ${work}/package.rc CONTENT "${content}" @ONLY)
    add_library(${ARG_TARGET} OBJECT ${work}/package.rc)
    set_source_files_properties(${work}/package.rc PROPERTIES OBJECT_DEPENDS "${paths}")
  else()
    string(CONCAT content "// Firmware package files of ${ARG_TARGET} (generated from ${ARG_DIR}).\n"
      "${asm_lines}  .section .note.GNU-stack,\"\",@progbits\n")
    file(CONFIGURE OUTPUT ${work}/package_blobs.S CONTENT "${content}" @ONLY)
    if(index EQUAL 0)
      set(table_body "std::span<const EmbeddedResource> EmbeddedResources() { return {}; }\n")
    else()
      string(CONCAT table_body
        "namespace {\nconst EmbeddedResource kResources[] = {\n${table_lines}};\n}  // namespace\n\n"
        "std::span<const EmbeddedResource> EmbeddedResources() { return kResources; }\n")
    endif()
    string(CONCAT content
      "// Table of the firmware package files of ${ARG_TARGET} (generated).\n"
      "#include \"platform/module_resources.h\"\n\n"
      "extern \"C\" {\n${decl_lines}}\n\n"
      "namespace tessaline::platform {\n\n${table_body}\n}  // namespace tessaline::platform\n")
    file(CONFIGURE OUTPUT ${work}/package_table.cpp CONTENT "${content}" @ONLY)
    add_library(${ARG_TARGET} OBJECT
      ${work}/package_blobs.S
      ${work}/package_table.cpp
      ${PROJECT_SOURCE_DIR}/src/platform/posix/module_resources.cpp)
    set_source_files_properties(${work}/package_blobs.S PROPERTIES OBJECT_DEPENDS "${paths}")
    target_include_directories(${ARG_TARGET} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    tessaline_warnings(${ARG_TARGET})
  endif()
  if(ARG_DEPENDS)
    add_dependencies(${ARG_TARGET} ${ARG_DEPENDS})
  endif()
endfunction()

# The package of this build.
if(TESSALINE_PACKAGE_DIR)
  tessaline_package_files(_tessaline_package_all ${TESSALINE_PACKAGE_DIR})
  if(NOT _tessaline_package_all)
    message(WARNING "TESSALINE_PACKAGE_DIR (${TESSALINE_PACKAGE_DIR}) holds no <TYPE>/<NAME> files: "
      "the programs will carry an empty package (build the native tree first to generate one)")
  endif()
  tessaline_package_resources(TARGET tessaline_package_resources DIR ${TESSALINE_PACKAGE_DIR})
  tessaline_package_files(_tessaline_flash_only ${TESSALINE_PACKAGE_DIR} "BIN/*" "PROPERTIES/*")
  tessaline_package_resources(TARGET tessaline_package_resources_flash_only
    DIR ${TESSALINE_PACKAGE_DIR} FILES ${_tessaline_flash_only})
else()
  # Cross-built, the generator runs through CMAKE_CROSSCOMPILING_EMULATOR.
  add_subdirectory(${PROJECT_SOURCE_DIR}/tools/package-gen ${PROJECT_BINARY_DIR}/tools/package-gen)
  set(TESSALINE_SAMPLE_PACKAGE_DIR ${PROJECT_BINARY_DIR}/package)
  set(_tessaline_sample_texts
    PROPERTIES/UNIT.properties PROPERTIES/UPDATER.properties NOTES/BUILD_NOTES.txt)
  set(_tessaline_sample_images
    HEX/APPLICATION_STM32_ADAU1452.hex BIN/FLASH_STM32_ADAU1452.bin)
  set(_tessaline_sample_outputs "")
  set(_tessaline_sample_sources "")
  foreach(file IN LISTS _tessaline_sample_texts _tessaline_sample_images)
    list(APPEND _tessaline_sample_outputs ${TESSALINE_SAMPLE_PACKAGE_DIR}/${file})
  endforeach()
  foreach(file IN LISTS _tessaline_sample_texts)
    list(APPEND _tessaline_sample_sources ${PROJECT_SOURCE_DIR}/resources/package/${file})
  endforeach()
  add_custom_command(
    OUTPUT ${_tessaline_sample_outputs}
    COMMAND tessaline-package-gen ${PROJECT_SOURCE_DIR}/resources/package
            ${TESSALINE_SAMPLE_PACKAGE_DIR}
    DEPENDS tessaline-package-gen ${_tessaline_sample_sources}
    COMMENT "Writing the sample firmware package"
    VERBATIM)
  add_custom_target(tessaline_sample_package DEPENDS ${_tessaline_sample_outputs})
  tessaline_package_resources(TARGET tessaline_package_resources
    DIR ${TESSALINE_SAMPLE_PACKAGE_DIR}
    FILES ${_tessaline_sample_texts} ${_tessaline_sample_images}
    DEPENDS tessaline_sample_package)
  tessaline_package_resources(TARGET tessaline_package_resources_flash_only
    DIR ${TESSALINE_SAMPLE_PACKAGE_DIR}
    FILES PROPERTIES/UNIT.properties PROPERTIES/UPDATER.properties BIN/FLASH_STM32_ADAU1452.bin
    DEPENDS tessaline_sample_package)
endif()
