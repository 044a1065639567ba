# Speech figures: prefetching a narration script, and how soon the system voice is heard.
if(TARGET velmor_speech_test_support)
  velmor_add_bench(velmor_speech_bench SOURCES speech_bench.cpp bench_stats.cpp
    LIBS velmor_media velmor_tools velmor_speech_test_support)
endif()
