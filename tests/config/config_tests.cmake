# config_tests: the starter's key=value files and the template locations.
add_executable(config_tests
  ${CMAKE_CURRENT_LIST_DIR}/config_file_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/template_locations_test.cc)
target_link_libraries(config_tests PRIVATE ordx_config)
ordx_add_test(config_tests)
