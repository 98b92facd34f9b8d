# The program's version is the one of project(): the four numbers of the version
# resource. Everything else is made from them at configure time, so that no two
# places can tell different versions:
#   generated/resources/version.h   the numbers and the text, for the resource
#                                   script (version resource, version window) and tests
#   generated/resources/app.manifest
#   generated/version.txt           the text alone, for scripts (the release's name)
include(${CMAKE_CURRENT_LIST_DIR}/version_text.cmake)

set(ZEPHO_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(ZEPHO_VERSION_MINOR ${PROJECT_VERSION_MINOR})
set(ZEPHO_VERSION_PATCH ${PROJECT_VERSION_PATCH})
set(ZEPHO_VERSION_REVISION ${PROJECT_VERSION_TWEAK})
if(ZEPHO_VERSION_REVISION STREQUAL "")
  set(ZEPHO_VERSION_REVISION 0)
endif()
foreach(part MAJOR MINOR PATCH REVISION)
  math(EXPR ZEPHO_VERSION_${part} "${ZEPHO_VERSION_${part}}")  # "01" -> 1
endforeach()
set(ZEPHO_VERSION_NUMBERS
    "${ZEPHO_VERSION_MAJOR}.${ZEPHO_VERSION_MINOR}.${ZEPHO_VERSION_PATCH}.${ZEPHO_VERSION_REVISION}")
zepho_version_text(ZEPHO_VERSION_TEXT ${ZEPHO_VERSION_NUMBERS})

set(ZEPHO_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(ZEPHO_VERSION_HEADER ${ZEPHO_GENERATED_DIR}/resources/version.h)
configure_file(${CMAKE_SOURCE_DIR}/resources/version.h.in ${ZEPHO_VERSION_HEADER} @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/app.manifest.in
               ${ZEPHO_GENERATED_DIR}/resources/app.manifest @ONLY)
file(CONFIGURE OUTPUT ${ZEPHO_GENERATED_DIR}/version.txt CONTENT "${ZEPHO_VERSION_TEXT}\n")
# Holds only the files above: "resources/version.h" is found here.
include_directories(${ZEPHO_GENERATED_DIR})

add_test(NAME version_text COMMAND ${CMAKE_COMMAND} -P ${CMAKE_SOURCE_DIR}/tests/cmake/version_text_test.cmake)
