# The page half's figures against a real headless Chromium: web_scan of a page with 1,000
# controls and one web_execute_js round trip.
velmor_add_bench(velmor_web_bench
  SOURCES web_bench.cpp bench_stats.cpp ${PROJECT_SOURCE_DIR}/tests/browser/headless_chromium.cpp
  LIBS velmor_tools velmor_browser velmor_test_support)
target_compile_definitions(velmor_web_bench PRIVATE VELMOR_WEB_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures/web")
