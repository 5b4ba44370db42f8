# SPDX-License-Identifier: GPL-3.0-or-later
# stowmere_add_test(NAME name SOURCES ... LIBRARIES ... [WIDGETS])
# One GoogleTest executable whose cases CTest lists one by one ("name.Suite.Case"), found
# when ctest runs so that a plain `ctest -N` shows every case. WIDGETS tests share one
# Qt main and run against the offscreen Qt platform, so a plain `ctest` needs no display.
include(GoogleTest)

function(stowmere_add_test)
  cmake_parse_arguments(ARG "WIDGETS" "NAME" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE stowmere_options ${ARG_LIBRARIES} GTest::gtest GTest::gmock)
  if(ARG_WIDGETS)
    target_link_libraries(${ARG_NAME} PRIVATE stowmere_qt_test_main)
    set(environment "QT_QPA_PLATFORM=offscreen")
  else()
    target_link_libraries(${ARG_NAME} PRIVATE GTest::gtest_main)
    set(environment "")
  endif()
  gtest_discover_tests(${ARG_NAME}
    TEST_PREFIX "${ARG_NAME}."
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${environment}")
endfunction()
