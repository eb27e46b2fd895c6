# Tessary's main window against loopback peers, and the program itself.
add_executable(setuptool_gui_tests
    ${CMAKE_SOURCE_DIR}/tests/platform/qt_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_harness.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_harness.h
    ${CMAKE_CURRENT_LIST_DIR}/main_window_layout_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_shell_test.cpp
)
target_link_libraries(setuptool_gui_tests PRIVATE setuptool_gui Qt6::Test GTest::gtest)
if(TARGET test_fakes)
    target_sources(setuptool_gui_tests PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/main_window_commands_test.cpp)
    target_link_libraries(setuptool_gui_tests PRIVATE test_fakes)
endif()
add_dependencies(setuptool_gui_tests tessary)
target_compile_definitions(setuptool_gui_tests PRIVATE TESSARY_PROGRAM="$<TARGET_FILE:tessary>")
gtest_discover_tests(setuptool_gui_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "gui")
# The language cases once more as an ordinary user, so the read-only folder really is read-only.
add_test(NAME Language.UnwritableAsOrdinaryUser
    COMMAND ${CMAKE_SOURCE_DIR}/tests/run_unprivileged.sh $<TARGET_FILE:setuptool_gui_tests>
            --gtest_filter=Language.*)
set_tests_properties(Language.UnwritableAsOrdinaryUser PROPERTIES SKIP_RETURN_CODE 77
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "gui")
