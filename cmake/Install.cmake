# What `cmake --install` puts where. On Linux and the other Unix systems:
# the program, its man page, completions for bash, zsh and fish, and the
# example configuration, in the conventional places under the prefix. The
# Windows package is a flat folder instead: lumo.exe beside its documents.
include(GNUInstallDirs)

# The man page's title line names the project version, the same one that
# `lumo --version` prints.
set(LUMO_MANPAGE ${PROJECT_BINARY_DIR}/docs/lumo.1)
configure_file(${PROJECT_SOURCE_DIR}/docs/lumo.1.in ${LUMO_MANPAGE} @ONLY)

set(LUMO_COMPLETIONS ${PROJECT_SOURCE_DIR}/completions)

if(WIN32)
  install(TARGETS lumo RUNTIME DESTINATION .)
  # The README's image link and its mention of examples/config.ziggy hold in
  # this layout too.
  install(FILES README.md DESTINATION .)
  install(FILES docs/screenshot.png DESTINATION docs)
  install(FILES examples/config.ziggy DESTINATION examples)
else()
  install(TARGETS lumo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${LUMO_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${LUMO_COMPLETIONS}/lumo.bash
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
          RENAME lumo)
  install(FILES ${LUMO_COMPLETIONS}/_lumo
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/zsh/site-functions)
  install(FILES ${LUMO_COMPLETIONS}/lumo.fish
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/fish/vendor_completions.d)
  install(FILES examples/config.ziggy DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()
