# Source conventions shared by every module:
#   src/<module>/*.cpp        portable code, built for the host and for Windows
#   src/<module>/*_win.cpp    Windows-only code (Win32 calls), built only for Windows
# Each module becomes the static library scr_<module>; includes are relative to src/
# ("store/uExeAdder.h").

function(scr_collect_sources out dir)
  file(GLOB all CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
  set(result)
  foreach(f ${all})
    get_filename_component(stem ${f} NAME_WE)
    if(stem MATCHES "_win$")
      if(WIN32)
        list(APPEND result ${f})
      endif()
    else()
      list(APPEND result ${f})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# scr_module(NAME <name> [DEPS <targets...>] [WIN_LIBS <libs...>])
function(scr_module)
  cmake_parse_arguments(M "" "NAME" "DEPS;WIN_LIBS" ${ARGN})
  scr_collect_sources(srcs ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT srcs)
    add_library(scr_${M_NAME} INTERFACE)
    target_include_directories(scr_${M_NAME} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(scr_${M_NAME} INTERFACE ${M_DEPS})
    return()
  endif()
  add_library(scr_${M_NAME} STATIC ${srcs})
  target_include_directories(scr_${M_NAME} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(scr_${M_NAME} PUBLIC ${M_DEPS})
  if(WIN32 AND M_WIN_LIBS)
    target_link_libraries(scr_${M_NAME} PUBLIC ${M_WIN_LIBS})
  endif()
endfunction()
