# Fails when a source file outside platform/, libs/, tools/, tests/, bench/ and fuzz/
# includes a header of the operating system's terminal, socket, descriptor or locking
# interfaces: the subsystems reach those only through platform/, so that another
# platform layer can be put underneath without touching them.
file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/*.cpp ${ROOT}/*.h ${ROOT}/*.hpp ${ROOT}/*.c)
set(headers "termios\\.h|sys/socket\\.h|fcntl\\.h|strings\\.h|sys/file\\.h|netinet/[^>]*|arpa/inet\\.h|netdb\\.h|poll\\.h")
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
endforeach()
if(offenders)
  list(JOIN offenders "\n  " listed)
  message(FATAL_ERROR "Operating-system headers outside platform/ and libs/:\n  ${listed}")
endif()
