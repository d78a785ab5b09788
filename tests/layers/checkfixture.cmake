# The layering check's own test: runs cmake/checklayers.cmake on a fixture
# tree and compares the problems it lists (file:line: what, one a line) with
# the tree's expected.txt. A tree without expected.txt must pass the check
# with no problem listed; a tree with it must fail it listing exactly those.
# A tree with edges.txt is checked against that table (one row a line)
# instead of the library's.
#
#   cmake -DCHECK=<checklayers.cmake> -DTREE=<fixture tree> -P checkfixture.cmake
cmake_policy(VERSION 3.16)

set(table "")
if(EXISTS ${TREE}/edges.txt)
  file(STRINGS ${TREE}/edges.txt rows)
  string(REPLACE ";" "|" rows "${rows}")
  set(table "-DEDGES=${rows}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${TREE} ${table} -P ${CHECK}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)

# The problems are the lines before CMake's own error report.
string(FIND "${errors}" "CMake Error" report)
if(report GREATER -1)
  string(SUBSTRING "${errors}" 0 ${report} errors)
endif()
string(STRIP "${errors}" listed)

if(EXISTS ${TREE}/expected.txt)
  file(READ ${TREE}/expected.txt expected)
  string(STRIP "${expected}" expected)
  if(status EQUAL 0)
    message(FATAL_ERROR "the check passed ${TREE}, which breaks the layers:\n${output}")
  endif()
else()
  set(expected "")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the check failed ${TREE}, which keeps the layers:\n${errors}")
  endif()
endif()
if(NOT listed STREQUAL expected)
  message(FATAL_ERROR "the check listed\n${listed}\ninstead of\n${expected}")
endif()
message(STATUS "${TREE}: as expected\n${output}")
