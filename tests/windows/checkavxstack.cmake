# Checks the code of ppiplugin.dll for aligned 256-bit moves between a register
# and the stack:
#   cmake -DOBJDUMP=<objdump> -DDLL=<ppiplugin.dll> -P checkavxstack.cmake
# mingw-w64's GCC keeps the stack 16-byte aligned and cannot realign it to 32
# bytes (GCC bug 54412), so such a move faults whenever the slot is not 32-byte
# aligned. The AVX2 kernels keep their 256-bit values in registers.
cmake_policy(VERSION 3.16)

execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${DLL}
  OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -d ${DLL} failed")
endif()

set(aligned "vmov(aps|apd|dqa|ntps|ntpd|ntdq)[ \t]+")
set(stack "-?(0x[0-9a-f]+)?\\(%r[sb]p[^)]*\\)")
string(REGEX MATCHALL "${aligned}%ymm[0-9]+,${stack}" stores "${dump}")
string(REGEX MATCHALL "${aligned}${stack},%ymm[0-9]+" loads "${dump}")
string(REGEX MATCHALL "%ymm[0-9]+" ymm_uses "${dump}")
list(LENGTH ymm_uses ymm_count)
if(stores OR loads)
  message(FATAL_ERROR "aligned 256-bit moves to or from the stack: ${stores} ${loads}")
endif()
if(ymm_count EQUAL 0)
  message(FATAL_ERROR "no 256-bit code in ${DLL}: the AVX2 kernels are missing")
endif()
message(STATUS "${ymm_count} uses of 256-bit registers, none moved aligned to or from the stack")
