# tools/stored_password: its arguments and exactly what it prints.
# Run by ctest: cmake -DTOOL=path/to/stored_password -P tests/cmake/stored_password_test.cmake
set(failed 0)

# expect(EXIT OUTPUT ARG...)
function(expect exit output)
  execute_process(COMMAND ${TOOL} ${ARGN} OUTPUT_VARIABLE got ERROR_QUIET RESULT_VARIABLE code)
  if(NOT code STREQUAL exit OR NOT got STREQUAL output)
    list(JOIN ARGN " " shown)
    message(SEND_ERROR "stored_password ${shown}: expected exit ${exit} and \"${output}\", "
                       "got exit ${code} and \"${got}\"")
    set(failed 1 PARENT_SCOPE)
  endif()
endfunction()

# A password as it is and as bytes in hexadecimal, of either case.
expect(0 "HOJMLUNTP[R[\n" abc)
expect(0 "HOJMLUNTP[R[\n" --hex 616263)
expect(0 "IHKJMLON\n" --hex FEdc)
# What the program stores for a password it cannot keep: nothing.
execute_process(COMMAND ${TOOL} --hex "" OUTPUT_VARIABLE got RESULT_VARIABLE code)
if(NOT code EQUAL 0 OR NOT got STREQUAL "\n")
  message(SEND_ERROR "stored_password --hex \"\": got exit ${code} and \"${got}\"")
  set(failed 1)
endif()
expect(0 "\n" --hex 610062)
# Not a password.
expect(2 "" --hex 6)
expect(2 "" --hex 6g)
expect(2 "" --hex)
expect(2 "")
expect(2 "" abc def)

if(failed)
  message(FATAL_ERROR "stored_password: failures above")
endif()
