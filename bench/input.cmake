# The screenshot tool and press_key on the virtual desktop (scripts/desktop-stack-up.sh);
# prints its figures.
if(NOT TARGET velmor-fixture-app)
  return()  # the fixture application comes with the tests
endif()
velmor_add_bench(velmor_input_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/input_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/bench_stats.cpp
  LIBS velmor_tools velmor_automation velmor_test_support velmor_fixture_support)
target_compile_definitions(velmor_input_bench PRIVATE
  VELMOR_FIXTURE_APP="$<TARGET_FILE:velmor-fixture-app>")
add_dependencies(velmor_input_bench velmor-fixture-app)

# Element presses and typing on headless sway against the X11 desktop, in one run: needs both
# (scripts/desktop-stack-up.sh, scripts/wayland-stack-up.sh).
velmor_add_bench(velmor_wayland_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wayland_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/bench_stats.cpp
  LIBS velmor_tools velmor_automation velmor_test_support velmor_fixture_support)
target_compile_definitions(velmor_wayland_bench PRIVATE
  VELMOR_FIXTURE_APP="$<TARGET_FILE:velmor-fixture-app>")
add_dependencies(velmor_wayland_bench velmor-fixture-app)
