# Embeds binary resource files as constant byte arrays, so that portable
# builds (the command-line tool, the tests) carry the same bytes the Windows
# program gets from its resource section.
#
#   quillmere_embed_resources(OUTPUT file.cpp FILES a.bin b.jpg ...)
#
# Each file is found by its name without extension ("model", "wood"), compared
# without regard to letter case, through LookupEmbeddedBytes().
function(quillmere_embed_resources)
  cmake_parse_arguments(EMBED "" "OUTPUT" "FILES" ${ARGN})
  add_custom_command(
    OUTPUT ${EMBED_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${EMBED_OUTPUT} "-DFILES=${EMBED_FILES}"
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake
    DEPENDS ${EMBED_FILES} ${PROJECT_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake
    COMMENT "Embedding resources"
    VERBATIM)
endfunction()
