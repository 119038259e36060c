# The compile and link options of the project's own targets.
#
# They are set on each target (never on a directory or globally), so that a
# project that adds lexorn with add_subdirectory or FetchContent keeps its own
# options, and lexorn's warnings, sanitizers and standard stay on lexorn's
# targets alone.

# Every target defined in `dir` and the directories below it.
function(lexorn_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    lexorn_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Gives every compiled target below `dir` the project's options. They are
# put before the target's own options, where directory-wide options would
# stand, so that a target can still switch one off (the kill hook of the
# tests is built with -fno-sanitize=all).
function(lexorn_apply_build_options dir)
  set(compile -Wall -Wextra)
  if(LEXORN_WERROR)
    list(APPEND compile -Werror)
  endif()
  set(link)
  if(LEXORN_SANITIZE)
    list(APPEND compile -fsanitize=address,undefined -fno-omit-frame-pointer
         -fno-sanitize-recover=all)
    list(APPEND link -fsanitize=address,undefined)
  endif()
  if(LEXORN_FUZZ_HARNESSES)
    # Everything is instrumented for libFuzzer's coverage feedback and stops
    # at the first AddressSanitizer or UndefinedBehaviorSanitizer report; the
    # harnesses add libFuzzer's own main.
    list(APPEND compile -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
         -fno-sanitize-recover=all)
    list(APPEND link -fsanitize=address,undefined)
  endif()

  lexorn_targets_below(${dir} targets)
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "UTILITY")
      continue()
    endif()
    target_compile_options(${t} BEFORE PRIVATE ${compile})
    if(link AND NOT type STREQUAL "OBJECT_LIBRARY" AND NOT type STREQUAL "STATIC_LIBRARY")
      target_link_options(${t} BEFORE PRIVATE ${link})
    endif()
    # C++20 without compiler extensions wherever there is C++ to compile.
    get_target_property(sources ${t} SOURCES)
    if(sources MATCHES "\\.cpp(;|$)|TARGET_OBJECTS")
      target_compile_features(${t} PRIVATE cxx_std_20)
      set_target_properties(${t} PROPERTIES CXX_EXTENSIONS OFF)
    endif()
  endforeach()
endfunction()
