# engine_tests: install state, worker thread, tree operations and the
# install worker, including the fault-injection sweep.
add_executable(engine_tests
  ${CMAKE_CURRENT_LIST_DIR}/install_state_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/tree_ops_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/install_worker_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/worker_thread_test.cc)
target_link_libraries(engine_tests PRIVATE ordx_engine ZLIB::ZLIB)
ordx_add_test(engine_tests LABELS threads)
