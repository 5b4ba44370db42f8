# SPDX-License-Identifier: GPL-3.0-or-later
# stowmere_add_test(NAME name SOURCES ... LIBRARIES ... [WIDGETS])
# One GoogleTest executable registered with CTest as a whole. WIDGETS tests run
# against the offscreen Qt platform so a plain `ctest` works without a display.
function(stowmere_add_test)
  cmake_parse_arguments(ARG "WIDGETS" "NAME" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE stowmere_options ${ARG_LIBRARIES} GTest::gtest GTest::gmock)
  if(NOT ARG_WIDGETS)
    target_link_libraries(${ARG_NAME} PRIVATE GTest::gtest_main)
  endif()
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  if(ARG_WIDGETS)
    set_tests_properties(${ARG_NAME} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()
