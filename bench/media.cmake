# The recorder's CPU use on the virtual desktop and the narration merge's speed.
velmor_add_bench(velmor_recording_bench SOURCES recording_bench.cpp bench_stats.cpp ${PROJECT_SOURCE_DIR}/tests/media/media_probe.cpp
  LIBS velmor_tools velmor_platform velmor_test_support velmor_fixture_support)

# A narrated demo of the GTK fixture in the system voice, end to end.
if(TARGET velmor-fixture-app)
  velmor_add_bench(velmor_narrated_demo_bench
    SOURCES narrated_demo_bench.cpp bench_stats.cpp ${PROJECT_SOURCE_DIR}/tests/media/media_probe.cpp
    LIBS velmor_tools velmor_automation velmor_test_support velmor_fixture_support)
  target_compile_definitions(velmor_narrated_demo_bench PRIVATE VELMOR_FIXTURE_APP="$<TARGET_FILE:velmor-fixture-app>")
  add_dependencies(velmor_narrated_demo_bench velmor-fixture-app)
endif()
