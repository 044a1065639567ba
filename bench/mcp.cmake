velmor_add_bench(mcp_endpoint_bench SOURCES mcp_endpoint_bench.cpp bench_stats.cpp velmor_probe.cpp
  LIBS velmor_test_support nlohmann_json::nlohmann_json)
velmor_add_bench(velmor_shell_startup_bench SOURCES shell_startup_bench.cpp bench_stats.cpp velmor_probe.cpp
  LIBS velmor_test_support)
