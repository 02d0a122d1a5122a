# Compiler flags of every build, in one place: the warnings (fatal: the code is kept free of
# them, and a new one fails the build where it is made) and the sanitizers of the sanitize
# and fuzz builds.
include_guard(GLOBAL)

option(SCR_WARNINGS_AS_ERRORS "Fail the build on any compiler warning" ON)
option(SCR_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer (host only)" OFF)

# -Wconversion: every narrowing of a value is written out (GCC's; clang's, in the fuzz build,
# also takes in sign changes, which the byte readers do on purpose).
set(SCR_WARNINGS -Wall -Wextra -Wshadow $<$<CXX_COMPILER_ID:GNU>:-Wconversion>)
if(SCR_WARNINGS_AS_ERRORS)
  list(APPEND SCR_WARNINGS -Werror)
endif()
# C and C++ only: resource scripts take no warning flags.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:${SCR_WARNINGS}>")

# The sanitizers: a fault stops the program at once (no recovery), with a usable stack.
# Used by the sanitize build for everything, and by the fuzz targets (tests/fuzz).
set(SCR_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
if(SCR_SANITIZE)
  if(WIN32)
    message(FATAL_ERROR "SCR_SANITIZE is for the host build only")
  endif()
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:${SCR_SANITIZER_FLAGS}>")
  add_link_options(${SCR_SANITIZER_FLAGS})
endif()

# Code built from a third party's sources (GoogleTest in the cross build): its warnings are
# its own and do not fail ours. Its headers are included as system headers (see tests/).
function(scr_third_party)
  foreach(t ${ARGN})
    target_compile_options(${t} PRIVATE -Wno-error)
  endforeach()
endfunction()
