# Checks that the library's folders include only the folders they may:
#
#   cmake -DROOT=<source tree> [-DEDGES=<table, |-separated rows>] -P cmake/checklayers.cmake
#
# The table below says, for each folder of the library, which other folders
# its files may include (a folder may always include its own files). The check
# reads every '#include "..."' line of the folders' files and fails, naming the
# file and line, when a file includes a folder its row does not allow. It also
# fails when the table itself lets folders include one another in a circle.
# Folders that do not exist are skipped; other folders (the stand-in host, the
# demo, tests, benchmarks) are not checked.
cmake_minimum_required(VERSION 3.16)

if(NOT DEFINED ROOT)
  message(FATAL_ERROR "checklayers: set ROOT to the source tree")
endif()
# One row a folder: "folder: the folders it may include". The pure folders
# (design, numerics, report, formats) never include host/.
if(NOT DEFINED EDGES)
  set(EDGES
    "plugin: commands model host common"
    "commands: run design numerics report formats model host common"
    "run: design numerics report formats model host common"
    "design: numerics common"
    "report: design numerics common"
    "numerics: common"
    "formats: common"
    "model: formats host common"
    "host: common"
    "common:")
else()
  string(REPLACE "|" ";" EDGES "${EDGES}")
endif()
get_filename_component(root "${ROOT}" ABSOLUTE)

set(layers "")
set(problems "")
foreach(row IN LISTS EDGES)
  if(NOT row MATCHES "^([a-z0-9_]+):(.*)$")
    message(FATAL_ERROR "checklayers: the table row \"${row}\" is not \"folder: folders\"")
  endif()
  set(from ${CMAKE_MATCH_1})
  string(STRIP "${CMAKE_MATCH_2}" targets)
  string(REGEX REPLACE "[ \t]+" ";" targets "${targets}")
  list(APPEND layers ${from})
  set("allowed_${from}" ${targets})
endforeach()

# The table must not allow a circle: every folder's allowed folders are
# reached by walking downwards only, so a walk that comes back to where it
# started is a circle.
foreach(start IN LISTS layers)
  set(frontier ${allowed_${start}})
  set(seen "")
  while(frontier)
    list(POP_FRONT frontier next)
    if(next STREQUAL start)
      list(APPEND problems "the table lets ${start}/ include itself through another folder")
      break()
    endif()
    list(FIND seen "${next}" was)
    if(was GREATER -1)
      continue()
    endif()
    list(APPEND seen ${next})
    list(APPEND frontier ${allowed_${next}})
  endwhile()
endforeach()

# The folder of the table that `path` (relative to the tree) lies in, or "".
function(layer_of path out)
  set(found "")
  foreach(layer IN LISTS layers)
    if(path MATCHES "^${layer}/")
      set(found ${layer})
      break()
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(file_count 0)
set(edge_count 0)
foreach(layer IN LISTS layers)
  if(NOT IS_DIRECTORY "${root}/${layer}")
    continue()
  endif()
  file(GLOB_RECURSE sources RELATIVE "${root}"
    "${root}/${layer}/*.h" "${root}/${layer}/*.hpp" "${root}/${layer}/*.inl"
    "${root}/${layer}/*.c" "${root}/${layer}/*.cc" "${root}/${layer}/*.cpp")
  list(SORT sources)
  foreach(source IN LISTS sources)
    math(EXPR file_count "${file_count} + 1")
    file(READ "${root}/${source}" content)
    if(NOT content MATCHES "#[ \t]*include")
      continue()
    endif()
    # One list element per line: characters that a CMake list treats
    # specially are replaced first.
    string(REPLACE ";" "," content "${content}")
    string(REPLACE "[" "(" content "${content}")
    string(REPLACE "]" ")" content "${content}")
    string(REPLACE "\\" "/" content "${content}")
    string(REPLACE "\n" ";" lines "${content}")
    get_filename_component(source_dir "${source}" DIRECTORY)
    set(number 0)
    foreach(line IN LISTS lines)
      math(EXPR number "${number} + 1")
      if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
        continue()
      endif()
      set(included "${CMAKE_MATCH_1}")
      # Paths are written from the tree's root; a path that is not is taken
      # relative to the including file.
      layer_of("${included}" target)
      if(target STREQUAL "")
        get_filename_component(resolved "${root}/${source_dir}/${included}" ABSOLUTE)
        file(RELATIVE_PATH resolved_path "${root}" "${resolved}")
        layer_of("${resolved_path}" target)
      endif()
      if(target STREQUAL "" OR target STREQUAL layer)
        continue()
      endif()
      list(FIND allowed_${layer} ${target} allowed)
      if(allowed EQUAL -1)
        string(REPLACE ";" ", " may "${allowed_${layer}}")
        if(may STREQUAL "")
          set(may "no other folder")
        endif()
        list(APPEND problems
          "${source}:${number}: ${layer}/ includes ${included} of ${target}/, not among what it may include (${may})")
      else()
        math(EXPR edge_count "${edge_count} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

# Each problem on a line of its own (file:line: what), then the verdict.
list(LENGTH problems problem_count)
if(problem_count GREATER 0)
  foreach(problem IN LISTS problems)
    message("${problem}")
  endforeach()
  message(FATAL_ERROR "checklayers: ${problem_count} layering problem(s) in ${root}, listed above")
endif()
list(LENGTH layers layer_count)
message(STATUS "checklayers: ${file_count} files of ${layer_count} folders include only what the "
               "table allows (${edge_count} includes across folders)")
