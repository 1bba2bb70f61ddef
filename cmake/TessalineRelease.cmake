# What a user installs: the programs, their man pages (help2man from --help), the bash completion
# (from the command table), the docs, the Windows version resources, and CPack's .deb and .zip.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(TESSALINE_DEB_NAME tessaline-updater)
set(_release ${PROJECT_SOURCE_DIR}/resources/release)
set(_release_out ${PROJECT_BINARY_DIR}/release)

tessaline_version_resource(tessaline-update "Tessaline Firmware Updater (command line)")
tessaline_version_resource(TessalineUpdater "Tessaline Firmware Updater")

if(WIN32)
  # The .zip: both programs at its top, the docs beside them.
  foreach(program tessaline-update TessalineUpdater)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION .)
    endif()
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/command-line.md
    DESTINATION docs)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "TessalineUpdater-${PROJECT_VERSION}-windows-x64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(_programs "")
  foreach(program tessaline-update tessaline-unit-sim)
    if(TARGET ${program})
      list(APPEND _programs ${program})
    endif()
  endforeach()
  install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # Man pages: each program's own --help and --version, so the page cannot drift from them.
  find_program(TESSALINE_HELP2MAN help2man)
  find_program(TESSALINE_GZIP gzip)
  if(NOT TESSALINE_HELP2MAN OR NOT TESSALINE_GZIP)
    message(FATAL_ERROR "help2man and gzip are needed for the man pages: run scripts/setup.sh")
  endif()
  set(TESSALINE_MAN_NAME_tessaline-update "update the firmware of Tessaline units")
  set(TESSALINE_MAN_NAME_tessaline-unit-sim "a simulated Tessaline unit for tests and demos")
  set(_pages "")
  foreach(program IN LISTS _programs)
    set(page ${_release_out}/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_release_out}
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TESSALINE_RELEASE_EPOCH}
              ${TESSALINE_HELP2MAN} --no-info --section=1
              "--name=${TESSALINE_MAN_NAME_${program}}"
              "--include=${_release}/${program}.h2m"
              --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${TESSALINE_GZIP} -9nf ${page}
      DEPENDS ${program} ${_release}/${program}.h2m
      COMMENT "Man page of ${program} (help2man)"
      VERBATIM)
    list(APPEND _pages ${page}.gz)
  endforeach()
  add_custom_target(tessaline_man_pages ALL DEPENDS ${_pages})
  install(FILES ${_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # Bash completion: the commands and their options straight from the command table.
  file(STRINGS ${PROJECT_SOURCE_DIR}/src/cli/commands.def _command_lines
    REGEX "^CLI_COMMAND\\([A-Za-z]+, *\"[^\"]+\", *\"[^\"]*\"")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/src/cli/commands.def ${_release}/tessaline-update.bash.in)
  set(TESSALINE_COMPLETION_COMMANDS "")
  set(TESSALINE_COMPLETION_CASES "")
  foreach(command_line IN LISTS _command_lines)
    string(REGEX MATCH "\"([^\"]+)\", *\"([^\"]*)\"" _ "${command_line}")
    set(name ${CMAKE_MATCH_1})
    string(REGEX REPLACE "[=?*]" "" options "${CMAKE_MATCH_2}")
    string(REPLACE "," ";" options "${options}")
    list(TRANSFORM options PREPEND "--")
    list(JOIN options " " options)
    string(APPEND TESSALINE_COMPLETION_COMMANDS " ${name}")
    string(APPEND TESSALINE_COMPLETION_CASES "    ${name}) options=\"${options}\" ;;\n")
  endforeach()
  string(STRIP "${TESSALINE_COMPLETION_COMMANDS}" TESSALINE_COMPLETION_COMMANDS)
  configure_file(${_release}/tessaline-update.bash.in ${_release_out}/tessaline-update @ONLY)
  install(FILES ${_release_out}/tessaline-update
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

  # Docs, with the copyright and changelog Debian asks of every package.
  set(_docdir ${CMAKE_INSTALL_DATADIR}/doc/${TESSALINE_DEB_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/command-line.md
    ${_release}/copyright DESTINATION ${_docdir})
  configure_file(${_release}/changelog.in ${_release_out}/changelog @ONLY)
  add_custom_command(OUTPUT ${_release_out}/changelog.gz
    COMMAND ${TESSALINE_GZIP} -9nkf ${_release_out}/changelog
    DEPENDS ${_release_out}/changelog VERBATIM)
  add_custom_target(tessaline_changelog ALL DEPENDS ${_release_out}/changelog.gz)
  install(FILES ${_release_out}/changelog.gz DESTINATION ${_docdir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_PACKAGE_NAME ${TESSALINE_DEB_NAME})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brume.example/tessaline")
endif()

set(CPACK_PACKAGE_NAME ${TESSALINE_DEB_NAME})
set(CPACK_PACKAGE_VENDOR "Brume Electronics Ltd.")
set(CPACK_PACKAGE_CONTACT "Brume Electronics Ltd. <support@brume.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for Tessaline audio units")
# Debian wants the long description in lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
  "Writes the firmware package built into it into Tessaline units over the\n"
  "network (UDP) or a serial port, and finds, queries and prepares the units.\n"
  "The package also holds a simulated unit for trying the updater without\n"
  "hardware.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
include(CPack)
