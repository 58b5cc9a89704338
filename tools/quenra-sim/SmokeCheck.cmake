# Runs the simulator briefly and checks that its report shows what a user must see, and that the
# pictures were written.
# Usage: cmake -DSIMULATOR=<path> [-DEMULATOR=<command;args>] -DCAMERA=<0|1> -DOUT=<dir> [-DOPTIONS=<more options>]
#        -P SmokeCheck.cmake
file(REMOVE_RECURSE ${OUT})
execute_process(
  COMMAND ${EMULATOR} ${SIMULATOR} --seconds 2 --trace-level 2 --out ${OUT} ${OPTIONS}
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
  "Scene objects left +0 after unload"
  "layers created +3"
  " +[1-9][0-9]* +2 +1 +0 +sky and cylinder beneath the room, quad above"
  "images +[1-9][0-9]* acquired \\(0 failed\\), [1-9][0-9]* released"
  "callbacks +[1-9][0-9]* frame states, 1 swapchains created")
set(pictures frame-024.png frame-054.png frame-090.png room-top.png room.obj)
if(CAMERA)
  list(APPEND expected
    "render events +[1-9][0-9]* queued, [1-9][0-9]* run"
    "frames drawn +[1-9]"
    "textures written +3"
    "GL misuses +0")
  list(APPEND pictures camera-0.png camera-1.png camera-2.png)
endif()
foreach(pattern IN LISTS expected)
  if(NOT report MATCHES "${pattern}")
    message(FATAL_ERROR "the report lacks: ${pattern}")
  endif()
endforeach()
foreach(picture IN LISTS pictures)
  if(NOT EXISTS ${OUT}/${picture})
    message(FATAL_ERROR "quenra-sim wrote no ${picture}")
  endif()
endforeach()
