# cmake -DFUZZER=exe -DSEEDER=exe -DWORK=dir -DRUNS=n [-DOPTIONS=-flag;...] -P FuzzSeedRun.cmake
# Writes a fresh seed corpus, replays it through the fuzz target, then runs n fuzzed inputs
# from a fixed random seed so that a failure repeats; OPTIONS go to the fuzz target as they are.
# Crash inputs are left in WORK.
foreach(var FUZZER SEEDER WORK RUNS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/found)
execute_process(COMMAND ${SEEDER} ${WORK}/corpus RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The seeder failed: ${status}")
endif()
file(GLOB seeds ${WORK}/corpus/*)
list(LENGTH seeds count)
if(count EQUAL 0)
  message(FATAL_ERROR "The seeder wrote no seeds")
endif()
message(STATUS "${count} seeds")
# New inputs go to found/, so that the seed corpus stays what the seeder wrote.
execute_process(COMMAND ${FUZZER} -runs=${RUNS} -seed=1 ${OPTIONS}
                        -artifact_prefix=${WORK}/ ${WORK}/found ${WORK}/corpus
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The fuzz target failed: ${status}")
endif()
