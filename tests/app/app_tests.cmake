# app_tests: the installer dialog's path rules (no display) and the whole
# wizard driven in-process. app_binary_tests: the real ordx-install, without
# a display and driven with xdotool under it; key presses need the X keyboard
# focus, which any other window test may take, so these run alone.
add_executable(app_tests installer_helpers_test.cc installer_flow_test.cc
  ${PROJECT_SOURCE_DIR}/tests/ui/gui_test_support.cc
  ${PROJECT_SOURCE_DIR}/tests/ui/installer_harness.cc)
add_executable(app_binary_tests installer_binary_test.cc
  ${PROJECT_SOURCE_DIR}/tests/ui/installer_harness.cc)
target_compile_definitions(app_binary_tests PRIVATE
  ORDX_INSTALL_BINARY="$<TARGET_FILE:ordx-install>"
  ORDX_EXPECTED_VERSION="${PROJECT_VERSION}"
  ORDX_SUPPRESSIONS_DIR="${PROJECT_SOURCE_DIR}/tests/ui")
add_dependencies(app_binary_tests ordx-install)
foreach(target app_tests app_binary_tests)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE ordx_app ZLIB::ZLIB)
endforeach()
ordx_add_test(app_tests)
target_link_libraries(app_binary_tests PRIVATE GTest::gtest GTest::gtest_main Threads::Threads)
gtest_discover_tests(app_binary_tests DISCOVERY_TIMEOUT 60
  # One value per property: gtest_discover_tests splits list values apart.
  PROPERTIES ENVIRONMENT "TMPDIR=${ORDX_TEST_SANDBOX}/tmp"
             ENVIRONMENT_MODIFICATION "HOME=set:${ORDX_TEST_SANDBOX}/home"
             TIMEOUT 300 RUN_SERIAL TRUE)
# The key-press suite's own name builds it.
add_custom_target(app_keys_tests)
add_dependencies(app_keys_tests app_binary_tests)
