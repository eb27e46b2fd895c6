# The Windows tree's paper: zint, FreeType and libpng built for Windows from Debian's sources of
# the versions installed here (scripts/windows-libs.sh, once, into a cache outside the tree), zlib
# from libz-mingw-w64-dev, all linked statically into the programs; and the printer fonts, which
# travel beside each program that draws (a `fonts` folder, as the installer lays them out).
#   paper_libraries       the libraries with their headers (an imported target)
#   http_library          cpp-httplib, one header compiled into the console, with Winsock
#   POS_PAPER_FONT_FILES  the font files, from the Debian packages installed here
#   POS_PAPER_LICENSES    every library's and font's licence, one folder each
#   pos_paper_fonts(t)    copies the fonts beside target t's program after it is built

set(POS_WINDOWS_LIBS "" CACHE PATH
    "A folder with the Windows builds of zint, FreeType and libpng (include/, lib/, licenses/); empty: scripts/windows-libs.sh builds or finds them")
set(libs_dir ${POS_WINDOWS_LIBS})
if(NOT libs_dir)
    # Quick when they are cached (no network, no compiler); the first build says what it does.
    execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/windows-libs.sh
                    OUTPUT_VARIABLE libs_output RESULT_VARIABLE libs_result)
    if(NOT libs_result EQUAL 0)
        message(FATAL_ERROR "The Windows libraries of the paper could not be built "
                            "(scripts/windows-libs.sh, above)")
    endif()
    string(STRIP "${libs_output}" libs_output)
    string(REGEX REPLACE ".*\n" "" libs_dir "${libs_output}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${CMAKE_SOURCE_DIR}/scripts/windows-libs.sh)
endif()
foreach(file include/zint.h include/png.h include/freetype2/ft2build.h include/httplib.h
        lib/libzint.a lib/libfreetype.a lib/libpng16.a)
    if(NOT EXISTS ${libs_dir}/${file})
        message(FATAL_ERROR "${libs_dir} lacks ${file}")
    endif()
endforeach()
message(STATUS "The paper's Windows libraries: ${libs_dir}")

add_library(paper_libraries INTERFACE IMPORTED)
set_target_properties(paper_libraries PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${libs_dir}/include;${libs_dir}/include/freetype2"
    # The archives themselves (never an import library of a DLL), in link order.
    INTERFACE_LINK_LIBRARIES
        "${libs_dir}/lib/libzint.a;${libs_dir}/lib/libfreetype.a;${libs_dir}/lib/libpng16.a;${CMAKE_FIND_ROOT_PATH}/lib/libz.a")

# cpp-httplib as one header (its implementation compiled where it is included): plain HTTP only.
add_library(http_library INTERFACE IMPORTED)
set_target_properties(http_library PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${libs_dir}/include"
    INTERFACE_LINK_LIBRARIES "ws2_32")

set(POS_PAPER_FONT_FILES
    /usr/share/fonts/opentype/terminus/terminus-bold.otb
    /usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf
    /usr/share/fonts/truetype/wqy/wqy-microhei.ttc)
foreach(font ${POS_PAPER_FONT_FILES})
    if(NOT EXISTS ${font})
        message(FATAL_ERROR "${font} is missing (scripts/setup.sh installs the font packages)")
    endif()
endforeach()

# The licences the installer carries: the libraries' (from their source packages; zlib's from its
# package), the fonts' (their packages' copyright files), and the common licence texts those
# files refer to; as .txt files with Windows line ends, for Notepad.
set(POS_PAPER_LICENSES ${CMAKE_BINARY_DIR}/paper-licenses)
file(REMOVE_RECURSE ${POS_PAPER_LICENSES})
function(pos_licence source folder)
    get_filename_component(name ${source} NAME)
    if(NOT name MATCHES "\\.(txt|TXT)$")
        string(APPEND name ".txt")
    endif()
    file(READ ${source} text)
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${POS_PAPER_LICENSES}/${folder}/${name} "${text}")
endfunction()
file(GLOB libraries RELATIVE ${libs_dir}/licenses ${libs_dir}/licenses/*)
foreach(library ${libraries})
    file(GLOB texts ${libs_dir}/licenses/${library}/*)
    foreach(text ${texts})
        pos_licence(${text} ${library})
    endforeach()
endforeach()
foreach(package fonts-terminus-otb fonts-dejavu-core fonts-wqy-microhei)
    pos_licence(/usr/share/doc/${package}/copyright ${package})
endforeach()
foreach(text Apache-2.0 GPL-2 GPL-3 LGPL-2)
    if(EXISTS /usr/share/common-licenses/${text})
        pos_licence(/usr/share/common-licenses/${text} common-licenses)
    endif()
endforeach()

function(pos_paper_fonts target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:${target}>/fonts
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${POS_PAPER_FONT_FILES}
                $<TARGET_FILE_DIR:${target}>/fonts
        VERBATIM)
endfunction()
