# The page half's figures against a real headless Chromium: web_scan of a page with 1,000
# controls and of one with frames and shadow roots, and one web_execute_js round trip.
if(NOT TARGET velmor_headless_chromium)
  return()  # the test helpers come with the tests
endif()
velmor_add_bench(velmor_web_bench
  SOURCES web_bench.cpp bench_stats.cpp
  LIBS velmor_tools velmor_browser velmor_headless_chromium)
