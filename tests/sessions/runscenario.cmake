# Plays one session scenario (tests/sessions/CMakeLists.txt):
#   cmake -DRUNNER=<emulator, |-separated, may be empty> -DHOST=<TessarayNK>
#         -DPLUGIN=<library> -DDEMO=<ppidemo> -DSESSION=<file or demo.session>
#         -DCHECK_STUDY=ON|OFF -DLINE_END=CRLF|LF -DTEXT_FILES=<globs, |-separated>
#         -DWORK_DIR=<folder> -P runscenario.cmake
cmake_policy(VERSION 3.16)

string(REPLACE "|" ";" runner "${RUNNER}")
string(REPLACE "|" ";" text_files "${TEXT_FILES}")
set(study ${WORK_DIR}/study)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# Runs a program (through the emulator, if any) in `folder`; stops the
# scenario with its output when it does not exit with status 0.
function(run_step what folder log)
  execute_process(COMMAND ${runner} ${ARGN}
    WORKING_DIRECTORY ${folder}
    OUTPUT_FILE ${WORK_DIR}/${log} ERROR_FILE ${WORK_DIR}/${log}
    RESULT_VARIABLE status)
  if(NOT status STREQUAL "0")
    file(READ ${WORK_DIR}/${log} output)
    message(FATAL_ERROR "${what} ended with status ${status}:\n${output}")
  endif()
endfunction()

run_step("generating the demo study" ${WORK_DIR} generate.log ${DEMO} generate study)
if(SESSION STREQUAL "demo.session")
  set(session_name demo.session)
else()
  file(COPY ${SESSION} DESTINATION ${study})
  get_filename_component(session_name ${SESSION} NAME)
endif()
run_step("the session ${session_name}" ${study} session.log
  ${HOST} --plugin ${PLUGIN} ${session_name})

# Every line of every file the plug-in wrote ends as text lines do here. The
# bytes are compared as hexadecimal pairs, each followed by a blank, since
# file(READ) as text drops carriage returns.
foreach(pattern IN LISTS text_files)
  file(GLOB matches ${study}/${pattern})
  if(NOT matches)
    message(FATAL_ERROR "the plug-in wrote no file ${pattern}")
  endif()
  foreach(file IN LISTS matches)
    file(READ ${file} hex HEX)
    string(REGEX REPLACE "(..)" " \\1" bytes "${hex}")
    string(REPLACE " 0d 0a" "" without_crlf "${bytes}")
    string(FIND "${bytes}" " 0a" first_line_feed)
    string(FIND "${bytes}" " 0d" first_return)
    string(FIND "${without_crlf}" " 0a" bare_line_feed)
    string(FIND "${without_crlf}" " 0d" bare_return)
    if(first_line_feed EQUAL -1)
      message(FATAL_ERROR "${file} has no line end")
    elseif(LINE_END STREQUAL "CRLF" AND NOT (bare_line_feed EQUAL -1 AND bare_return EQUAL -1))
      message(FATAL_ERROR "${file} has lines that do not end with CR LF")
    elseif(LINE_END STREQUAL "LF" AND NOT first_return EQUAL -1)
      message(FATAL_ERROR "${file} has a carriage return")
    endif()
  endforeach()
endforeach()

if(CHECK_STUDY)
  run_step("the demo's check of the design matrices" ${WORK_DIR} check.log ${DEMO} check study)
endif()
