# web.cmake - the browser build (emcmake cmake): the two players as WebAssembly with WebGL 2,
# linked against SDL2, libopenmpt and libjpeg-turbo built by scripts/build-web-deps. Tools and
# tests stay native; `make web` runs forge natively for the data and writes the page around the
# players.
set(TIR_WEB_DEPS "${CMAKE_SOURCE_DIR}/build-web/deps" CACHE PATH
    "where scripts/build-web-deps put the libraries (lib/, include/)")
foreach(lib SDL2 openmpt jpeg)
    if(NOT EXISTS "${TIR_WEB_DEPS}/lib/lib${lib}.a")
        message(FATAL_ERROR "${TIR_WEB_DEPS}/lib/lib${lib}.a is missing: run scripts/build-web-deps")
    endif()
    add_library(web_${lib} STATIC IMPORTED)
    set_target_properties(web_${lib} PROPERTIES IMPORTED_LOCATION "${TIR_WEB_DEPS}/lib/lib${lib}.a")
endforeach()

# -O2 as natively: -O3 links twice as slowly for the same size.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG")

# The players throw and catch (the development player's reload, and libopenmpt inside).
add_compile_options(-fexceptions)

# The platform layer: the SDL backend with the page's host in place of the desktop's, the GL layer
# (the only GL a page has), and no POSIX-only sinks.
file(GLOB PLATFORM_SOURCES CONFIGURE_DEPENDS platform/*.cpp platform/gl11/*.cpp platform/sdl/*.cpp
     platform/web/*.cpp)
list(FILTER PLATFORM_SOURCES EXCLUDE REGEX "(_posix|_desktop)\\.cpp$")
add_library(tirplatform STATIC ${PLATFORM_SOURCES})
target_include_directories(tirplatform PUBLIC ${CMAKE_SOURCE_DIR}
                           "${TIR_WEB_DEPS}/include" "${TIR_WEB_DEPS}/include/SDL2")
target_link_libraries(tirplatform PUBLIC web_SDL2 web_openmpt)

file(GLOB CORE_SOURCES CONFIGURE_DEPENDS
    timeline/*.cpp resources/*.cpp gfx/*.cpp scene/*.cpp effects/*.cpp music/*.cpp)
# A page has no libpng, and writes no picture files a person could open: the development
# player's screenshots are for a desktop.
list(FILTER CORE_SOURCES EXCLUDE REGEX "png_writer\\.cpp$")
add_library(tircore STATIC ${CORE_SOURCES})
target_link_libraries(tircore PUBLIC tirplatform web_jpeg)

file(GLOB APP_SOURCES CONFIGURE_DEPENDS app/*.cpp)
list(FILTER APP_SOURCES EXCLUDE REGEX ".*_main\\.cpp$")
add_library(tirapp STATIC ${APP_SOURCES})
target_link_libraries(tirapp PUBLIC tircore)

# Both players: a module factory (createTirPlayer) that the page instantiates after the click
# that lets it play sound, run by the page with callMain once it has written the data into the
# module's file system. The browser's GL is WebGL 2, reached only through our own layer.
set(TIR_WEB_LINK
    -fexceptions
    -sENVIRONMENT=web
    -sMODULARIZE=1
    -sEXPORT_NAME=createTirPlayer
    -sINVOKE_RUN=0
    -sEXIT_RUNTIME=0
    -sALLOW_MEMORY_GROWTH=1
    -sINITIAL_MEMORY=67108864
    -sMIN_WEBGL_VERSION=2
    -sMAX_WEBGL_VERSION=2
    -sFORCE_FILESYSTEM=1
    "-sEXPORTED_RUNTIME_METHODS=[\"callMain\",\"FS\"]"
    # SDL's audio calls these from its own JavaScript. The names begin with '$', which the
    # link script would mangle, so they are read from a file.
    "-sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${CMAKE_SOURCE_DIR}/cmake/web-library-funcs.json")

add_executable(player app/web_player_main.cpp)
target_link_libraries(player PRIVATE tirapp)
target_link_options(player PRIVATE ${TIR_WEB_LINK}
    "-sEXPORTED_FUNCTIONS=[\"_main\",\"_tir_still\",\"_tir_mix\",\"_tir_order_change_count\",\"_tir_order_changes\",\"_tir_frames_drawn\",\"_tir_frame_costs\",\"_tir_sound_frames\"]")

add_executable(devplayer app/web_devplayer_main.cpp)
target_link_libraries(devplayer PRIVATE tirapp)
target_link_options(devplayer PRIVATE ${TIR_WEB_LINK} "-sEXPORTED_FUNCTIONS=[\"_main\"]")
