# Tests never touch the real home or temporary directory: every test process
# starts with HOME and TMPDIR pointing into the build tree (fixtures then make
# their own folders below them).
include(GoogleTest)

set(ORDX_TEST_SANDBOX ${CMAKE_BINARY_DIR}/test-sandbox)
file(MAKE_DIRECTORY ${ORDX_TEST_SANDBOX}/home ${ORDX_TEST_SANDBOX}/tmp)

# ordx_add_test(target [WINDOWS] [LABELS label...]): "threads" marks the suites
# that the ThreadSanitizer run executes. WINDOWS suites open windows on the one
# X display: two of them at once take each other's focus and pointer, and GTK
# then meets windows of the other process, so they never run side by side.
function(ordx_add_test target)
  cmake_parse_arguments(ARG "WINDOWS" "" "LABELS" ${ARGN})
  set(lock "")
  if(ARG_WINDOWS)
    set(lock RESOURCE_LOCK display)
  endif()
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set(labels ${ARG_LABELS})
  if(NOT labels)
    set(labels unit)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    # One value per property: gtest_discover_tests splits list values apart.
    PROPERTIES ENVIRONMENT "TMPDIR=${ORDX_TEST_SANDBOX}/tmp"
               ENVIRONMENT_MODIFICATION "HOME=set:${ORDX_TEST_SANDBOX}/home"
               TIMEOUT 300
               LABELS "${labels}"
               ${lock})
endfunction()
