# Fails when a key that `varnook --help` lists is missing from the manual page, so the two
# cannot drift apart. Run as: cmake -DVARNOOK=<program> -DMAN_PAGE=<varnook.1> -P this file.
execute_process(COMMAND "${VARNOOK}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "varnook --help exited with ${status}")
endif()
file(READ "${MAN_PAGE}" man)

# A key in the help is a "/word" standing alone: after a blank, before a blank. Paths such as
# "/srv/out/" and glued values such as "/ana1" are not keys.
string(REGEX MATCHALL "[ \n]/[a-z]+[ \n]" found "${help}")
set(keys)
foreach(match IN LISTS found)
  string(STRIP "${match}" key)
  list(APPEND keys "${key}")
endforeach()
list(REMOVE_DUPLICATES keys)
if(NOT keys)
  message(FATAL_ERROR "found no keys in varnook --help")
endif()

set(missing)
foreach(key IN LISTS keys)
  if(NOT man MATCHES "${key}([^a-z]|$)")
    list(APPEND missing "${key}")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "keys of varnook --help missing from ${MAN_PAGE}: ${missing}")
endif()
list(LENGTH keys count)
message(STATUS "all ${count} keys of varnook --help are in the manual page")
