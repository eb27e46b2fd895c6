add_executable(platform_core_tests
    ${CMAKE_CURRENT_LIST_DIR}/text_codec_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/decimal_test.cpp
)
target_link_libraries(platform_core_tests PRIVATE platform_core Threads::Threads GTest::gtest_main)
set_target_properties(platform_core_tests PROPERTIES AUTOMOC OFF)
gtest_discover_tests(platform_core_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "core")
