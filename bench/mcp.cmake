velmor_add_bench(mcp_endpoint_bench SOURCES mcp_endpoint_bench.cpp bench_stats.cpp velmor_probe.cpp
  LIBS velmor_test_support nlohmann_json::nlohmann_json)
velmor_add_bench(velmor_shell_startup_bench SOURCES shell_startup_bench.cpp bench_stats.cpp velmor_probe.cpp
  LIBS velmor_test_support)
velmor_add_bench(bridge_vs_sdk_bench SOURCES bridge_vs_sdk_bench.cpp bench_stats.cpp
  LIBS velmor_test_support velmor_mcp velmor_tools nlohmann_json::nlohmann_json)
target_compile_definitions(bridge_vs_sdk_bench PRIVATE VELMOR_MCP_SDK_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures/mcp-sdk")
