# Qt-free platform pieces: GBK/UTF-8 conversion, decimal text parsing, the clock.
add_library(platform_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/text_codec.cpp
    ${CMAKE_CURRENT_LIST_DIR}/decimal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/clock.cpp
)
target_include_directories(platform_core PUBLIC ${CMAKE_SOURCE_DIR})
# Plain C++: no moc run needed.
set_target_properties(platform_core PROPERTIES AUTOMOC OFF)
