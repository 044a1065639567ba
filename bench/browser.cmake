# The browser side's figures: a page-agent tool call round trip over loopback, and building
# the tool list with many connected pages.
if(NOT TARGET velmor_page_client)
  return()  # the test helpers come with the tests
endif()
velmor_add_bench(velmor_browser_bench
  SOURCES browser_bench.cpp bench_stats.cpp
  LIBS velmor_browser velmor_tools velmor_page_client nlohmann_json::nlohmann_json)
