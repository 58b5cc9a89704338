# quenra_fail_on_problems(<heading> <list>): the checks collect every problem before failing, so
# one run names them all; fails with the heading and one problem a line, or does nothing.
function(quenra_fail_on_problems heading problems)
  if(problems)
    string(REPLACE ";" "\n  " lines "${problems}")
    message(FATAL_ERROR "${heading}:\n  ${lines}")
  endif()
endfunction()
