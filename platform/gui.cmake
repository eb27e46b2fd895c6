# Qt stand-ins for the dialog platform: dialog-unit layout, IPv4 edit, message sink, cross-thread
# calls.
add_library(platform_gui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/dialog_layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog_layout.h
    ${CMAKE_CURRENT_LIST_DIR}/ipv4_edit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ipv4_edit.h
    ${CMAKE_CURRENT_LIST_DIR}/message_sink.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_sink.h
    ${CMAKE_CURRENT_LIST_DIR}/ui_thread.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_thread.h
)
target_link_libraries(platform_gui PUBLIC Qt6::Widgets Threads::Threads)
