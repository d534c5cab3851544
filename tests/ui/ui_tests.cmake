# ui_tests: message box flags and results and the pictures (no
# display needed), the GTK message box and the fit of every translation.
add_executable(ui_tests ui_parts_test.cc text_fit_test.cc page_tour.cc
  gui_test_support.cc installer_harness.cc)
# ordx_screenshots: every page in every language (scripts/screenshots.sh).
add_executable(ordx_screenshots screenshot_tool.cc page_tour.cc gui_test_support.cc
  installer_harness.cc)
foreach(target ui_tests ordx_screenshots)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE ordx_app ZLIB::ZLIB)
endforeach()
ordx_add_test(ui_tests)
# The helpers report missed deadlines as test failures.
target_link_libraries(ordx_screenshots PRIVATE GTest::gtest)
