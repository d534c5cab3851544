# engine_tests: install state, worker thread and the install worker, whose
# fault-injection sweep also drives the directory tree operations.
add_executable(engine_tests
  ${CMAKE_CURRENT_LIST_DIR}/install_state_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/install_worker_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/worker_thread_test.cc)
target_link_libraries(engine_tests PRIVATE ordx_engine ZLIB::ZLIB)
ordx_add_test(engine_tests LABELS threads)
