add_executable(setuptool_core_tests
    ${CMAKE_CURRENT_LIST_DIR}/random_mac_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/init_params_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/captions_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_text_test.cpp
)
target_link_libraries(setuptool_core_tests PRIVATE setuptool_core GTest::gtest_main)
set_target_properties(setuptool_core_tests PROPERTIES AUTOMOC OFF)
gtest_discover_tests(setuptool_core_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "core")
# The unwritable-folder cases once more as an ordinary user (they skip under root).
add_test(NAME InitParamsTest.UnwritableAsOrdinaryUser
    COMMAND ${CMAKE_SOURCE_DIR}/tests/run_unprivileged.sh $<TARGET_FILE:setuptool_core_tests>
            --gtest_filter=InitParamsTest.*)
set_tests_properties(InitParamsTest.UnwritableAsOrdinaryUser PROPERTIES SKIP_RETURN_CODE 77
    LABELS "core")
