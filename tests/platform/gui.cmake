# Qt platform layer: cross-thread calls, message sinks, dialog-unit layout, IPv4 edit.
add_executable(platform_gui_tests
    ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_thread_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog_layout_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ipv4_edit_test.cpp
)
target_link_libraries(platform_gui_tests PRIVATE platform_gui Qt6::Test GTest::gtest)
gtest_discover_tests(platform_gui_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "gui")
