# Helper programs and DLLs of the platform tests (Windows only).
if(WIN32)
  # Started through a made-up file association by the associated-program tests.
  add_executable(marker_writer ${CMAKE_CURRENT_SOURCE_DIR}/platform/helpers/marker_writer.cpp)
  target_compile_options(marker_writer PRIVATE -municode)
  target_link_options(marker_writer PRIVATE -municode)
  add_dependencies(test_platform marker_writer)

  # Stand-ins for the Flash ActiveX player: in-process COM servers of the player's class,
  # one per version record, one without a version record and one that refuses the class.
  set(standin_dir ${CMAKE_CURRENT_SOURCE_DIR}/platform/standin)
  function(scr_standin_player name)
    cmake_parse_arguments(S "NO_VERSION;REFUSE" "" "VERSION" ${ARGN})
    set(srcs ${standin_dir}/player.cpp ${standin_dir}/player.def)
    if(NOT S_NO_VERSION)
      list(APPEND srcs ${standin_dir}/version.rc)
    endif()
    add_library(${name} SHARED ${srcs})
    set_target_properties(${name} PROPERTIES PREFIX "")
    target_link_libraries(${name} PRIVATE uuid)
    if(S_VERSION)
      list(GET S_VERSION 0 v1)
      list(GET S_VERSION 1 v2)
      list(GET S_VERSION 2 v3)
      list(GET S_VERSION 3 v4)
      target_compile_definitions(${name} PRIVATE STANDIN_V1=${v1} STANDIN_V2=${v2} STANDIN_V3=${v3} STANDIN_V4=${v4})
    endif()
    if(S_REFUSE)
      target_compile_definitions(${name} PRIVATE STANDIN_REFUSE)
    endif()
  endfunction()
  scr_standin_player(standin_player_new VERSION 9 0 124 0)
  scr_standin_player(standin_player_old VERSION 6 0 79 0)
  scr_standin_player(standin_player_nover NO_VERSION)
  scr_standin_player(standin_player_refuse REFUSE VERSION 9 0 124 0)
  add_dependencies(test_platform standin_player_new standin_player_old standin_player_nover
                   standin_player_refuse)
  # The player class registration (shared with the app tests) and the current screensaver
  # (shared with the uninstaller tests) are per-prefix state: one test program at a time.
  set_tests_properties(platform PROPERTIES RESOURCE_LOCK "scr_player_class;scr_current_screensaver;scr_display")
endif()
