# kavo_copy_grammars(target): copies both grammar libraries beside target's
# program after each build, as a program that starts a machine with grammars
# finds them in its own folder. Include this file from any folder.
function(kavo_copy_grammars target)
  add_dependencies(${target} CatalogGrammar CatalogGrammarExt)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
      $<TARGET_FILE:CatalogGrammar> $<TARGET_FILE:CatalogGrammarExt> $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
