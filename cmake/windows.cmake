# The Windows tree (see mingw-w64.cmake): what Linux takes from its packages comes from the
# machine's sources and headers here, and the tests run under Wine.

# GoogleTest built from Debian's own sources (it names its targets GTest::gtest and
# GTest::gtest_main, as the Linux package does).
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -Wno-error)
target_compile_options(gtest_main PRIVATE -Wno-error)

# Header-only libraries of the host (CLI11, nlohmann/json): only their own folder is put on the
# include path, never /usr/include, whose C headers would shadow mingw's. A small config file
# per library lets find_package find it as on Linux.
set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
set(host_packages ${CMAKE_BINARY_DIR}/host-packages)
function(pos_host_header_library package target folder)
    if(NOT EXISTS /usr/include/${folder})
        return()
    endif()
    file(MAKE_DIRECTORY ${host_headers} ${host_packages}/${package})
    file(CREATE_LINK /usr/include/${folder} ${host_headers}/${folder} SYMBOLIC)
    file(WRITE ${host_packages}/${package}/${package}Config.cmake
         "if(NOT TARGET ${target})\n"
         "    add_library(${target} INTERFACE IMPORTED)\n"
         "    set_target_properties(${target} PROPERTIES\n"
         "        INTERFACE_INCLUDE_DIRECTORIES ${host_headers})\n"
         "endif()\n")
    # The host package's own version check answers a find_package with a version.
    set(version_file /usr/share/cmake/${package}/${package}ConfigVersion.cmake)
    if(EXISTS ${version_file})
        file(WRITE ${host_packages}/${package}/${package}ConfigVersion.cmake
             "include(${version_file})\n")
    endif()
    set(${package}_DIR ${host_packages}/${package} CACHE PATH "" FORCE)
endfunction()
pos_host_header_library(CLI11 CLI11::CLI11 CLI)
pos_host_header_library(nlohmann_json nlohmann_json::nlohmann_json nlohmann)

# Tests run under Wine, in a Wine prefix of this tree's own, made once here: no Mono or Gecko
# installer is offered, and Wine's own messages stay out of the test logs.
find_program(WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(WINE64 NAMES wine64)
if(WINE64)
    set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    set(WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
    file(WRITE ${WINE_RUN}
         "#!/bin/sh\n"
         "# Runs a Windows program of this tree under Wine.\n"
         "export WINEPREFIX='${WINE_PREFIX}' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml='\n"
         "exec '${WINE64}' \"$@\"\n")
    file(CHMOD ${WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    if(NOT EXISTS ${WINE_PREFIX}/system.reg)
        message(STATUS "Making the Wine prefix ${WINE_PREFIX}")
        execute_process(COMMAND ${WINE_RUN} wineboot -i OUTPUT_QUIET ERROR_QUIET)
    endif()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN})
else()
    message(WARNING "wine64 not found: the Windows tests cannot run here")
endif()
