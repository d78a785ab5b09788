# Checks the export and import tables of ppiplugin.dll:
#   cmake -DOBJDUMP=<objdump> -DDLL=<ppiplugin.dll> -P checkdlltables.cmake
# It must export exactly the factory, the six getters and the two classes'
# members (slot 0 of the virtual table is ppiplugin::destroy and the
# destructors are not virtual, so there is no deleting destructor), virtual
# tables and type information, and import from nothing but the system's
# KERNEL32 and msvcrt (the C++ runtime is linked in).
cmake_policy(VERSION 3.16)

set(expected_exports
  _ZN19TYNKPluginInterfaceC1ERKS_ _ZN19TYNKPluginInterfaceC1Ev
  _ZN19TYNKPluginInterfaceC2ERKS_ _ZN19TYNKPluginInterfaceC2Ev
  _ZN19TYNKPluginInterfaceD1Ev _ZN19TYNKPluginInterfaceD2Ev
  _ZN19TYNKPluginInterfaceaSERKS_
  _ZN9ppiplugin10initPluginEv _ZN9ppiplugin7executeEv _ZN9ppiplugin7destroyEj
  _ZN9ppipluginC1Ev _ZN9ppipluginC2Ev
  _ZN9ppipluginD1Ev _ZN9ppipluginD2Ev
  _ZTI19TYNKPluginInterface _ZTI9ppiplugin _ZTV19TYNKPluginInterface _ZTV9ppiplugin
  createPlugin getAuthor getGUIScript getHelpFile getPluginDescription getPluginName
  getPluginVersion)
set(allowed_imports KERNEL32.dll msvcrt.dll)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

# Export names: the lines "\t[  n] name" after "[Ordinal/Name Pointer] Table".
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${DLL} has no export name table")
endif()
string(SUBSTRING "${dump}" ${start} -1 names_part)
string(REPLACE "\n" ";" names_lines "${names_part}")
list(REMOVE_AT names_lines 0)
set(exports)
foreach(line IN LISTS names_lines)
  if(NOT line MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
    break()
  endif()
  list(APPEND exports "${CMAKE_MATCH_1}")
endforeach()
list(SORT exports)
list(SORT expected_exports)
if(NOT exports STREQUAL expected_exports)
  set(extra ${exports})
  list(REMOVE_ITEM extra ${expected_exports})
  set(missing ${expected_exports})
  list(REMOVE_ITEM missing ${exports})
  message(FATAL_ERROR "export table differs\n  not expected: ${extra}\n  missing: ${missing}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
list(TRANSFORM imports REPLACE "^DLL Name: " "")
set(unexpected ${imports})
list(REMOVE_ITEM unexpected ${allowed_imports})
if(unexpected)
  message(FATAL_ERROR "ppiplugin.dll needs DLLs that Windows does not ship: ${unexpected}")
endif()
list(LENGTH exports export_count)
message(STATUS "${export_count} exports as expected; imports: ${imports}")
