# What the programs are made of, written once.
#
# A room is one folder's code as a static library, velmor_<room>:
#   shell      app/: entry loops, window, clock
#   scene      scene/: InitScene, SceneFrame, the cards and the timeline
#   assets     assets/: the embedded-resource lookup and the picture loaders
#   gift_pack  assets/gift_pack.cpp alone: the reader of gift packs
#   music      music/music.cpp: the music calls over the player core
#   player     music/player_core.cpp: the player core alone, with its FFT
#   records    music/music_records.cpp alone: the music records the scene
#              reads, for tests that stand in for the music calls
#   artwork    tools/artwork/: the generator of our pictures, without its main, and
#              the reading of a person's own words and photos for it
#   module     tools/module/: the writer and synthesiser of our module
#   fit        tools/module/fit.cpp: whether a module fits the show's card table
#   pack       tools/pack/: the writer of gift packs
#   bench      bench/: the benchmark's figures and report, and the child
#              processes it runs (Xvfb, the intro, the memory floor)
#   bench_alloc  bench/alloc_counter.cpp: the counter of heap allocations
# A back end is one folder under platform/ with the platform calls and the
# sound sink that goes with them, over the shared core (platform/core):
#   sdl        the live one: SDL2 window, GL context, events, audio device
#   offscreen  the one without a display, which the capture tool and the
#              benchmark run on: EGL framebuffer, virtual clock, audio in step
#   fake       the test double: records calls, fails on request
#   web        the browser one (Emscripten): a canvas, WebGL through the
#              legacy GL emulation, Web Audio, the page's clock
#   windows    Windows itself (MinGW-w64): the calls are Windows' own and the
#              back end is only its sound sink, waveOut; no core
#
# velmor_add_program(<name>
#   SOURCES <file>...        the program's own sources (its main, or tests)
#   [ROOMS <room>...]        default: shell scene assets music (the whole show);
#                            ROOMS with nothing after it: none
#   [BACKEND sdl|offscreen|fake|web|windows]  none: a program that makes no platform calls
#   [RESOURCES <library>]    the embedded pictures (default: velmor_resources
#                            where that library exists, for programs with assets)
#   [PROBE]                  the test build: ProbeLine writes its lines
#   [TEST]                   a GoogleTest program: links gtest_main
#   [PACKAGES <pkg-config name>...] [DEFINES <name=value>...] [LIBS <library>...])
#
# The rooms call each other and the back end calls back into the shell, so the
# libraries are linked as one group and their order never matters. The GL a
# program links follows from its back end: the desktop's (GLX) for sdl, GLVND's
# OpenGL for offscreen, OSMesa for fake (the tests make their own contexts),
# WebGL through Emscripten's legacy GL emulation for web, Windows' opengl32
# and glu32 for windows.
#
# Cross-built (Emscripten, MinGW-w64), the packages are not pkg-config's: each
# is a static library built for the target under VELMOR_DEPS (the folder that
# scripts/third-party.sh prints).

# Every build of this code: C++20 without extensions, warnings on.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE)
  # In the browser debug information would be downloaded with the program.
  if(EMSCRIPTEN)
    set(CMAKE_BUILD_TYPE Release)
  else()
    set(CMAKE_BUILD_TYPE RelWithDebInfo)
  endif()
endif()
add_compile_options(-Wall -Wextra)

set(VELMOR_ROOM_SOURCES_shell app/main.cpp app/window.cpp app/clock.cpp)
set(VELMOR_ROOM_SOURCES_scene
  scene/scene_init.cpp scene/sprites.cpp scene/timeline.cpp scene/composition.cpp)
set(VELMOR_ROOM_SOURCES_assets assets/resources.cpp assets/jpeg_texture.cpp assets/tga_texture.cpp)
set(VELMOR_ROOM_SOURCES_gift_pack assets/gift_pack.cpp)
set(VELMOR_ROOM_SOURCES_music music/music.cpp)
set(VELMOR_ROOM_SOURCES_player music/player_core.cpp music/real_fft.cpp)
set(VELMOR_ROOM_SOURCES_records music/music_records.cpp)
set(VELMOR_ROOM_SOURCES_artwork
  tools/artwork/common.cpp tools/artwork/encode.cpp tools/artwork/text.cpp tools/artwork/scenes.cpp
  tools/artwork/particles.cpp tools/artwork/fractals.cpp tools/artwork/overlays.cpp
  tools/artwork/words.cpp tools/artwork/photos.cpp tools/artwork/icon.cpp
  tools/artwork/gift_cards.cpp)
