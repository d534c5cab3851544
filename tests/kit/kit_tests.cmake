# kit_tests: decompression, the kit reader, other encoders' kits, the ordx-kit binary.
add_executable(kit_tests decompress_test.cc kit_reader_test.cc kit_encoders_test.cc
  ordx_kit_test.cc)
target_link_libraries(kit_tests PRIVATE ordx_kit ZLIB::ZLIB)
target_compile_definitions(kit_tests PRIVATE ORDX_KIT_BINARY="$<TARGET_FILE:ordx-kit>"
  ORDX_EXPECTED_VERSION="${PROJECT_VERSION}")
add_dependencies(kit_tests ordx-kit)
ordx_add_test(kit_tests)
