# The intro on Windows (the preset `windows`): one .exe on Windows' own calls,
# started by the C runtime's WinMain, with the pictures among its resources.
# The zip is what is given: the .exe with the module beside it (the intro
# opens it from the folder it starts in), how to run it, and the libraries'
# licences.

# The calls are Windows' own: the back end is only its sound sink, on no core.
set(VELMOR_BACKEND_ROOMS_windows windows)

# Windows' own GL and GLU.
function(velmor_backend_gl_windows name)
  target_link_libraries(${name} PRIVATE opengl32 glu32)
endfunction()

# What a program on the windows back end is linked with: everything but the
# system's own DLLs inside the one .exe (no MinGW runtime DLLs to carry
# beside it), and a window program, which opens no console. The C runtime,
# linked last, calls the shell's WinMain, so it is asked for up front.
function(velmor_backend_link_windows name)
  target_link_libraries(${name} PRIVATE winmm)
  target_link_options(${name} PRIVATE -static -s -mwindows -Wl,--undefined=WinMain)
endfunction()

enable_language(RC)
# Standard error's lines shown in boxes where no one would read them: a
# source of the program itself, as it starts on its own before WinMain.
velmor_add_program(velmor SOURCES platform/windows/velmor.rc platform/windows/error_lines.cpp
  BACKEND windows)
set_source_files_properties(platform/windows/velmor.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/platform/windows/velmor.ico)
# Posts the full-screen toggle to a running intro, as any program may.
velmor_add_program(velmor-toggle SOURCES tests/windows/post_toggle.cpp ROOMS)
target_link_options(velmor-toggle PRIVATE -static)
# Says how large the inside of a running intro's window is.
velmor_add_program(velmor-client-size SOURCES tests/windows/client_size.cpp ROOMS)
target_link_options(velmor-client-size PRIVATE -static)

set(given ${CMAKE_BINARY_DIR}/velmor-for-torva)
set(given_files)
add_custom_command(OUTPUT ${given}/velmor.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velmor> ${given}/velmor.exe DEPENDS velmor)
list(APPEND given_files ${given}/velmor.exe)
velmor_copy_file(${VELMOR_MODULE} ${given}/torva_velmor2.it given_files)
velmor_copy_file(${CMAKE_SOURCE_DIR}/platform/windows/README.txt ${given}/README.txt given_files)
velmor_copy_licences(${given}/licences given_files)
list(TRANSFORM given_files REPLACE "^${CMAKE_BINARY_DIR}/" "" OUTPUT_VARIABLE members)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/velmor-for-torva.zip
  COMMAND ${CMAKE_COMMAND} -E rm -f velmor-for-torva.zip
  COMMAND ${CMAKE_COMMAND} -E tar cf velmor-for-torva.zip --format=zip ${members}
  DEPENDS ${given_files} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
add_custom_target(velmor_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/velmor-for-torva.zip)
