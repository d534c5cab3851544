# Benchmark drivers: they print figures and never fail a build. Each block
# stands on its own so more drivers can be added below.

# Kit decompression, each backend, against bare ISA-L and zlib inflate loops.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/decompress_bench.cc)
  add_executable(decompress_bench decompress_bench.cc)
  target_link_libraries(decompress_bench PRIVATE ordx_kit ZLIB::ZLIB)
endif()

# A whole installation against tar -xzf of the same tree.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/install_bench.cc)
  add_executable(install_bench install_bench.cc)
  target_link_libraries(install_bench PRIVATE ordx_engine ZLIB::ZLIB)
endif()

# Time and peak memory of opening hostile kits.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/kit_bounds_bench.cc)
  add_executable(kit_bounds_bench kit_bounds_bench.cc)
  target_include_directories(kit_bounds_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(kit_bounds_bench PRIVATE ordx_kit ZLIB::ZLIB)
endif()
