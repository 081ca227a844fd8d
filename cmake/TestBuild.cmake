# How the test programs compile. They are most of a fresh build (CI, a clean
# clone), and most of their time went to parsing the same headers (gtest, the
# standard library, Qt) again for each file, and to full debug information
# that a failing test never reads: line tables give its backtraces their
# file and line. So each test target compiles its files a batch at a time,
# with line tables only, and optimised less: a test's own code waits on the
# program under test, not the other way round. The shipped programs and their
# libraries keep their build type and full debug information.

# Test targets whose files clash when they share a translation unit: they
# keep one each.
set(ZORVEX_TESTS_APART
  # Each of its files names its own loopback host kHost.
  service_loopback_tests)

# zorvex_tune_tests(DIR): the above for every target defined in DIR and below.
function(zorvex_tune_tests dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY)$")
      continue()
    endif()
    target_compile_options(${target} PRIVATE $<$<CONFIG:RelWithDebInfo>:-g1 -O1>)
    if(NOT target IN_LIST ZORVEX_TESTS_APART)
      set_target_properties(${target} PROPERTIES UNITY_BUILD ON)
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    zorvex_tune_tests(${subdirectory})
  endforeach()
endfunction()

zorvex_tune_tests(${PROJECT_SOURCE_DIR}/tests)
