# Fails when a file under src/ includes a folder above its own layer.
#
#   cmake -DSOURCE_DIR=<src> -DSTAMP=<file> -P CheckLayers.cmake
#
# The layers, bottom first: a folder may include its own files and those of
# the folders before it. The two front ends (cli, shell) share the top and do
# not include each other.
cmake_minimum_required(VERSION 3.25)

set(layers core formats ribbon render texture app)
set(fronts cli shell)

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(errors "")
foreach(file IN LISTS files)
  string(REGEX MATCH "^[^/]+" folder ${file})
  if(folder IN_LIST fronts)
    set(allowed ${layers} ${folder})
  else()
    list(FIND layers ${folder} rank)
    if(rank LESS 0)
      string(APPEND errors "  ${file}: src/${folder} is not a layer\n")
      continue()
    endif()
    list(SUBLIST layers 0 ${rank} allowed)
    list(APPEND allowed ${folder})
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" target ${line})
    if(NOT target IN_LIST allowed)
      string(APPEND errors "  ${file}: ${line}\n")
    endif()
  endforeach()
endforeach()

if(errors)
  message(FATAL_ERROR "Includes against the layer order (${layers}, then cli | shell):\n${errors}")
endif()
file(WRITE ${STAMP} "")
