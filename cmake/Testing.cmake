# GoogleTest: Debian's packaged build natively; built from Debian's
# googletest sources for the Windows tree.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# stowaway_add_test(target [INSTALLERS]): natively every case is its own
# ctest test; under Wine a whole program is one test, since each start of
# Wine costs a second. INSTALLERS: the program runs installers, which find
# their front-end's window by title in the prefix's one desktop and use its
# system folder, so no two such programs may run at once.
function(stowaway_add_test target)
  cmake_parse_arguments(PARSE_ARGV 1 test "INSTALLERS" "" "")
  # A hung test must fail the run, not stall it.
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES TIMEOUT 900)
    if(test_INSTALLERS)
      set_tests_properties(${target} PROPERTIES RESOURCE_LOCK wine_desktop)
    endif()
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
