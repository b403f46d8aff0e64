# Fails when a source file outside platform/, libs/, tools/, tests/, bench/ and fuzz/
# reads the environment itself or folds case with the C library: the environment is read
# through platform::EnvironmentValue (bounded), and names are compared with the ASCII
# rules of platform/text.h, whatever the locale Qt chose for the process.
file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/*.cpp ${ROOT}/*.h ${ROOT}/*.hpp ${ROOT}/*.c)
set(calls "getenv|secure_getenv|tolower|toupper")
set(offenders "")
foreach(source ${sources})
  if(source MATCHES "^(platform|libs|tools|tests|bench|fuzz|build[^/]*)/")
    continue()
  endif()
  file(STRINGS ${ROOT}/${source} hits REGEX "(^|[^A-Za-z0-9_])(std::)?(${calls})[ \t]*\\(")
  foreach(hit ${hits})
    string(REGEX MATCH "(std::)?(${calls})" call "${hit}")
    list(APPEND offenders "${source}: ${call}")
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n  " listed)
  message(FATAL_ERROR "Environment or C-library case folding outside platform/:\n  ${listed}")
endif()
