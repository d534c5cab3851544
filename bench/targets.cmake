# Benchmark drivers: they print figures and never fail a build. Each block
# stands on its own so more drivers can be added below.

# Kit decompression against a plain zlib inflate loop.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/decompress_bench.cc)
  add_executable(decompress_bench decompress_bench.cc)
  target_link_libraries(decompress_bench PRIVATE ordx_kit ZLIB::ZLIB)
endif()
