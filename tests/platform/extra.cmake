# Helper programs of the platform tests (Windows only).
if(WIN32)
  # Started through a made-up file association by the associated-program tests.
  add_executable(marker_writer ${CMAKE_CURRENT_SOURCE_DIR}/platform/helpers/marker_writer.cpp)
  target_compile_options(marker_writer PRIVATE -municode)
  target_link_options(marker_writer PRIVATE -municode)
  add_dependencies(test_platform marker_writer)
endif()
