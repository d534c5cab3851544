# app_tests: the installer dialog's path rules (no display) and the whole
# wizard driven in-process (skipped without a display).
add_executable(app_tests
  installer_helpers_test.cc
  installer_flow_test.cc
  ${PROJECT_SOURCE_DIR}/tests/ui/gui_test_support.cc
  ${PROJECT_SOURCE_DIR}/tests/ui/installer_harness.cc)
target_include_directories(app_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(app_tests PRIVATE ordx_app ZLIB::ZLIB)
ordx_add_test(app_tests)

# app_binary_tests: the real ordx-install without a display.
# app_keys_tests: the real ordx-install under the display, driven with
# xdotool; they need the X keyboard focus, which any other window test may
# take (a dialog takes it when it opens), so they run alone.
foreach(suite binary keys)
  add_executable(app_${suite}_tests
    installer_${suite}_test.cc
    ${PROJECT_SOURCE_DIR}/tests/ui/installer_harness.cc)
  target_include_directories(app_${suite}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(app_${suite}_tests PRIVATE ordx_app ZLIB::ZLIB)
  target_compile_definitions(app_${suite}_tests PRIVATE
    ORDX_INSTALL_BINARY="$<TARGET_FILE:ordx-install>"
    ORDX_SUPPRESSIONS_DIR="${PROJECT_SOURCE_DIR}/tests/ui")
  add_dependencies(app_${suite}_tests ordx-install)
endforeach()
ordx_add_test(app_binary_tests)
target_link_libraries(app_keys_tests PRIVATE GTest::gtest GTest::gtest_main Threads::Threads)
gtest_discover_tests(app_keys_tests
  DISCOVERY_TIMEOUT 60
  # One value per property: gtest_discover_tests splits list values apart.
  PROPERTIES ENVIRONMENT "TMPDIR=${ORDX_TEST_SANDBOX}/tmp"
             ENVIRONMENT_MODIFICATION "HOME=set:${ORDX_TEST_SANDBOX}/home"
             TIMEOUT 300
             RUN_SERIAL TRUE)
