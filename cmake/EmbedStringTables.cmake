# Turns every <language>.json string table of a folder into a C++ source that registers them as
# the named module's bundle, so lookups need no installed resource files.
function(embed_string_tables module folder output symbol)
  file(GLOB tables CONFIGURE_DEPENDS ${folder}/*.json)
  list(SORT tables)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DMODULE=${module} -DFOLDER=${folder} -DOUTPUT=${output}
            -DSYMBOL=${symbol} -P ${PROJECT_SOURCE_DIR}/cmake/WriteStringTables.cmake
    DEPENDS ${tables} ${PROJECT_SOURCE_DIR}/cmake/WriteStringTables.cmake
    COMMENT "Embedding ${module} string tables")
endfunction()
