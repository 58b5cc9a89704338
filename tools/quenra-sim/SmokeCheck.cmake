# Runs the simulator briefly and checks that its report shows what a user must see.
# Usage: cmake -DSIMULATOR=<path> [-DEMULATOR=<command;args>] [-DOPTIONS=<more options>] -P SmokeCheck.cmake
execute_process(
  COMMAND ${EMULATOR} ${SIMULATOR} --seconds 2 --trace-level 2 ${OPTIONS}
  OUTPUT_VARIABLE report
  ERROR_VARIABLE errors
  RESULT_VARIABLE result
  TIMEOUT 50)
message("${report}${errors}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "quenra-sim exited with ${result}")
endif()

set(expected
  "computes started +[1-9]"
  "computes completed +[1-9]"
  "scenes created +[1-9]"
  "meshes acquired +[1-9][0-9]* \\(0 failed\\)"
  "vertices +[1-9]"
  "triangles +[1-9]"
  "transforms +[1-9]"
  "reads +[1-9][0-9]* \\(0 failed\\)"
  "last read +[1-9][0-9]* \\([1-9][0-9]* horizontal, [1-9][0-9]* vertical, [0-9]+ non-orthogonal\\); [1-9][0-9]* vertices"
  "Trace messages +0 errors, 0 warnings, 2 notices"
  "Scene objects left +0 after unload")
foreach(pattern IN LISTS expected)
  if(NOT report MATCHES "${pattern}")
    message(FATAL_ERROR "the report lacks: ${pattern}")
  endif()
endforeach()
