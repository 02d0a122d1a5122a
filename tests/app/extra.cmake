if(WIN32)
  # The string table under test, and the stand-in players for the verdict with the real probe.
  target_link_libraries(test_app PRIVATE scr_resources)
  add_dependencies(test_app standin_player_new standin_player_old)
  set_tests_properties(app PROPERTIES RESOURCE_LOCK scr_player_class)
endif()
