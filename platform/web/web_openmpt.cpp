// The libopenmpt calls of the player core, for the page's program, which
// carries no libopenmpt of its own: each one is forwarded, synchronously, to
// the page's instance of the audio worklet's player (velmor_worklet.wasm,
// made by velmor_page.js and given as Module.velmorOpenmpt), so that one
// build of the library serves the worklet's sound, the page's module check
// and the still frames. A module here is the address of one in that
// instance's memory; bytes go in and samples and strings come out through it.
// None of these calls waits, so none may unwind under Asyncify.
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <libopenmpt/libopenmpt.h>

namespace {

EM_JS(int, web_openmpt_ready, (), { return Module['velmorOpenmpt'] ? 1 : 0; });

// Copies the module's bytes into the player's memory, which takes them back;
// the module's address, or 0 with the library's error and the address of its
// message (to be freed there) at `error` and `message`.
EM_JS(int, web_openmpt_open, (const void *bytes, int size, int *error, int *message), {
  const player = Module['velmorOpenmpt'];
  const at = player['malloc'](size > 0 ? size : 1);
  new Uint8Array(player['memory'].buffer, at, size).set(HEAPU8.subarray(bytes, bytes + size));
  const out = player['malloc'](8);
  const module = player['velmor_openmpt_open'](at, size, out, out + 4);
  const view = new DataView(player['memory'].buffer);
  HEAP32[error >> 2] = view.getInt32(out, true);
  HEAP32[message >> 2] = view.getUint32(out + 4, true);
  player['free'](out);
  return module;
});

// The length of the string at `at` in the player's memory.
EM_JS(int, web_openmpt_string_length, (int at), {
  const bytes = new Uint8Array(Module['velmorOpenmpt']['memory'].buffer);
  let end = at;
  while (bytes[end]) end++;
  return end - at;
});

EM_JS(void, web_openmpt_take_string, (int at, char *to, int length), {
  const player = Module['velmorOpenmpt'];
  HEAPU8.set(new Uint8Array(player['memory'].buffer, at, length), to);
  HEAPU8[to + length] = 0;
  player['openmpt_free_string'](at);
});

// Renders into a buffer of the player's, grown as needed, and copies out
// what it rendered.
EM_JS(int, web_openmpt_read, (int module, int rate, int count, float *to), {
  const player = Module['velmorOpenmpt'];
  if ((Module['velmorOpenmptRoom'] || 0) < count) {
    if (Module['velmorOpenmptBuffer']) player['free'](Module['velmorOpenmptBuffer']);
    Module['velmorOpenmptBuffer'] = player['malloc'](8 * count);
    Module['velmorOpenmptRoom'] = count;
  }
  const buffer = Module['velmorOpenmptBuffer'];
  const got = player['openmpt_module_read_interleaved_float_stereo'](module, rate, count, buffer);
  HEAPF32.set(new Float32Array(player['memory'].buffer, buffer, 2 * got), to >> 2);
  return got;
});

EM_JS(void, web_openmpt_destroy, (int module),
      { Module['velmorOpenmpt']['openmpt_module_destroy'](module); });
EM_JS(int, web_openmpt_order, (int module),
      { return Module['velmorOpenmpt']['openmpt_module_get_current_order'](module); });
EM_JS(int, web_openmpt_row, (int module),
      { return Module['velmorOpenmpt']['openmpt_module_get_current_row'](module); });
EM_JS(double, web_openmpt_seek, (int module, double seconds),
      { return Module['velmorOpenmpt']['openmpt_module_set_position_seconds'](module, seconds); });
EM_JS(double, web_openmpt_duration, (int module),
      { return Module['velmorOpenmpt']['openmpt_module_get_duration_seconds'](module); });
EM_JS(int, web_openmpt_repeat, (int module, int count),
      { return Module['velmorOpenmpt']['openmpt_module_set_repeat_count'](module, count); });

int Handle(openmpt_module *mod) { return static_cast<int>(reinterpret_cast<uintptr_t>(mod)); }

char *CopyOf(const char *text) {
  size_t length = std::strlen(text);
  char *copy = static_cast<char *>(std::malloc(length + 1));
  if (copy != nullptr) std::memcpy(copy, text, length + 1);
  return copy;
}

} // namespace

extern "C" {

// The library logs to the player's log, which is silent; refusals come back
// as the error and its message, as the player core reads them.
openmpt_module *openmpt_module_create_from_memory2(const void *filedata, size_t filesize,
                                                   openmpt_log_func, void *, openmpt_error_func,
                                                   void *, int *error, const char **error_message,
                                                   const openmpt_module_initial_ctl *) {
  if (error_message != nullptr) *error_message = nullptr;
  if (!web_openmpt_ready()) {
    if (error != nullptr) *error = OPENMPT_ERROR_GENERAL;
    if (error_message != nullptr) *error_message = CopyOf("the page's music player did not load");
    return nullptr;
  }
  int code = 0;
  int message = 0;
  int module = web_openmpt_open(filedata, static_cast<int>(filesize), &code, &message);
  if (error != nullptr) *error = code;
  if (message != 0) {
    int length = web_openmpt_string_length(message);
    char *copy = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
    if (copy != nullptr) web_openmpt_take_string(message, copy, length);
    if (error_message != nullptr)
      *error_message = copy;
    else
      std::free(copy);
  }
  return reinterpret_cast<openmpt_module *>(static_cast<uintptr_t>(module));
}

void openmpt_free_string(const char *str) { std::free(const_cast<char *>(str)); }

void openmpt_module_destroy(openmpt_module *mod) { web_openmpt_destroy(Handle(mod)); }

size_t openmpt_module_read_interleaved_float_stereo(openmpt_module *mod, int32_t samplerate,
                                                    size_t count, float *interleaved_stereo) {
  return static_cast<size_t>(
      web_openmpt_read(Handle(mod), samplerate, static_cast<int>(count), interleaved_stereo));
}

int32_t openmpt_module_get_current_order(openmpt_module *mod) {
  return web_openmpt_order(Handle(mod));
}

int32_t openmpt_module_get_current_row(openmpt_module *mod) { return web_openmpt_row(Handle(mod)); }

double openmpt_module_set_position_seconds(openmpt_module *mod, double seconds) {
  return web_openmpt_seek(Handle(mod), seconds);
}

double openmpt_module_get_duration_seconds(openmpt_module *mod) {
  return web_openmpt_duration(Handle(mod));
}

int openmpt_module_set_repeat_count(openmpt_module *mod, int32_t repeat_count) {
  return web_openmpt_repeat(Handle(mod), repeat_count);
}

} // extern "C"
