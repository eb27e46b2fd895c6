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

# Programs that show windows run in a second prefix, each on an X server of its own
# (wine-windows-run): the console tests' Wine sessions have no display, and a session that
# started without one cannot show windows. The prefix is a copy of the first.
find_program(WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine)
find_program(XVFB Xvfb)
if(WINE64 AND WINESERVER AND XVFB)
    set(WINE_WINDOWS_PREFIX ${CMAKE_BINARY_DIR}/wineprefix-windows)
    set(WINE_WINDOWS_RUN ${CMAKE_BINARY_DIR}/wine-windows-run)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-windows-run.in ${WINE_WINDOWS_RUN} @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
    if(NOT EXISTS ${WINE_WINDOWS_PREFIX}/system.reg)
        message(STATUS "Making the Wine prefix ${WINE_WINDOWS_PREFIX}")
        # The first prefix's registry is written when its session ends.
        execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${WINE_PREFIX} ${WINESERVER} -w)
        execute_process(COMMAND cp -a ${WINE_PREFIX} ${WINE_WINDOWS_PREFIX})
        # Its settings, imported as the registry editor wants them (UTF-16).
        execute_process(COMMAND iconv -f UTF-8 -t UTF-16 ${CMAKE_SOURCE_DIR}/cmake/wine-windows.reg
                        OUTPUT_FILE ${CMAKE_BINARY_DIR}/wine-windows.reg)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${WINE_WINDOWS_PREFIX} WINEDEBUG=-all
                    ${WINE64} regedit /S Z:${CMAKE_BINARY_DIR}/wine-windows.reg
            OUTPUT_QUIET ERROR_QUIET)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${WINE_WINDOWS_PREFIX} ${WINESERVER} -w)
    endif()
endif()

# A test whose program shows windows: under wine-windows-run, one at a time. Without Wine or Xvfb
# it is listed as skipped.
function(pos_windows_test name)
    if(NOT WINE_WINDOWS_RUN)
        add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "skipped: no Wine or no Xvfb")
        set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "skipped:" LABELS windows)
        return()
    endif()
    add_test(NAME ${name} COMMAND ${WINE_WINDOWS_RUN} ${ARGN})
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_windows LABELS windows TIMEOUT 300)
endfunction()

# A Windows program with windows (GUI subsystem, no console) and its resources: the icon
# res/<ICON>.ico of the calling folder, version information and a manifest asking for common
# controls 6 and per-monitor DPI awareness, without elevation.
enable_language(RC)
function(pos_windows_program target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;ICON;VERSION;DESCRIPTION" "SOURCES;LIBRARIES")
    set(PROGRAM_NAME ${arg_NAME})
    set(PROGRAM_DESCRIPTION ${arg_DESCRIPTION})
    string(TOUPPER ${arg_ICON} PROGRAM_ICON)  # the window's icon by the name DialogSpec gives
    set(PROGRAM_ICON_FILE ${CMAKE_CURRENT_SOURCE_DIR}/res/${arg_ICON}.ico)
    string(REPLACE "." ";" parts "${arg_VERSION}.0.0.0")
    list(SUBLIST parts 0 4 parts)
    list(JOIN parts "." PROGRAM_VERSION4)
    list(JOIN parts "," PROGRAM_VERSION_COMMAS)
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources)
    set(PROGRAM_MANIFEST ${folder}/${arg_NAME}.manifest)
    configure_file(${CMAKE_SOURCE_DIR}/platform/win32/program.manifest.in ${PROGRAM_MANIFEST}
                   @ONLY)
    configure_file(${CMAKE_SOURCE_DIR}/platform/win32/program.rc.in ${folder}/${arg_NAME}.rc
                   @ONLY)
    set_source_files_properties(${folder}/${arg_NAME}.rc PROPERTIES
                                OBJECT_DEPENDS "${PROGRAM_ICON_FILE};${PROGRAM_MANIFEST}")
    add_executable(${target} WIN32 ${arg_SOURCES} ${folder}/${arg_NAME}.rc)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${arg_NAME})
    target_link_libraries(${target} PRIVATE ${arg_LIBRARIES})
endfunction()

# The paper's libraries and fonts (zint, FreeType, libpng built for Windows into a cache).
include(${CMAKE_CURRENT_LIST_DIR}/windows-libs.cmake)
