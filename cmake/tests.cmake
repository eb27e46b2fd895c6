# Registers a GoogleTest program's cases with CTest. On Linux each case is a test of its own
# (gtest_discover_tests, same arguments). Where tests run under an emulator (Wine), starting a
# program per case would cost more than the cases, so the program runs once per call, with the
# call's TEST_FILTER, as one test named after its TEST_LIST (else the program).
function(pos_gtest_discover target)
    if(NOT CMAKE_CROSSCOMPILING)
        gtest_discover_tests(${target} ${ARGN})
        return()
    endif()
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "TEST_FILTER;TEST_LIST;DISCOVERY_MODE"
                          "PROPERTIES")
    set(name ${target})
    if(arg_TEST_LIST)
        set(name ${arg_TEST_LIST})
    endif()
    set(filter)
    if(arg_TEST_FILTER)
        set(filter --gtest_filter=${arg_TEST_FILTER})
    endif()
    add_test(NAME ${name} COMMAND ${target} ${filter} --gtest_brief=1)
    # A whole program in one go: its cases' time limits add up.
    set_tests_properties(${name} PROPERTIES ${arg_PROPERTIES})
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()
