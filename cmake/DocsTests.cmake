# Checks of the documents against the built program: the man page renders
# without warnings and names the version and every flag, and each completion
# file offers every flag and parser. They run the native lumo, so a cross
# build leaves them to the native one.
if(CMAKE_CROSSCOMPILING)
  return()
endif()

set(lumo_docs_checks ${PROJECT_SOURCE_DIR}/tests/docs)

add_test(NAME docs.manpage
         COMMAND bash ${lumo_docs_checks}/check_manpage.sh ${LUMO_MANPAGE} $<TARGET_FILE:lumo>)

foreach(lumo_docs_shell bash zsh fish)
  set(lumo_docs_file ${LUMO_COMPLETIONS}/lumo.${lumo_docs_shell})
  if(lumo_docs_shell STREQUAL "zsh")
    set(lumo_docs_file ${LUMO_COMPLETIONS}/_lumo)
  endif()
  add_test(NAME docs.completion.${lumo_docs_shell}
           COMMAND bash ${lumo_docs_checks}/check_completion.sh ${lumo_docs_shell}
                   ${lumo_docs_file} $<TARGET_FILE:lumo>)
  # Skipped, not passed, when the text is right but the shell is missing.
  set_tests_properties(docs.completion.${lumo_docs_shell} PROPERTIES SKIP_RETURN_CODE 77)
endforeach()
unset(lumo_docs_checks)
unset(lumo_docs_file)
