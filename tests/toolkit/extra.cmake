# The Windows tests create a real window from a definition compiled by defc and carried
# as the RCDATA resource TESTFORM.
if(WIN32)
  include(${PROJECT_SOURCE_DIR}/tools/defc/DefCompile.cmake)
  scr_compile_definition(DEF ${CMAKE_CURRENT_LIST_DIR}/data/testform.def RESOURCE TESTFORM OUT_RC testform_rc)
  target_sources(test_toolkit PRIVATE ${testform_rc})
endif()