set(VELMOR_ROOM_SOURCES_module tools/module/it_format.cpp tools/module/synth.cpp tools/module/song.cpp)
set(VELMOR_ROOM_SOURCES_fit tools/module/fit.cpp)
set(VELMOR_ROOM_SOURCES_pack tools/pack/pack_writer.cpp)
set(VELMOR_ROOM_SOURCES_bench bench/report.cpp bench/children.cpp)
set(VELMOR_ROOM_SOURCES_bench_alloc bench/alloc_counter.cpp)
set(VELMOR_ROOM_SOURCES_core
  platform/core/core.cpp platform/core/keys.cpp platform/core/resources.cpp)
set(VELMOR_ROOM_SOURCES_sdl
  platform/sdl/sdl_window.cpp platform/sdl/sdl_keys.cpp platform/sdl/sdl_gl.cpp
  platform/sdl/sdl_time.cpp platform/sdl/sdl_sink.cpp)
set(VELMOR_ROOM_SOURCES_offscreen
  platform/offscreen/offscreen_platform.cpp platform/offscreen/offscreen_sink.cpp)
set(VELMOR_ROOM_SOURCES_fake platform/fake/fake_platform.cpp)
set(VELMOR_ROOM_SOURCES_web
  platform/web/web_window.cpp platform/web/web_keys.cpp platform/web/web_gl.cpp
  platform/web/web_immediate.cpp platform/web/web_time.cpp platform/web/web_sink.cpp
  platform/web/web_heard_clock.cpp platform/web/web_runs.cpp platform/web/web_openmpt.cpp)
set(VELMOR_ROOM_SOURCES_windows platform/windows/waveout_sink.cpp)
set(VELMOR_ROOM_SOURCES_probe app/probe.cpp)
set(VELMOR_ROOM_SOURCES_probe_silent app/probe_silent.cpp)

# The rooms a room calls into, and the system libraries it needs (pkg-config names).
set(VELMOR_ROOM_NEEDS_assets gift_pack)
set(VELMOR_ROOM_NEEDS_music records player)
set(VELMOR_ROOM_NEEDS_pack gift_pack)
set(VELMOR_ROOM_NEEDS_fit module player)
set(VELMOR_ROOM_PACKAGES_assets libjpeg)
set(VELMOR_ROOM_PACKAGES_artwork libjpeg freetype2 libpng)
set(VELMOR_ROOM_PACKAGES_music libopenmpt)
set(VELMOR_ROOM_PACKAGES_player libopenmpt)
set(VELMOR_ROOM_PACKAGES_fit libopenmpt)
set(VELMOR_ROOM_PACKAGES_sdl sdl2 x11)
set(VELMOR_ROOM_PACKAGES_offscreen egl)
set(VELMOR_ROOM_PACKAGES_web libopenmpt)
if(CMAKE_CROSSCOMPILING)
  # The scene includes the loaders' header and with it jpeglib.h, which the
  # desktop finds among the system's headers and a cross build does not.
  set(VELMOR_ROOM_PACKAGES_scene libjpeg)
endif()

if(CMAKE_CROSSCOMPILING)
  set(VELMOR_DEPS "" CACHE PATH "the third-party libraries built for the target")
  # CMake knows no link groups here; the linkers take their own.
  set(CMAKE_CXX_LINK_GROUP_USING_RESCAN "LINKER:--start-group" "LINKER:--end-group")
  set(CMAKE_CXX_LINK_GROUP_USING_RESCAN_SUPPORTED TRUE)
else()
  find_package(PkgConfig REQUIRED)
  set(OpenGL_GL_PREFERENCE GLVND)
endif()
if(WIN32)
  # GL's headers include <windows.h> themselves, so the lean set is chosen
  # for every file: the full one brings RPC's `boolean`, which clashes with
  # libjpeg's. printf's C99 formats (%zu) come from MinGW's own stdio.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX __USE_MINGW_ANSI_STDIO=1)
