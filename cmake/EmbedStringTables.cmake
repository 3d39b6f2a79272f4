# Turns the <language>.json string tables of a folder, for the languages named after `symbol`,
# into a C++ source that registers them as the named module's bundle, so lookups need no installed
# resource files. The languages are named rather than globbed: a globbed folder makes every build
# re-check it, and a dry run then never says the build is up to date.
function(embed_string_tables module folder output symbol)
  set(languages ${ARGN})
  list(SORT languages)
  set(tables "")
  foreach(language ${languages})
    list(APPEND tables ${folder}/${language}.json)
  endforeach()
  string(REPLACE ";" "," language_list "${languages}")
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DMODULE=${module} -DFOLDER=${folder} -DLANGUAGES=${language_list}
            -DOUTPUT=${output}
            -DSYMBOL=${symbol} -P ${PROJECT_SOURCE_DIR}/cmake/WriteStringTables.cmake
    DEPENDS ${tables} ${PROJECT_SOURCE_DIR}/cmake/WriteStringTables.cmake
    COMMENT "Embedding ${module} string tables")
endfunction()
