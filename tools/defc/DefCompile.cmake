# scr_compile_definition(DEF <file.def> RESOURCE <name> [VARS NAME=VALUE...] [DEPENDS <files...>]
#                        [OUT_BIN <var>] [OUT_RC <var>])
# Compiles a text window definition with defc into <binary dir>/<stem>.bin at build time and
# writes <stem>.rc, a resource script fragment that carries the .bin as the RCDATA resource
# <name>. Add the .rc to a Windows executable's sources. Cross builds run a defc built for
# the build machine (target defc_host); host builds use the defc target itself.
include_guard(GLOBAL)

function(scr_compile_definition)
  cmake_parse_arguments(D "" "DEF;RESOURCE;OUT_BIN;OUT_RC" "VARS;DEPENDS" ${ARGN})
  get_filename_component(def ${D_DEF} ABSOLUTE)
  get_filename_component(stem ${D_DEF} NAME_WE)
  set(bin ${CMAKE_CURRENT_BINARY_DIR}/${stem}.bin)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${stem}.rc)
  if(CMAKE_CROSSCOMPILING)
    set(defc ${CMAKE_BINARY_DIR}/host-tools/bin/defc)
    set(defc_deps defc_host ${defc})
  else()
    set(defc $<TARGET_FILE:defc>)
    set(defc_deps defc)
  endif()
  set(args)
  foreach(v ${D_VARS})
    list(APPEND args -D${v})
  endforeach()
  add_custom_command(OUTPUT ${bin}
    COMMAND ${defc} ${def} ${bin} ${args}
    DEPENDS ${def} ${D_DEPENDS} ${defc_deps}
    COMMENT "defc ${stem}.def"
    VERBATIM)
  if(D_RESOURCE)
    file(GENERATE OUTPUT ${rc} CONTENT "${D_RESOURCE} RCDATA \"${bin}\"\n")
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${bin})
  endif()
  if(D_OUT_BIN)
    set(${D_OUT_BIN} ${bin} PARENT_SCOPE)
  endif()
  if(D_OUT_RC)
    set(${D_OUT_RC} ${rc} PARENT_SCOPE)
  endif()
endfunction()
