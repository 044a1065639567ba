# The browser side's figures: a page-agent tool call round trip over loopback, and building
# the tool list with many connected pages.
velmor_add_bench(velmor_browser_bench
  SOURCES browser_bench.cpp bench_stats.cpp ${PROJECT_SOURCE_DIR}/tests/browser/page_client.cpp
  LIBS velmor_browser nlohmann_json::nlohmann_json)
