# Checks that the library's folders include one another only downwards:
#
#   cmake -DROOT=<source tree> [-DLAYERS=<folders, top first, ;- or |-separated>]
#         -P cmake/checklayers.cmake
#
# The library's folders, top to bottom, are plugin, commands, analysis, model,
# confounds, host and common; a folder may include its own files and those of
# the folders below it. The check reads every '#include "..."' line of the
# folders' files and fails, naming the file and line, when a folder includes a
# file of a folder above it, and when two folders include each other. Folders
# that do not exist are skipped; other folders (the stand-in host, the demo,
# tests, benchmarks) are not checked.
cmake_minimum_required(VERSION 3.16)

if(NOT DEFINED ROOT)
  message(FATAL_ERROR "checklayers: set ROOT to the source tree")
endif()
if(NOT DEFINED LAYERS)
  set(LAYERS plugin commands run analysis model formats confounds host common)
endif()
string(REPLACE "|" ";" layers "${LAYERS}")
get_filename_component(root "${ROOT}" ABSOLUTE)

# The layer that `path` (relative to the tree) lies in, or "" when none.
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

set(problems "")
set(edges "")  # "from>to" pairs seen, for the cycle check
set(file_count 0)
foreach(layer IN LISTS layers)
  if(NOT IS_DIRECTORY "${root}/${layer}")
    continue()
  endif()
  list(FIND layers ${layer} rank)
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
      list(FIND layers ${target} target_rank)
      if(target_rank LESS rank)
        list(APPEND problems
          "${source}:${number}: ${layer}/ includes ${included} of ${target}/, a folder above it")
      endif()
      list(FIND edges "${layer}>${target}" seen)
      if(seen EQUAL -1)
        list(APPEND edges "${layer}>${target}")
        set("first_${layer}_${target}" "${source}:${number} (${included})")
      endif()
    endforeach()
  endforeach()
endforeach()

# Folders that include each other, each way with its first include.
foreach(edge IN LISTS edges)
  string(REPLACE ">" ";" ends "${edge}")
  list(GET ends 0 from)
  list(GET ends 1 to)
  list(FIND layers ${from} from_rank)
  list(FIND layers ${to} to_rank)
  list(FIND edges "${to}>${from}" back)
  if(back GREATER -1 AND from_rank LESS to_rank)
    list(APPEND problems
      "${from}/ and ${to}/ include each other: ${first_${from}_${to}} and ${first_${to}_${from}}")
  endif()
endforeach()

# Each problem on a line of its own (file:line: what), then the verdict.
list(LENGTH problems problem_count)
if(problem_count GREATER 0)
  foreach(problem IN LISTS problems)
    message("${problem}")
  endforeach()
  message(FATAL_ERROR "checklayers: ${problem_count} layering problem(s) in ${root}, listed above")
endif()
list(LENGTH edges edge_count)
string(REPLACE ";" ", " layer_names "${layers}")
message(STATUS "checklayers: ${file_count} files of ${layer_names} include only downwards "
               "(${edge_count} folder dependencies)")
