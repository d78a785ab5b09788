# Plays the BIDS path end to end (tests/sessions/CMakeLists.txt), as the
# README's commands do: the demo study written as a BIDS dataset, ppistudy
# making the plug-in's study of it, and the stand-in host playing the session
# that ppistudy wrote.
#   cmake -DHOST=<TessarayNK> -DPLUGIN=<library> -DDEMO=<ppidemo>
#         -DSTUDY_TOOL=<ppistudy> -DWORK_DIR=<folder> -P runbidsscenario.cmake
cmake_policy(VERSION 3.16)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run_step what folder log)
  execute_process(COMMAND ${ARGN}
    WORKING_DIRECTORY ${folder}
    OUTPUT_FILE ${WORK_DIR}/${log} ERROR_FILE ${WORK_DIR}/${log}
    RESULT_VARIABLE status)
  if(NOT status STREQUAL "0")
    file(READ ${WORK_DIR}/${log} output)
    message(FATAL_ERROR "${what} ended with status ${status}:\n${output}")
  endif()
endfunction()

run_step("generating the BIDS dataset" ${WORK_DIR} generate.log ${DEMO} generate bids --bids)
run_step("ppistudy" ${WORK_DIR} study.log ${STUDY_TOOL} bids --task demo
  --seed bids/derivatives/rois/space-demo_desc-regions_dseg.nii.gz --seed-label Seed
  --conditions Rest,Attend,Passive --plus Attend --minus Passive --out study)
run_step("the session study.session" ${WORK_DIR}/study session.log
  ${HOST} --plugin ${PLUGIN} study.session)

# Every subject has its merged design matrix, listed in the run's SDMFileList,
# and the host read every document without a word.
file(STRINGS ${WORK_DIR}/study/results/sdm-files.txt saved)
list(LENGTH saved count)
if(NOT count EQUAL 4)
  message(FATAL_ERROR "4 design matrices expected, the run listed ${count}: ${saved}")
endif()
foreach(path IN LISTS saved)
  if(NOT EXISTS ${WORK_DIR}/study/${path})
    message(FATAL_ERROR "the listed design matrix ${path} is not there")
  endif()
endforeach()
file(READ ${WORK_DIR}/session.log output)
if(output MATCHES "\\[host\\]")
  message(FATAL_ERROR "the host reported a document problem:\n${output}")
endif()
