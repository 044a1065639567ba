velmor_add_bench(mcp_endpoint_bench SOURCES mcp_endpoint_bench.cpp bench_stats.cpp
  LIBS velmor_test_support nlohmann_json::nlohmann_json)
