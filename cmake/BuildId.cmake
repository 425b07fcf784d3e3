# Writes OUT, a header defining DM_BUILD_ID as the repository's commit (40 zeros outside a
# checkout). Run at every build; the file changes only when the commit did, so nothing else
# rebuilds.
execute_process(COMMAND git -C "${SRC}" rev-parse HEAD
                OUTPUT_VARIABLE id OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 0 OR NOT id MATCHES "^[0-9a-f]+$")
  set(id "0000000000000000000000000000000000000000")
endif()
set(content "#pragma once\n#define DM_BUILD_ID \"${id}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT "${old}" STREQUAL "${content}")
  file(WRITE "${OUT}" "${content}")
endif()
