# Lays out the headers that host programs include, and the export list the
# library is compiled with. Run at build time as
#
#   cmake -DSRC=SOURCE_DIR -DDST=BINARY_DIR -DHEADERS="base/map.h;..." -DSTAMP=FILE -P this
#
# The library's sources include each other as "base/map.h". Host programs
# write <lexorn/base/map.h>, so the installed copies under
# DST/include/lexorn/ include each other in that form: a host then needs only
# one include directory, and no generic name such as "base/map.h" stands on
# its include path where it could meet a header of the host's own.
#
# DST/lexorn_exports.h is included ahead of every source of the library,
# which is compiled with -fvisibility=hidden: the declarations of the public
# headers keep default visibility there, and everything else stays inside
# the library. A class that a public header only names (and an internal
# header defines) is declared hidden before that, since the first
# declaration of a class decides its visibility.
#
# Files are rewritten only when their text changes, so that an unrelated
# edit recompiles nothing.
cmake_minimum_required(VERSION 3.25)

foreach(var SRC DST HEADERS STAMP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "LexornPublicHeaders.cmake: ${var} is not set")
  endif()
endforeach()

function(write_if_changed path text)
  if(EXISTS ${path})
    file(READ ${path} old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${path} "${text}")
endfunction()

set(named)     # classes and structs a public header declares without defining
set(defined)   # classes and structs a public header defines
set(umbrella "")
foreach(h ${HEADERS})
  file(READ ${SRC}/${h} text)

  # Every project header a public header includes must be public too, or the
  # installed copy would include a file that is not installed.
  string(REGEX MATCHALL "#include \"[a-z]+/[A-Za-z0-9_]+\\.h\"" includes "${text}")
  foreach(inc ${includes})
    string(REGEX REPLACE "#include \"(.*)\"" "\\1" inc "${inc}")
    if(NOT inc IN_LIST HEADERS)
      message(FATAL_ERROR "${h} includes ${inc}, which is not among the public headers")
    endif()
  endforeach()
  string(REGEX REPLACE "#include \"([a-z]+/[A-Za-z0-9_]+\\.h)\"" "#include <lexorn/\\1>" text
         "${text}")
  write_if_changed(${DST}/include/lexorn/${h} "${text}")
  string(APPEND umbrella "#include <lexorn/${h}>\n")

  # (The ";" that ends a declaration also splits the list of matches.)
  string(REGEX MATCHALL "\n(class|struct) [A-Za-z_][A-Za-z0-9_]*;" decls "\n${text}")
  foreach(d ${decls})
    if(d MATCHES "^\n(class|struct) ([A-Za-z0-9_]+)$")
      list(APPEND named "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
    endif()
  endforeach()
  string(REGEX MATCHALL "\n(class|struct) [A-Za-z_][A-Za-z0-9_]*[^;{(]*{" defs "\n${text}")
  foreach(d ${defs})
    string(REGEX REPLACE "^\n(class|struct) ([A-Za-z0-9_]+).*" "\\2" d "${d}")
    list(APPEND defined ${d})
  endforeach()
endforeach()

write_if_changed(${DST}/include/lexorn/lexorn.h
"// Every public header of the lexorn dictionary library.
#pragma once

#include <lexorn/version.h>
${umbrella}")

list(REMOVE_DUPLICATES named)
set(hidden "")
foreach(d ${named})
  string(REPLACE " " ";" parts "${d}")
  list(GET parts 0 keyword)
  list(GET parts 1 name)
  if(NOT name IN_LIST defined)
    string(APPEND hidden "${keyword} __attribute__((visibility(\"hidden\"))) ${name};\n")
  endif()
endforeach()
set(exported "")
foreach(h ${HEADERS})
  string(APPEND exported "#include \"${h}\"\n")
endforeach()
write_if_changed(${DST}/lexorn_exports.h
"// Generated: the library's exported interface is what its public headers
// declare. Included ahead of every source of the library.
#pragma once

${hidden}
#pragma GCC visibility push(default)
${exported}#pragma GCC visibility pop
")

file(TOUCH ${STAMP})
