# The text a user reads, made from the four numbers of the version resource.
# Run by ctest: cmake -P tests/cmake/version_text_test.cmake
set(script ${CMAKE_CURRENT_LIST_DIR}/../../cmake/version_text.cmake)

function(text_of version out_text out_code)
  execute_process(COMMAND ${CMAKE_COMMAND} -DZEPHO_VERSION=${version} -P ${script}
                  OUTPUT_VARIABLE text ERROR_QUIET RESULT_VARIABLE code
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(${out_text} "${text}" PARENT_SCOPE)
  set(${out_code} "${code}" PARENT_SCOPE)
endfunction()

set(failed 0)
foreach(case
    "1.1.6.2=1.01.06b"
    "2.10.0.0=2.10.00"
    "2.10.0=2.10.00"
    "0.0.9.1=0.00.09a"
    "12.99.99.26=12.99.99z"
    "1.01.06.2=1.01.06b")  # leading zeros in the numbers change nothing
  string(REPLACE "=" ";" parts "${case}")
  list(GET parts 0 version)
  list(GET parts 1 expected)
  text_of(${version} text code)
  if(NOT code EQUAL 0 OR NOT text STREQUAL expected)
    message(SEND_ERROR "${version}: expected \"${expected}\", got \"${text}\" (exit ${code})")
    set(failed 1)
  endif()
endforeach()

# No text can stand for these: the build stops rather than ship a wrong one.
foreach(version 1.100.0.0 1.1.100.0 1.1.6.27 1.1 1.1.6b)
  text_of(${version} text code)
  if(code EQUAL 0)
    message(SEND_ERROR "${version}: accepted as \"${text}\"")
    set(failed 1)
  endif()
endforeach()

if(failed)
  message(FATAL_ERROR "version text: failures above")
endif()
