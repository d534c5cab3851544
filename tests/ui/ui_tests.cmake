# ui_tests: message box flags, the console presenter and the pictures (no
# display needed); pages, dialogs and the fit of every translation (skipped
# without a display).
add_executable(ui_tests
  presenter_test.cc
  images_test.cc
  pages_test.cc
  text_fit_test.cc
  page_tour.cc
  gui_test_support.cc
  installer_harness.cc)
target_include_directories(ui_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(ui_tests PRIVATE ordx_app ZLIB::ZLIB)
ordx_add_test(ui_tests)

# Screenshots of every page in every language (scripts/screenshots.sh).
add_executable(ordx_screenshots
  screenshot_tool.cc
  page_tour.cc
  installer_harness.cc
  gui_test_support.cc)
target_include_directories(ordx_screenshots PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(ordx_screenshots PRIVATE ordx_app ZLIB::ZLIB)
