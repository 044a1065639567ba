# The shortcut tools' figures: tools/list with a library of 50 shortcuts once the listing
# is read, and run_shortcut of a three-action shortcut through the real velmor-shortcuts.
velmor_add_bench(shortcuts_bench SOURCES shortcuts_bench.cpp bench_stats.cpp
  LIBS velmor_tools velmor_shortcuts velmor_test_support)
target_compile_definitions(shortcuts_bench PRIVATE VELMOR_SHORTCUTS_BINARY="$<TARGET_FILE:velmor-shortcuts>")
add_dependencies(shortcuts_bench velmor-shortcuts)
