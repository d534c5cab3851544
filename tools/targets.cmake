# ordx-kit, the kit makers' tool. Its packing code is a library of its own so
# that the kit tests can drive it directly.
add_library(ordx_kit_tool STATIC kit_packer.cc utf8.cc)
target_include_directories(ordx_kit_tool PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(ordx_kit_tool PUBLIC ordx_kit ZLIB::ZLIB)

add_executable(ordx-kit ordx_kit.cc)
target_link_libraries(ordx-kit PRIVATE ordx_kit_tool)
