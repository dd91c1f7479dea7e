# cmake -DREADELF=... -DPROGRAM=... -P no_math_library.cmake
# Fails when PROGRAM needs the math library at start: the Linux program loads
# it only when a script first calls a math routine, and a direct use of one
# anywhere else would silently bring it back at every start.
execute_process(COMMAND ${READELF} -d ${PROGRAM} OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot read the dynamic section of ${PROGRAM}")
endif()
if(dynamic MATCHES "NEEDED[^\n]*libm\\.so")
  message(FATAL_ERROR "${PROGRAM} needs the math library at start:\n${dynamic}")
endif()
message(STATUS "${PROGRAM} starts without the math library")
