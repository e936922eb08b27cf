# trovix_add_library(NAME SOURCES ... LIBS ...): one static library per source folder.
function(trovix_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC trovix_common_cfg ${ARG_LIBS})
endfunction()

# trovix_add_test(NAME SOURCES ... LIBS ... [GUI] [SESSION_BUS] [LABELS ...] [TIMEOUT s])
# A GoogleTest executable registered with CTest. GUI tests start their own Xvfb
# (see tests/support/GuiTestMain.cpp) and carry the label "gui", so
# `ctest -LE gui` runs the fast set. SESSION_BUS runs the test under
# dbus-run-session: a private session bus of its own.
function(trovix_add_test name)
  cmake_parse_arguments(ARG "GUI;SESSION_BUS" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE trovix_test_support_gui ${ARG_LIBS})
    list(APPEND ARG_LABELS gui)
  else()
    target_link_libraries(${name} PRIVATE trovix_test_support ${ARG_LIBS})
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(ARG_SESSION_BUS)
    add_test(NAME ${name} COMMAND dbus-run-session
             --config-file=${PROJECT_SOURCE_DIR}/tests/testlib/session-bus.conf -- $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()
