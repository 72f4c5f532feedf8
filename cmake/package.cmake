# package.cmake - what an installation holds beyond the programs, and the Debian package made
# from it with CPack (`make package`, or `cpack -G DEB` in a build folder):
#   bin/                         player, devplayer, capture, tirtool, forge
#   share/tirval/tir.val         the default data, forged while building; the players fall back
#                                to it when the folder they start in holds no data
#   share/applications/, share/icons/hicolor/64x64/apps/   the desktop entry and its icon
#   share/man/man1/              a man page per program, made from its --help by help2man
#   share/doc/tirval/            copyright and changelog, as Debian wants them
# The package installs under /usr, whatever CMAKE_INSTALL_PREFIX the build has; the players find
# the data as share/tirval beside their own bin folder, so an unpacked copy works anywhere.

# What is made for installing goes into installed-files/ of the build folder: not share/ beside
# bin/, where the build's own players would take it for installed data.
set(TIR_INSTALL_FILES ${CMAKE_BINARY_DIR}/installed-files)

# The default data, forged once per change of forge (about two seconds).
set(TIR_PACKAGE_DATA ${TIR_INSTALL_FILES}/tirval)
add_custom_command(
    OUTPUT ${TIR_PACKAGE_DATA}/tir.val
    COMMAND forge --out ${TIR_PACKAGE_DATA} --force > ${TIR_INSTALL_FILES}/forge.log
    DEPENDS forge
    COMMENT "Forging the default data for installing")
add_custom_target(default-data ALL DEPENDS ${TIR_PACKAGE_DATA}/tir.val)
install(FILES ${TIR_PACKAGE_DATA}/tir.val DESTINATION ${CMAKE_INSTALL_DATADIR}/tirval)

install(FILES ${CMAKE_SOURCE_DIR}/packaging/tirval.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tirval.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)

# Debian keeps man pages and the changelog compressed with gzip -9, without a name or a time
# stamp in the header (-n), so the same sources give the same package.
find_program(GZIP_TOOL gzip)
set(TIR_PACKAGE_DOC ${TIR_INSTALL_FILES}/doc)
add_custom_command(
    OUTPUT ${TIR_PACKAGE_DOC}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TIR_PACKAGE_DOC}
    COMMAND ${GZIP_TOOL} -9n < ${CMAKE_SOURCE_DIR}/packaging/changelog > ${TIR_PACKAGE_DOC}/changelog.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog)
add_custom_target(package-doc ALL DEPENDS ${TIR_PACKAGE_DOC}/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${TIR_PACKAGE_DOC}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tirval)

# Man pages from each program's --help and --version. Without help2man (scripts/setup package
# installs it) there are none; everything else installs as usual.
find_program(HELP2MAN help2man)
set(TIR_MAN_PAGES
    "player=play the TIR VAL demo after its setup dialog"
    "devplayer=play the TIR VAL demo for working on it: seek, pause, solo rows, reload"
    "capture=render the TIR VAL demo offline into frames, sound, video or a contact sheet"
    "tirtool=the TIR VAL data tool: archives, scenes, envelopes, compressed samples"
    "forge=write the TIR VAL demo's default data set")
if(HELP2MAN)
    set(pages)
    foreach(entry ${TIR_MAN_PAGES})
        string(REGEX REPLACE "=.*" "" program "${entry}")
        string(REGEX REPLACE "^[^=]*=" "" what "${entry}")
        if(NOT TARGET ${program})
            continue()
        endif()
        set(page ${TIR_INSTALL_FILES}/man/${program}.1.gz)
        add_custom_command(
            OUTPUT ${page}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${TIR_INSTALL_FILES}/man
            COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 ${HELP2MAN} --no-info --section=1 --name=${what}
                    --output=${TIR_INSTALL_FILES}/man/${program}.1 $<TARGET_FILE:${program}>
            COMMAND ${GZIP_TOOL} -9nf ${TIR_INSTALL_FILES}/man/${program}.1
            DEPENDS ${program}
            VERBATIM)
        list(APPEND pages ${page})
    endforeach()
    add_custom_target(man-pages ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "help2man is missing: no man pages (scripts/setup package installs it)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tirval)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "TIR VAL developers <tirval@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time demo with OpenGL effects locked to a tracker module")
# The summary above is the description's first line; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "TIR VAL plays one XM module and, in step with it, a fixed schedule of 22
OpenGL effects for 186.5 seconds: tubes, tunnels, picture stacks, scenes and
particles, each following the music's order position.
.
The package holds the release player (with its setup dialog), the
development player (seek, pause, step frames, solo schedule rows, reload
data), capture (offline rendering to frames, sound, video and contact
sheets), tirtool (archives, scenes, envelopes and compressed samples) and
forge, which generated the default data set installed with them.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The shared libraries' packages come from dpkg-shlibdeps; forge draws text with the DejaVu
# fonts, and the players need a GL driver, which the sound and window library only loads.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri, libegl-mesa0, libglx-mesa0")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
# The control files get the modes Debian's policy gives them (0644, scripts 0755).
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# `make build` (the target programs) makes everything an installation holds, so
# `cmake --install` follows it directly.
add_dependencies(programs default-data package-doc)
if(TARGET man-pages)
    add_dependencies(programs man-pages)
endif()

include(CPack)
