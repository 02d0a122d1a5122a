if(WIN32)
  # The string table under test, and the stand-in players for the verdict with the real probe.
  target_link_libraries(test_app PRIVATE scr_resources)
  add_dependencies(test_app standin_player_new standin_player_old)
  # The installation tests: a window (resource INSTALLFORM) whose file embedder carries
  # the real uninstaller. They also set the current screensaver.
  include(${PROJECT_SOURCE_DIR}/tools/defc/DefCompile.cmake)
  scr_compile_definition(DEF ${CMAKE_CURRENT_LIST_DIR}/data/installform.def RESOURCE INSTALLFORM
    VARS UNINSTALLER=$<TARGET_FILE:uninst> DEPENDS uninst OUT_RC installform_rc)
  target_sources(test_app PRIVATE ${installform_rc})
  set_tests_properties(app PROPERTIES RESOURCE_LOCK "scr_player_class;scr_current_screensaver;scr_display")
endif()
