# Fails when a program loads a shared library it was meant to do without:
# each one costs start-up time at every command. What ldd lists, transitive
# dependencies included, is matched against the libraries that were dropped.
# The programs named in STATIC_PROGRAMS must load nothing at all: no dynamic
# loader runs for them.
#   -DPROGRAMS=<program;...> [-DSTATIC_PROGRAMS=<program;...>]

cmake_policy(SET CMP0057 NEW)
set(unwanted "libicu|libboost|libcurl|libssl|libcrypto|libstdc\\+\\+|libgcc_s|libtinyxml")
foreach(program ${PROGRAMS})
  execute_process(COMMAND ldd "${program}" RESULT_VARIABLE status OUTPUT_VARIABLE listed)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "ldd ${program} failed: ${status}")
  endif()
  string(REGEX MATCHALL "(${unwanted})[^ \t\n]*" loaded "${listed}")
  list(REMOVE_DUPLICATES loaded)
  if(loaded)
    message(FATAL_ERROR "${program} loads ${loaded}:\n${listed}")
  endif()
  if(program IN_LIST STATIC_PROGRAMS AND NOT listed MATCHES "statically linked")
    message(FATAL_ERROR "${program} is linked dynamically:\n${listed}")
  endif()
  message(STATUS "${program}:\n${listed}")
endforeach()
