# Helper programs of the components tests (Windows only).
if(WIN32)
  # Registered as a made-up browser by the browser launcher tests; records its command line.
  add_executable(cmdline_recorder ${CMAKE_CURRENT_SOURCE_DIR}/components/helpers/cmdline_recorder.cpp)
  target_compile_options(cmdline_recorder PRIVATE -municode)
  target_link_options(cmdline_recorder PRIVATE -municode)
  add_dependencies(test_components cmdline_recorder)
endif()
