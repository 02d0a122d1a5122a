# Helper programs and resources of the components tests (Windows only).
# The Windows tests load a window whose definition (compiled by defc) carries
# tests/components/data/payload.bin in file embedders, from the RCDATA resource EMBEDFORM.
if(WIN32)
  include(${PROJECT_SOURCE_DIR}/tools/defc/DefCompile.cmake)
  set(payload ${CMAKE_CURRENT_LIST_DIR}/data/payload.bin)
  scr_compile_definition(DEF ${CMAKE_CURRENT_LIST_DIR}/data/embedform.def RESOURCE EMBEDFORM
    VARS PAYLOAD=${payload} DEPENDS ${payload} OUT_RC embedform_rc)
  target_sources(test_components PRIVATE ${embedform_rc})
  # A deactivated memo and a notifier from a compiled definition, resource MEMOFORM.
  scr_compile_definition(DEF ${CMAKE_CURRENT_LIST_DIR}/data/memoform.def RESOURCE MEMOFORM OUT_RC memoform_rc)
  target_sources(test_components PRIVATE ${memoform_rc})
  # A window whose bitmap list holds the installer's pictures, from the resource BITMAPFORM.
  file(GLOB images ${PROJECT_SOURCE_DIR}/src/resources/images/*.bmp)
  scr_compile_definition(DEF ${CMAKE_CURRENT_LIST_DIR}/data/bitmapform.def RESOURCE BITMAPFORM
    DEPENDS ${images} OUT_RC bitmapform_rc)
  target_sources(test_components PRIVATE ${bitmapform_rc})
  # Colour buttons showing a picture of the bitmap list, from the resource COLORBTNFORM.
  scr_compile_definition(DEF ${CMAKE_CURRENT_LIST_DIR}/data/colorbtnform.def RESOURCE COLORBTNFORM
    DEPENDS ${images} OUT_RC colorbtnform_rc)
  target_sources(test_components PRIVATE ${colorbtnform_rc})
  target_compile_definitions(test_components PRIVATE EMBED_PAYLOAD="Z:${payload}")
  # Registered as a made-up browser by the browser launcher tests; records its command line.
  add_executable(cmdline_recorder ${CMAKE_CURRENT_SOURCE_DIR}/components/helpers/cmdline_recorder.cpp)
  target_compile_options(cmdline_recorder PRIVATE -municode)
  target_link_options(cmdline_recorder PRIVATE -municode)
  add_dependencies(test_components cmdline_recorder)
endif()
