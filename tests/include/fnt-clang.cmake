# Compiles fnt_c.c, which includes the reader header with gm_load_file, with
# clang as C99 and unchanged as C++11, under the warnings a user's strict
# build may turn on. Run by ctest as fnt.clang:
#   cmake -DCLANG=... -DCLANGXX=... -DINCLUDE=<include dir> -DSOURCE=<fnt_c.c>
#         -DOUT=<dir for the objects> -P fnt-clang.cmake
if(NOT CLANG OR NOT CLANGXX)
  message(FATAL_ERROR "clang and clang++ were not found when the build was configured; "
                      "install them (scripts/install-deps) and configure again")
endif()

set(flags -Wall -Wextra -Wpedantic -Werror -Wconversion -Wsign-conversion -Wshadow
    -I${INCLUDE} -c)
set(failed "")
foreach(run "${CLANG};-std=c99;-x;c;c99" "${CLANGXX};-std=c++11;-x;c++;c++11")
  list(POP_BACK run name)
  execute_process(COMMAND ${run} ${flags} ${SOURCE} -o ${OUT}/fnt-clang-${name}.o
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(APPEND failed ${name})
  endif()
endforeach()
if(failed)
  list(JOIN failed " and " failed)
  message(FATAL_ERROR "the reader header does not compile cleanly with clang as: ${failed}")
endif()
message(STATUS "clang compiles the reader header cleanly as C99 and C++11")
