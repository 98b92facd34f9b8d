# The version as the user reads it, made from the four numbers of the version
# resource: major, two-digit minor and patch, and a letter for a revision of the
# same patch (1 = a, 2 = b, ..., 0 = no letter). 1.1.6.2 reads "1.01.06b".
#
# Included by cmake/version.cmake; also a script, for a look at one version:
#   cmake -DZEPHO_VERSION=1.1.6.2 -P cmake/version_text.cmake   prints 1.01.06b
include_guard(GLOBAL)

# zepho_version_text(OUT VERSION): VERSION is "major.minor.patch[.revision]".
function(zepho_version_text out version)
  if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(\\.([0-9]+))?$")
    message(FATAL_ERROR "version ${version}: not major.minor.patch[.revision]")
  endif()
  math(EXPR major "${CMAKE_MATCH_1}")
  math(EXPR minor "${CMAKE_MATCH_2}")
  math(EXPR patch "${CMAKE_MATCH_3}")
  set(revision 0)
  if(CMAKE_MATCH_5)
    math(EXPR revision "${CMAKE_MATCH_5}")
  endif()
  if(minor GREATER 99 OR patch GREATER 99)
    message(FATAL_ERROR "version ${version}: minor and patch have two digits")
  endif()
  if(revision GREATER 26)
    message(FATAL_ERROR "version ${version}: the revision is a letter, a (1) to z (26)")
  endif()
  set(text "${major}.")
  foreach(number ${minor} ${patch})
    if(number LESS 10)
      string(APPEND text "0")
    endif()
    string(APPEND text "${number}.")
  endforeach()
  string(REGEX REPLACE "\\.$" "" text "${text}")
  if(revision GREATER 0)
    math(EXPR at "${revision} - 1")
    string(SUBSTRING "abcdefghijklmnopqrstuvwxyz" ${at} 1 letter)
    string(APPEND text "${letter}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT DEFINED ZEPHO_VERSION)
    message(FATAL_ERROR "usage: cmake -DZEPHO_VERSION=major.minor.patch[.revision] -P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  zepho_version_text(text "${ZEPHO_VERSION}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${text}")
endif()