endif()

# Where each package lives under VELMOR_DEPS, VELMOR_BUILT_PACKAGE_<name>:
# its folder, its library and the <name>-<version> its licences are given
# under, as scripts/third-party.sh, which chooses the versions, lists them in
# packages.txt. Windows has GLU of its own (glu32).
set(VELMOR_BUILT_PACKAGES)
if(CMAKE_CROSSCOMPILING)
  set(built "${VELMOR_DEPS}/packages.txt")
  if(NOT VELMOR_DEPS OR NOT EXISTS "${built}")
    message(FATAL_ERROR "velmor: no list of the libraries built for the target (VELMOR_DEPS="
                        "\"${VELMOR_DEPS}\"); build them with scripts/third-party.sh and pass "
                        "what it prints as -DVELMOR_DEPS=, as scripts/build.sh does")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${built}")
  file(STRINGS "${built}" rows)
  foreach(row IN LISTS rows)
    string(REPLACE " " ";" row "${row}")
    list(POP_FRONT row package)
    set(VELMOR_BUILT_PACKAGE_${package} ${row})
    list(APPEND VELMOR_BUILT_PACKAGES ${package})
  endforeach()
endif()

# An imported target for a package built for the target, made once per build.
function(velmor_built_package_target package out)
  if(NOT TARGET VelmorBuilt::${package})
    if(NOT DEFINED VELMOR_BUILT_PACKAGE_${package})
      message(FATAL_ERROR "velmor: no build of the package \"${package}\" for ${CMAKE_SYSTEM_NAME}")
    endif()
    list(GET VELMOR_BUILT_PACKAGE_${package} 0 folder)
    list(GET VELMOR_BUILT_PACKAGE_${package} 1 library)
    set(root "${VELMOR_DEPS}/${folder}")
    if(library STREQUAL "HEADERS")
      add_library(VelmorBuilt::${package} INTERFACE IMPORTED GLOBAL)
      set_target_properties(VelmorBuilt::${package} PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "${root}/include")
      set(${out} VelmorBuilt::${package} PARENT_SCOPE)
      return()
    endif()
    if(NOT EXISTS "${root}/lib/${library}")
      message(FATAL_ERROR "velmor: ${root}/lib/${library} is missing; build the libraries "
                          "with scripts/third-party.sh and pass what it prints as -DVELMOR_DEPS=")
    endif()
    add_library(VelmorBuilt::${package} STATIC IMPORTED GLOBAL)
    set_target_properties(VelmorBuilt::${package} PROPERTIES
      IMPORTED_LOCATION "${root}/lib/${library}"
      INTERFACE_INCLUDE_DIRECTORIES "${root}/include")
  endif()
  set(${out} VelmorBuilt::${package} PARENT_SCOPE)
endfunction()

# An imported target for a pkg-config package (or, cross-built, one of
# VELMOR_DEPS), made once per build.
function(velmor_package_target package out)
  if(CMAKE_CROSSCOMPILING)
    velmor_built_package_target(${package} imported)
    set(${out} ${imported} PARENT_SCOPE)
    return()
  endif()
  string(MAKE_C_IDENTIFIER "VELMOR_PKG_${package}" prefix)
  if(NOT TARGET PkgConfig::${prefix})
    pkg_check_modules(${prefix} REQUIRED IMPORTED_TARGET GLOBAL ${package})
  endif()
  set(${out} PkgConfig::${prefix} PARENT_SCOPE)
endfunction()

# The library velmor_<room>, made the first time a program asks for it.
function(velmor_room room)
  if(TARGET velmor_${room})
    return()
  endif()
  if(NOT DEFINED VELMOR_ROOM_SOURCES_${room})
    message(FATAL_ERROR "velmor_room: no room or back end called \"${room}\"")
  endif()
  list(TRANSFORM VELMOR_ROOM_SOURCES_${room} PREPEND ${VELMOR_ROOT}/ OUTPUT_VARIABLE sources)
  add_library(velmor_${room} STATIC ${sources})
  target_include_directories(velmor_${room} PUBLIC ${VELMOR_ROOT})
  foreach(needed IN LISTS VELMOR_ROOM_NEEDS_${room})
    velmor_room(${needed})
    target_link_libraries(velmor_${room} PUBLIC velmor_${needed})
  endforeach()
  foreach(package IN LISTS VELMOR_ROOM_PACKAGES_${room})
    velmor_package_target(${package} imported)
    target_link_libraries(velmor_${room} PUBLIC ${imported})
  endforeach()
