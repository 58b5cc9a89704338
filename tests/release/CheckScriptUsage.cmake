# The scripts' command lines: each answers --help with its usage and exit 0 before it installs or
# builds anything, and a usage error (an unknown option, an option without its value) prints the
# usage and exits 2. Each case: "<script>|<arguments, comma-separated>|<exit status>".
cmake_policy(VERSION 3.25)
include(${SOURCE_DIR}/cmake/FailOnProblems.cmake)
set(cases
  "test|--help|0" "demo|--help|0" "bench|--help|0" "package|--help|0" "fuzz|--help|0"
  "with-wine|--help|0" "setup|--help|0" "memcheck|--help|0"
  "test|--no-such-option|2" "test|no-such-stage|2" "demo|--no-such-option|2" "demo|--seconds=2,--nope=1|2"
  "bench|--no-such-option|2" "bench|--repetitions|2" "bench|--repetitions,many|2" "package|--no-such-option|2"
  "fuzz|--seconds-only|2" "with-wine||2" "setup|--no-such-option|2" "memcheck|--no-such-option|2")
set(problems "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 script)
  list(GET fields 1 arguments)
  list(GET fields 2 expected)
  string(REPLACE "," ";" arguments "${arguments}")
  execute_process(COMMAND ${SOURCE_DIR}/scripts/${script} ${arguments}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status TIMEOUT 20)
  if(NOT status STREQUAL expected)
    list(APPEND problems "scripts/${script} ${arguments}: exit ${status}, not ${expected}")
  elseif(NOT "${out}${err}" MATCHES "usage: scripts/${script}")
    list(APPEND problems "scripts/${script} ${arguments}: no usage printed")
  elseif("${out}${err}" MATCHES "setup: installing|Building|-- Configuring")
    list(APPEND problems "scripts/${script} ${arguments}: installed or built before answering")
  endif()
endforeach()
quenra_fail_on_problems("scripts that misbehave" "${problems}")
