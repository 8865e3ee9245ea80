// The few system calls the music's player (velmor_worklet.wasm) may make,
// answered without the browser's APIs that an audio worklet lacks. The build
// puts this in front of both scripts that instantiate the player: the audio
// worklet's processor and the page's own script, whose program forwards its
// module checks and still frames to an instance of its own.
'use strict';

// A line of UTF-8 bytes, one character each, as text (the worklet's scope has
// no TextDecoder); as it came where it is not UTF-8.
function velmorUtf8(bytes) {
  try {
    return decodeURIComponent(escape(bytes));
  } catch (e) {
    return bytes;
  }
}

// The imports of an instance whose memory `memory()` gives once it is made:
// each line it writes on standard error goes to `line(text)`, and its clock
// reads `seconds()`.
function velmorSystemCalls(memory, line, seconds) {
  let pending = '';
  const view = () => new DataView(memory().buffer);
  const bytes = () => new Uint8Array(memory().buffer);
  const wasi = {
    fd_write(fd, iovs, count, written) {
      const v = view(), b = bytes();
      let total = 0;
      for (let i = 0; i < count; i++) {
        const at = v.getUint32(iovs + 8 * i, true), length = v.getUint32(iovs + 8 * i + 4, true);
        for (let k = 0; k < length; k++) {
          const c = b[at + k];
          if (c === 10) {
            line(velmorUtf8(pending));
            pending = '';
          } else {
            pending += String.fromCharCode(c);
          }
        }
        total += length;
      }
      v.setUint32(written, total, true);
      return 0;
    },
    fd_close: () => 0,
    fd_read: () => 8,  // EBADF: nothing to read in here
    fd_seek: () => 70, // ESPIPE
    fd_fdstat_get: () => 8,
    proc_exit(code) {
      throw new Error('the player exited with status ' + code);
    },
    environ_sizes_get(count, size) {
      view().setUint32(count, 0, true);
      view().setUint32(size, 0, true);
      return 0;
    },
    environ_get: () => 0,
    clock_time_get(id, precision, at) {
      view().setBigUint64(at, BigInt(Math.round(seconds() * 1e9)), true);
      return 0;
    },
  };
  const env = {
    getentropy(at, length) {
      const b = bytes();
      for (let i = 0; i < length; i++) b[at + i] = Math.floor(Math.random() * 256);
      return 0;
    },
    emscripten_notify_memory_growth() {},
  };
  return {wasi_snapshot_preview1: wasi, env};
}
