# Fails when a source file outside platform/, libs/, tools/, tests/, bench/ and fuzz/
# includes a header of the operating system's terminal, socket, descriptor or locking
# interfaces, reads the environment itself, or folds case with the C library: the
# subsystems reach those only through platform/ (platform::EnvironmentValue, the ASCII
# rules of platform/text.h), so that another platform layer can be put underneath without
# touching them and names compare the same whatever locale Qt chose for the process.
file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/*.cpp ${ROOT}/*.h ${ROOT}/*.hpp ${ROOT}/*.c)
set(headers "termios\\.h|sys/socket\\.h|fcntl\\.h|strings\\.h|sys/file\\.h|netinet/[^>]*|arpa/inet\\.h|netdb\\.h|poll\\.h")
set(calls "getenv|secure_getenv|tolower|toupper")
set(offenders "")
foreach(source ${sources})
  if(source MATCHES "^(platform|libs|tools|tests|bench|fuzz|build[^/]*)/")
    continue()
  endif()
  file(STRINGS ${ROOT}/${source} hits REGEX "^[ \t]*#[ \t]*include[ \t]*<(${headers})>")
  foreach(hit ${hits})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "" header "${hit}")
    list(APPEND offenders "${source} ${header}")
  endforeach()
  file(STRINGS ${ROOT}/${source} hits REGEX "(^|[^A-Za-z0-9_])(std::)?(${calls})[ \t]*\\(")
  foreach(hit ${hits})
    string(REGEX MATCH "(std::)?(${calls})" call "${hit}")
    list(APPEND offenders "${source} ${call}")
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n  " listed)
  message(FATAL_ERROR "Operating-system interfaces outside platform/ and libs/:\n  ${listed}")
endif()
