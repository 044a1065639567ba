# Accessibility scans and element tools on large fixture windows. Needs the virtual desktop
# (scripts/desktop-stack-up.sh); prints its figures.
if(NOT TARGET velmor-fixture-app)
  return()  # the fixture application comes with the tests
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_ATSPI REQUIRED IMPORTED_TARGET atspi-2 gobject-2.0)
velmor_add_bench(velmor_automation_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/automation_scan_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/automation_naive_walk.cpp
          ${CMAKE_CURRENT_LIST_DIR}/bench_stats.cpp ${CMAKE_CURRENT_LIST_DIR}/session_start_timing.cpp
  LIBS velmor_automation velmor_test_support velmor_fixture_support PkgConfig::BENCH_ATSPI)
target_compile_definitions(velmor_automation_bench PRIVATE
  VELMOR_FIXTURE_APP="$<TARGET_FILE:velmor-fixture-app>")
add_dependencies(velmor_automation_bench velmor-fixture-app)

# session_start on a Qt 5 window and tools/list while element tools run.
velmor_add_bench(velmor_desktop_control_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/desktop_control_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/bench_stats.cpp
          ${CMAKE_CURRENT_LIST_DIR}/session_start_timing.cpp
  LIBS velmor_tools velmor_automation velmor_test_support velmor_fixture_support)
target_compile_definitions(velmor_desktop_control_bench PRIVATE
  VELMOR_FIXTURE_APP="$<TARGET_FILE:velmor-fixture-app>"
  VELMOR_QT5_FORM="${PROJECT_SOURCE_DIR}/tests/fixtures/qt5_form.py")
add_dependencies(velmor_desktop_control_bench velmor-fixture-app)

# Element actions answered once the interface has settled: idle, and with a dialog opening
# on a loaded machine.
velmor_add_bench(velmor_settle_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settle_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/bench_stats.cpp
  LIBS velmor_automation velmor_test_support velmor_fixture_support)
target_compile_definitions(velmor_settle_bench PRIVATE
  VELMOR_FIXTURE_APP="$<TARGET_FILE:velmor-fixture-app>"
  VELMOR_QT5_FORM="${PROJECT_SOURCE_DIR}/tests/fixtures/qt5_form.py")
add_dependencies(velmor_settle_bench velmor-fixture-app)
