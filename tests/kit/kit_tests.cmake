# kit_tests: decompression with each inflate backend and their agreement,
# the kit reader, hostile kits, the ordx-kit binary.
add_executable(kit_tests decompress_test.cc inflate_agreement_test.cc kit_reader_test.cc
  kit_hostile_test.cc ordx_kit_test.cc)
target_link_libraries(kit_tests PRIVATE ordx_kit ZLIB::ZLIB)
target_compile_definitions(kit_tests PRIVATE ORDX_KIT_BINARY="$<TARGET_FILE:ordx-kit>"
  ORDX_EXPECTED_VERSION="${PROJECT_VERSION}"
  ORDX_KIT_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus/kit_fuzzer")
add_dependencies(kit_tests ordx-kit)
ordx_add_test(kit_tests)
