# Qt-free part of Tessary: MAC proposal, parameters file, caption tables, test page bytes.
add_library(setuptool_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/random_mac.cpp
    ${CMAKE_CURRENT_LIST_DIR}/init_params.cpp
    ${CMAKE_CURRENT_LIST_DIR}/captions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_text.cpp
)
target_include_directories(setuptool_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(setuptool_core PUBLIC platform_core)
# Plain C++: no moc run needed.
set_target_properties(setuptool_core PROPERTIES AUTOMOC OFF)
