# What the programs are made of, written once.
#
# A room is one folder's code as a static library, velmor_<room>:
#   shell      app/: entry loops, window, clock
#   scene      scene/: InitScene, SceneFrame, the cards and the timeline
#   assets     assets/: the embedded-resource lookup and the picture loaders
#   music      music/: the music calls over the player core
#   records    music/music_records.cpp alone: the music records the scene
#              reads, for tests that stand in for the music calls
#   artwork    tools/artwork/: the generator of our pictures, without its main
#   module     tools/module/: the writer and synthesiser of our module
#   bench      bench/: the benchmark's figures and report, and the child
#              processes it runs (Xvfb, the intro, the memory floor)
#   bench_alloc  bench/alloc_counter.cpp: the counter of heap allocations
# A back end is one folder under platform/ with the platform calls and the
# sound sink that goes with them, over the shared core (platform/core):
#   sdl        the live one: SDL2 window, GL context, events, audio device
#   offscreen  the capture one: EGL framebuffer, virtual clock, audio in step
#   fake       the test double: records calls, fails on request
#
# velmor_add_program(<name>
#   SOURCES <file>...        the program's own sources (its main, or tests)
#   [ROOMS <room>...]        default: shell scene assets music (the whole show);
#                            ROOMS with nothing after it: none
#   [BACKEND sdl|offscreen|fake]  none: a program that makes no platform calls
#   [RESOURCES <library>]    the embedded pictures (default: velmor_resources
#                            where that library exists, for programs with assets)
#   [PROBE]                  the test build: ProbeLine writes its lines
#   [TEST]                   a GoogleTest program: links gtest_main
#   [PACKAGES <pkg-config name>...] [DEFINES <name=value>...] [LIBS <library>...])
#
# The rooms call each other and the back end calls back into the shell, so the
# libraries are linked as one group and their order never matters. The GL a
# program links follows from its back end: the desktop's (GLX) for sdl, GLVND's
# OpenGL for offscreen, OSMesa for fake (the tests make their own contexts).

# Every build of this code: C++20 without extensions, warnings on.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE RelWithDebInfo)
endif()
add_compile_options(-Wall -Wextra)

set(VELMOR_ROOM_SOURCES_shell app/main.cpp app/window.cpp app/clock.cpp)
set(VELMOR_ROOM_SOURCES_scene
  scene/scene_init.cpp scene/sprites.cpp scene/timeline.cpp scene/composition.cpp)
set(VELMOR_ROOM_SOURCES_assets assets/resources.cpp assets/jpeg_texture.cpp assets/tga_texture.cpp)
set(VELMOR_ROOM_SOURCES_music music/music.cpp music/player_core.cpp)
set(VELMOR_ROOM_SOURCES_records music/music_records.cpp)
set(VELMOR_ROOM_SOURCES_artwork
  tools/artwork/common.cpp tools/artwork/encode.cpp tools/artwork/text.cpp tools/artwork/scenes.cpp
  tools/artwork/particles.cpp tools/artwork/fractals.cpp tools/artwork/overlays.cpp)
set(VELMOR_ROOM_SOURCES_module tools/module/it_format.cpp tools/module/synth.cpp tools/module/song.cpp)
set(VELMOR_ROOM_SOURCES_bench bench/report.cpp bench/children.cpp)
set(VELMOR_ROOM_SOURCES_bench_alloc bench/alloc_counter.cpp)
set(VELMOR_ROOM_SOURCES_core platform/core/core.cpp platform/core/resources.cpp)
set(VELMOR_ROOM_SOURCES_sdl
  platform/sdl/sdl_window.cpp platform/sdl/sdl_gl.cpp platform/sdl/sdl_time.cpp
  platform/sdl/sdl_sink.cpp)
set(VELMOR_ROOM_SOURCES_offscreen
  platform/offscreen/offscreen_platform.cpp platform/offscreen/offscreen_sink.cpp)
set(VELMOR_ROOM_SOURCES_fake platform/fake/fake_platform.cpp)
set(VELMOR_ROOM_SOURCES_probe app/probe.cpp)
set(VELMOR_ROOM_SOURCES_probe_silent app/probe_silent.cpp)

# The rooms a room calls into, and the system libraries it needs (pkg-config names).
set(VELMOR_ROOM_NEEDS_music records)
set(VELMOR_ROOM_PACKAGES_assets libjpeg)
set(VELMOR_ROOM_PACKAGES_artwork libjpeg freetype2)
set(VELMOR_ROOM_PACKAGES_music libopenmpt fftw3f)
set(VELMOR_ROOM_PACKAGES_sdl sdl2 x11)
set(VELMOR_ROOM_PACKAGES_offscreen egl)

find_package(PkgConfig REQUIRED)
set(OpenGL_GL_PREFERENCE GLVND)

# An imported target for a pkg-config package, made once per build.
function(velmor_package_target package out)
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
  if(ARG_BACKEND)
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
  list(APPEND libraries ${ARG_RESOURCES})
  if(libraries)
    list(JOIN libraries "," joined)
    target_link_libraries(${name} PRIVATE "$<LINK_GROUP:RESCAN,${joined}>")
  endif()

  # Drawing rooms need GL and GLU; which GL is the back end's choice.
  if("scene" IN_LIST ARG_ROOMS OR "assets" IN_LIST ARG_ROOMS)
    velmor_package_target(glu glu)
    if(ARG_BACKEND STREQUAL "sdl")
      find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
      target_link_libraries(${name} PRIVATE OpenGL::GL ${glu})
    elseif(ARG_BACKEND STREQUAL "offscreen")
      find_package(OpenGL REQUIRED COMPONENTS OpenGL)
      target_link_libraries(${name} PRIVATE OpenGL::OpenGL ${glu})
    else()
      velmor_package_target(osmesa osmesa)
      target_link_libraries(${name} PRIVATE ${osmesa} ${glu})
    endif()
  endif()
  foreach(package IN LISTS ARG_PACKAGES)
    velmor_package_target(${package} imported)
    target_link_libraries(${name} PRIVATE ${imported})
  endforeach()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  if(ARG_TEST)
    find_package(GTest REQUIRED)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
endfunction()
