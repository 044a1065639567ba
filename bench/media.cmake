# The recorder's CPU use on the virtual desktop and the narration merge's speed.
velmor_add_bench(velmor_recording_bench SOURCES recording_bench.cpp bench_stats.cpp ${PROJECT_SOURCE_DIR}/tests/media/media_probe.cpp
  LIBS velmor_tools velmor_platform velmor_test_support)
