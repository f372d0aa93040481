# matrix_add_test(NAME <name> SOURCES <files...> LABEL <unit|integration|netns>
#                 [TIMEOUT <seconds>] [LIBS <extra libs...>])
# Registers one QtTest executable with CTest, run on the offscreen platform.
function(matrix_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(MATRIX_SANITIZE)
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 3") # sanitized code runs slower
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE testsupport ${T_LIBS} Qt6::Test)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    LABELS "${T_LABEL}"
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MATRIX_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
