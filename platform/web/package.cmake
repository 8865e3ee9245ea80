# The intro in a browser, the program of a build made with emcmake (the preset
# `web`), beside the gift maker's core (tools/maker/). The page is a folder of
# its own, VELMOR_WEB_PAGE, holding only what a static host serves: the page,
# its script, velmor.js, velmor.wasm, the music's player (velmor_processor.js,
# velmor_worklet.wasm), the module and the licences of the libraries compiled
# into them.

# libopenmpt is linked into the audio worklet's program only; the page's
# program compiles against its headers and calls it there
# (platform/web/web_openmpt.cpp). One build, one licence.
set(VELMOR_BUILT_PACKAGE_libopenmpt_worklet ${VELMOR_BUILT_PACKAGE_libopenmpt})
list(REMOVE_AT VELMOR_BUILT_PACKAGE_libopenmpt 1)
list(INSERT VELMOR_BUILT_PACKAGE_libopenmpt 1 HEADERS)

# What a program on the web back end is linked with, beside its GL. The shell
# keeps its own blocking loop: Sleep, WaitMessage and SwapBuffers give the
# browser its turn through Asyncify; no wait happens below a call through a
# pointer, so indirect calls are left uninstrumented, which keeps the
# player's and the decoders' code as fast as without Asyncify. main and the
# still hook are started by the page (MODULARIZE, no run on load), which also
# puts the module into the file system (FS) before the show opens it and hands
# over a gift's pack (velmor_use_gift_pack, through memory from malloc).
# libopenmpt is not linked: its calls go to the worklet's player
# (platform/web/web_openmpt.cpp), through plain imports that never unwind.
# Nothing here catches exceptions, so none are compiled in. The link
# optimises for size (the sources are compiled at -O3).
set(VELMOR_WEB_LINK_OPTIONS
  -Oz -sASYNCIFY=1 -sASYNCIFY_IGNORE_INDIRECT=1 -sASYNCIFY_STACK_SIZE=65536
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=33554432 -sMODULARIZE=1 -sEXPORT_NAME=createVelmor
  -sINVOKE_RUN=0 -sENVIRONMENT=web -sFORCE_FILESYSTEM=1
  "-sEXPORTED_FUNCTIONS=_main,_velmor_still,_velmor_use_gift_pack,_malloc,_free,_web_sink_receive,_web_sink_underruns,_velmor_underruns,_velmor_audio_ahead_ms,_velmor_frames,_velmor_heard_position,_velmor_heard_time"
  "-sEXPORTED_RUNTIME_METHODS=ccall,FS")
# The OpenGL 1.1 calls that the web back end adapts to WebGL 1 on their way
# out (platform/web/web_gl.cpp), in our code and in libGLU.a alike. The
# pixel-store modes WebGL 1 lacks are GLU's concern alone, answered inside
# libGLU.a (platform/web/glu_pixel_store.c).
set(VELMOR_WEB_GL_WRAPS
  -Wl,--wrap=glTexImage2D -Wl,--wrap=glTexParameteri -Wl,--wrap=glBegin -Wl,--wrap=glEnd
  -Wl,--wrap=glColor3f -Wl,--wrap=glColor4f -Wl,--wrap=glTexCoord2f -Wl,--wrap=glVertex2f
  -Wl,--wrap=glHint -Wl,--wrap=glShadeModel)

# GL is the browser's, through Emscripten's emulation of OpenGL 1.1.
function(velmor_backend_gl_web name)
  velmor_package_target(glu glu)
  target_link_libraries(${name} PRIVATE ${glu})
  target_link_options(${name} PRIVATE -sLEGACY_GL_EMULATION=1 -sGL_UNSAFE_OPTS=0
    ${VELMOR_WEB_GL_WRAPS})
endfunction()

function(velmor_backend_link_web name)
  target_link_options(${name} PRIVATE ${VELMOR_WEB_LINK_OPTIONS})
endfunction()

set(VELMOR_WEB_PAGE "${CMAKE_BINARY_DIR}/page" CACHE PATH "the folder the page is built into")
# The page starts either the intro's entry or the still hook, a driver that
# steps the show on the back end's virtual clock.
velmor_add_program(velmor SOURCES app/entry.cpp capture/web_still.cpp capture/stepper.cpp
  assets/web_gift_pack.cpp BACKEND web)
set_target_properties(velmor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VELMOR_WEB_PAGE})
set(page_files)
velmor_copy_file(${CMAKE_SOURCE_DIR}/platform/web/index.html ${VELMOR_WEB_PAGE}/index.html
  page_files)
# Both scripts that instantiate the music's player answer its system calls
# with the same code, put in front of each.
foreach(source platform/web/velmor_page.js worklet/velmor_processor.js)
  get_filename_component(name ${source} NAME)
  set(calls ${CMAKE_SOURCE_DIR}/worklet/velmor_system_calls.js)
  add_custom_command(OUTPUT ${VELMOR_WEB_PAGE}/${name}
    COMMAND ${CMAKE_COMMAND} -E cat ${calls} ${CMAKE_SOURCE_DIR}/${source}
      > ${VELMOR_WEB_PAGE}/${name}
    DEPENDS ${calls} ${CMAKE_SOURCE_DIR}/${source})
  list(APPEND page_files ${VELMOR_WEB_PAGE}/${name})
endforeach()
velmor_copy_file(${VELMOR_MODULE} ${VELMOR_WEB_PAGE}/torva_velmor2.it page_files)
velmor_copy_licences(${VELMOR_WEB_PAGE}/licences page_files PACKAGES libopenmpt libjpeg glu)

# The music's player for the audio thread (worklet/): a WebAssembly module
# without Emscripten's JavaScript, which the worklet's scope could not run.
# Everything in it uses WebAssembly's own exceptions, as its libopenmpt
# does; the two kinds of exceptions cannot share a link.
velmor_built_package_target(libopenmpt_worklet openmpt_worklet)
add_executable(velmor_worklet worklet/velmor_worklet.cpp music/player_core.cpp
  music/real_fft.cpp)
target_include_directories(velmor_worklet PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(velmor_worklet PRIVATE -O3 -fwasm-exceptions)
target_link_libraries(velmor_worklet PRIVATE ${openmpt_worklet})
# The page's program calls the library through these exports.
target_link_options(velmor_worklet PRIVATE -O3 -fwasm-exceptions -sSTANDALONE_WASM --no-entry
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=16777216
  "-sEXPORTED_FUNCTIONS=_malloc,_free,_openmpt_free_string,_openmpt_module_destroy,_openmpt_module_read_interleaved_float_stereo,_openmpt_module_get_current_order,_openmpt_module_get_current_row,_openmpt_module_set_position_seconds,_openmpt_module_get_duration_seconds,_openmpt_module_set_repeat_count")
set_target_properties(velmor_worklet PROPERTIES SUFFIX ".wasm"
  RUNTIME_OUTPUT_DIRECTORY ${VELMOR_WEB_PAGE})
add_custom_target(velmor_page ALL DEPENDS ${page_files})

# The gift maker's core: the artwork tool's words, photos and pictures, the
# fit check and the pack writer, for the maker page to call
# (tools/maker/maker_core.mjs). It links libopenmpt itself, for the fit
# check, and so uses WebAssembly's exceptions throughout.
add_subdirectory(tools/maker)
