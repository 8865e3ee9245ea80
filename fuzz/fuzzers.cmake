# The libFuzzer harnesses: a build of their own (the preset `fuzz`, in
# build-fuzz/), with clang, because libFuzzer and its coverage instrumentation
# come with clang only. Read by the top-level CMakeLists.txt in place of the
# programs when VELMOR_FUZZ is on.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "the fuzzers need clang (cmake --preset fuzz)")
endif()

add_compile_options(-fsanitize=fuzzer,address,undefined
                    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
add_link_options(-fsanitize=fuzzer,address,undefined)

# Our code under test, instrumented like the harnesses: the same rooms as the
# programs, over the test double of the platform, which stands in for the
# executable's module and resource calls. One resource of the fuzzer's making
# replaces the embedded pictures.
set(VELMOR_ROOM_SOURCES_fuzz_resource fuzz/support/one_resource.cpp)
velmor_room(fuzz_resource)

# The TGA harness answers the loader's few GL calls itself: no GL library.
velmor_add_program(tga_fuzzer ROOMS gift_pack BACKEND fake RESOURCES velmor_fuzz_resource
  SOURCES fuzz/tga_fuzzer.cpp ${VELMOR_ROOT}/assets/tga_texture.cpp ${VELMOR_ROOT}/assets/resources.cpp)

# The JPEG loader's texture half is linked, not run: OSMesa and GLU, never libGL.
velmor_add_program(jpeg_fuzzer ROOMS assets BACKEND fake RESOURCES velmor_fuzz_resource
  SOURCES fuzz/jpeg_fuzzer.cpp)
target_link_options(jpeg_fuzzer PRIVATE
  -Wl,--wrap=jpeg_read_scanlines -Wl,--wrap=jpeg_finish_decompress)

velmor_add_program(resource_fuzzer ROOMS assets BACKEND fake SOURCES fuzz/resource_fuzzer.cpp)

velmor_add_program(module_fuzzer ROOMS music module SOURCES fuzz/module_fuzzer.cpp)

velmor_add_program(pack_fuzzer ROOMS pack SOURCES fuzz/pack_fuzzer.cpp)

# A short run of each fuzzer is part of the test suite: first every committed
# regression input is replayed, then the fuzzer runs for FUZZ_SMOKE_SECONDS.
set(FUZZ_SMOKE_SECONDS 5 CACHE STRING "seconds of fuzzing per fuzzer in the test suite")
enable_testing()
foreach(fuzzer tga jpeg resource module pack)
  add_test(NAME fuzz_${fuzzer}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run_fuzzer.sh $<TARGET_FILE:${fuzzer}_fuzzer>
            ${fuzzer} ${FUZZ_SMOKE_SECONDS} ${CMAKE_CURRENT_BINARY_DIR}/runs
    WORKING_DIRECTORY ${VELMOR_ROOT})
  set_tests_properties(fuzz_${fuzzer} PROPERTIES LABELS fuzz TIMEOUT 300)
endforeach()
