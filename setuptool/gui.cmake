# Tessary's windows (Qt) and the program.
add_library(setuptool_gui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/about_box.cpp
    ${CMAKE_CURRENT_LIST_DIR}/about_box.h
    ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window.h
    ${CMAKE_CURRENT_LIST_DIR}/main_window_layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_layout.h
    ${CMAKE_CURRENT_LIST_DIR}/udp_socket.cpp
    ${CMAKE_CURRENT_LIST_DIR}/udp_socket.h
    ${CMAKE_CURRENT_LIST_DIR}/res/tessary.qrc
)
target_link_libraries(setuptool_gui PUBLIC setuptool_core commands_core printerlink platform_gui
                      platform_core Qt6::Widgets)

add_executable(tessary ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(tessary PRIVATE setuptool_gui)
set_target_properties(tessary PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/setuptool)