endfunction()

# A back end may say, in functions of its own:
#   velmor_backend_gl_<back end>(<program>)    the GL a drawing program links
#   velmor_backend_link_<back end>(<program>)  what every program on it links
# and in VELMOR_BACKEND_ROOMS_<back end> the rooms it brings (default: its
# own and the core). The desktop's are here; a back end built for another
# system states its own in platform/<back end>/package.cmake.
function(velmor_backend_gl_sdl name)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
  velmor_package_target(glu glu)
  target_link_libraries(${name} PRIVATE OpenGL::GL ${glu})
endfunction()

function(velmor_backend_gl_offscreen name)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL)
  velmor_package_target(glu glu)
  target_link_libraries(${name} PRIVATE OpenGL::OpenGL ${glu})
endfunction()

function(velmor_add_program name)
  cmake_parse_arguments(ARG "PROBE;TEST" "BACKEND;RESOURCES" "SOURCES;ROOMS;PACKAGES;DEFINES;LIBS"
                        ${ARGN})
  if(NOT DEFINED ARG_ROOMS AND NOT "ROOMS" IN_LIST ARG_KEYWORDS_MISSING_VALUES)
    set(ARG_ROOMS shell scene assets music)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${VELMOR_ROOT})
  target_compile_definitions(${name} PRIVATE ${ARG_DEFINES})

  set(group ${ARG_ROOMS})
  if(DEFINED VELMOR_BACKEND_ROOMS_${ARG_BACKEND})
    list(APPEND group ${VELMOR_BACKEND_ROOMS_${ARG_BACKEND}})
  elseif(ARG_BACKEND)
    list(APPEND group ${ARG_BACKEND} core)
  endif()
  if(ARG_PROBE)
    list(APPEND group probe)
  elseif("shell" IN_LIST ARG_ROOMS OR "scene" IN_LIST ARG_ROOMS)
    list(APPEND group probe_silent)
  endif()
  set(libraries)
  foreach(room IN LISTS group)
    velmor_room(${room})
    list(APPEND libraries velmor_${room})
  endforeach()
  if(NOT ARG_RESOURCES AND "assets" IN_LIST ARG_ROOMS AND TARGET velmor_resources)
    set(ARG_RESOURCES velmor_resources)
  endif()
  # Windows resources are a source of the program itself, not an archive.
  if(WIN32)
    target_link_libraries(${name} PRIVATE ${ARG_RESOURCES})
  else()
    list(APPEND libraries ${ARG_RESOURCES})
  endif()
  if(libraries)
    list(JOIN libraries "," joined)
    target_link_libraries(${name} PRIVATE "$<LINK_GROUP:RESCAN,${joined}>")
  endif()

  # Drawing rooms need GL and GLU; which GL is the back end's choice, and the
  # test double's (and a program's without a back end) is OSMesa.
  if("scene" IN_LIST ARG_ROOMS OR "assets" IN_LIST ARG_ROOMS)
    if(COMMAND velmor_backend_gl_${ARG_BACKEND})
      cmake_language(CALL velmor_backend_gl_${ARG_BACKEND} ${name})
    else()
      velmor_package_target(osmesa osmesa)
      velmor_package_target(glu glu)
      target_link_libraries(${name} PRIVATE ${osmesa} ${glu})
    endif()
  endif()
  foreach(package IN LISTS ARG_PACKAGES)
    velmor_package_target(${package} imported)
    target_link_libraries(${name} PRIVATE ${imported})
  endforeach()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  if(COMMAND velmor_backend_link_${ARG_BACKEND})
    cmake_language(CALL velmor_backend_link_${ARG_BACKEND} ${name})
  endif()
  if(ARG_TEST)
    find_package(GTest REQUIRED)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
endfunction()
