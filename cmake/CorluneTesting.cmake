# corlune_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#                  [TIMEOUT <seconds>] [ENVIRONMENT <VAR=value...>])
# Builds one GoogleTest executable and registers it with CTest as a single test.
# Labels: "unit" (pure logic, no display or bus; also run under the sanitizers),
#         "gui" (needs an X display), "net" (real sockets on loopback), "secret" (Secret Service),
#         "netns" (needs root to make network namespaces), "e2e" (real binaries), "slow".
function(corlune_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  # The sanitizer build runs only the unit tests; the others are registered but not built there.
  if(CORLUNE_SANITIZE AND NOT "unit" IN_LIST T_LABELS)
    add_executable(${T_NAME} EXCLUDE_FROM_ALL ${T_SOURCES})
  else()
    add_executable(${T_NAME} ${T_SOURCES})
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  if(T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()
