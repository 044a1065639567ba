# The desktop tools on a headless mutter (scripts/mutter-stack-up.sh, named by
# VELMOR_MUTTER_STACK); prints its figures.
if(NOT TARGET velmor-fixture-app)
  return()  # the fixture application comes with the tests
endif()
velmor_add_bench(velmor_gnome_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gnome_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/bench_stats.cpp
  LIBS velmor_tools velmor_automation velmor_test_support velmor_fixture_support)
target_compile_definitions(velmor_gnome_bench PRIVATE VELMOR_FIXTURE_APP="$<TARGET_FILE:velmor-fixture-app>")
add_dependencies(velmor_gnome_bench velmor-fixture-app)
