#include "bench/scene_bench.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <malloc.h>
#include <string>
#include <time.h>

#include <GL/gl.h>
#include <GL/glu.h>
#include <jpeglib.h>
#include <libopenmpt/libopenmpt.h>

#include "app/main.h"
#include "app/scene.h"
#include "app/show.h"
#include "app/window.h"
#include "assets/jpeg_texture.h"
#include "assets/resources.h"
#include "assets/tga_texture.h"
#include "bench/alloc_counter.h"
#include "capture/stepper.h"
#include "music/music.h"
#include "music/player_core.h"
#include "music/real_fft.h"
#include "platform/offscreen/offscreen.h"
#include "platform/virtual_clock.h"
#include "scene/composition.h"
#include "scene/scene_init.h"
#include "scene/sprites.h"
#include "scene/timeline.h"

namespace {

// Processor time of the whole process, llvmpipe's worker threads included
// (glFinish waits for them, so their work belongs to the frame). On a shared
// machine, wall time also counts whoever else held the cores; processor time
// counts the work, so value and floor stay comparable under load.
struct CpuClock {
  using rep = int64_t;
  using period = std::nano;
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<CpuClock>;
  static constexpr bool is_steady = true;
  static time_point now() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return time_point(duration(int64_t{t.tv_sec} * 1000000000 + t.tv_nsec));
  }
};
using Clock = CpuClock;
using WallClock = std::chrono::steady_clock;
constexpr const char *moduleFile = "torva_velmor2.it";

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

double WallMs(WallClock::time_point a, WallClock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

AppInfo app{nullptr, "OpenGL"};
ResidentSteps residentSteps;
double firstInitMs = 0.0;
double jpegTextureMB = 0.0;
KeyTable keys{};
AppWindow window{};

void DeleteSceneTextures() {
  glDeleteTextures(static_cast<GLsizei>(TextureTable.size()), TextureTable.data());
  glDeleteTextures(1, &ParticleTexture);
  glDeleteTextures(1, &ScreenTexture);
  glDeleteTextures(1, &FilmTexture);
  glDeleteTextures(1, &FontImage.texture);
  glDeleteTextures(1, &GlowTexture);
  std::free(FontImage.pixels);
  FontImage.pixels = nullptr;
}

// libjpeg-turbo and nothing else: one decompressor for all pictures, decoding
// straight into one buffer made before the clock starts.
struct FloorDecoder {
  jpeg_decompress_struct decompressor{};
  jpeg_error_mgr errors{};
  std::vector<uint8_t> pixels = std::vector<uint8_t>(512 * 512 * 3);
  std::vector<JSAMPROW> rows = std::vector<JSAMPROW>(512);
  int width = 0, height = 0;
  FloorDecoder() {
    decompressor.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decompressor);
  }
  ~FloorDecoder() { jpeg_destroy_decompress(&decompressor); }

  void Decode(const ResourceBytes &bytes) {
    jpeg_mem_src(&decompressor, bytes.data, bytes.size);
    jpeg_read_header(&decompressor, TRUE);
    decompressor.out_color_space = JCS_RGB;
    jpeg_start_decompress(&decompressor);
    size_t stride = size_t{decompressor.output_width} * 3;
    for (JDIMENSION r = 0; r < decompressor.output_height; ++r)
      rows[r] = pixels.data() + r * stride;
    while (decompressor.output_scanline < decompressor.output_height)
      jpeg_read_scanlines(&decompressor, rows.data() + decompressor.output_scanline,
                          decompressor.output_height - decompressor.output_scanline);
    width = static_cast<int>(decompressor.output_width);
    height = static_cast<int>(decompressor.output_height);
    jpeg_finish_decompress(&decompressor);
  }
};

struct Startup {
  std::vector<double> decodeFloor, mipmapFloor, decodes, loads, initScene, font, glowTarget,
      moduleLoad, sprites, initTotal, floorTotal, textureShare;
};

void FullScreenQuad() {
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(0.0f, 0.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2f(screenRight, 0.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2f(screenRight, screenTop);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(0.0f, screenTop);
  glEnd();
}

// The frame's fill work with no scene behind it: the same clears, viewports,
// blend functions, textures and pixels covered, drawn from constants.
void FloorFrame(int cards) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
  glColor3f(1.0f, 1.0f, 1.0f);
  glViewport(0, 0, glowSize, glowSize);
  for (int i = 0; i < cards; ++i) {
    glBindTexture(GL_TEXTURE_2D, TextureTable[static_cast<size_t>(i)]);
    FullScreenQuad();
  }
  glBindTexture(GL_TEXTURE_2D, GlowTexture);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, glowSize, glowSize, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glViewport(0, 0, screenWidth, screenHeight);
  for (int i = 0; i < cards; ++i) {
    glBindTexture(GL_TEXTURE_2D, TextureTable[static_cast<size_t>(i)]);
    FullScreenQuad();
  }
  glBindTexture(GL_TEXTURE_2D, GlowTexture);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glBegin(GL_QUADS);
  for (int i = 0; i < 15; ++i) {
    float inset = 0.02f * static_cast<float>(i);
    glColor4f(1.0f, 1.0f, 1.0f, 0.3f - 0.02f * static_cast<float>(i));
    glTexCoord2f(inset, inset);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(inset, 1.0f - inset);
    glVertex2f(0.0f, screenTop);
    glTexCoord2f(1.0f - inset, 1.0f - inset);
    glVertex2f(screenRight, screenTop);
    glTexCoord2f(1.0f - inset, inset);
    glVertex2f(screenRight, 0.0f);
  }
  glEnd();
  glBlendFunc(GL_DST_COLOR, GL_ZERO);
  glColor3f(1.0f, 1.0f, 1.0f);
  glBindTexture(GL_TEXTURE_2D, ScreenTexture);
  FullScreenQuad();
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
  glColor3f(0.2f, 0.2f, 0.2f);
  glBindTexture(GL_TEXTURE_2D, FilmTexture);
  FullScreenQuad();
  glColor3f(0.1f, 0.1f, 0.1f);
  glBindTexture(GL_TEXTURE_2D, ScreenTexture);
  FullScreenQuad();
}

void FloorState() {
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluOrtho2D(0.0, screenRight, 0.0, screenTop);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// Cards 0..n-1 live and large enough that, turned any way, each covers the
// whole viewport in both passes (a square of half side 520 around the centre
// reaches past the corners at 500), at full grey; the rest not live. Reset
// before every frame so that growth and fading never change the work.
void SetCards(int n) {
  TimelineStep = n - 1;
  for (int i = 0; i < cardCount; ++i) {
    Sprite &s = SpriteTable[static_cast<size_t>(i)];
    s.active = i < n ? 1 : 0;
    s.scale = 52.0f;
    s.grey = 1.0f;
    s.x = s.targetX;
    s.y = s.targetY;
  }
}

double SceneFrameMs(int cards) {
  SetCards(cards);
  Clock::time_point a = Clock::now();
  SceneFrame(1.0 / 60.0);
  glFinish();
  return Ms(a, Clock::now());
}

double FloorFrameMs(int cards) {
  Clock::time_point a = Clock::now();
  FloorFrame(cards);
  glFinish();
  return Ms(a, Clock::now());
}

std::string LibraryOf(void *address) {
  Dl_info info{};
  if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr)
    return "unknown";
  std::string path = info.dli_fname;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::vector<const char *> JpegNames() {
  std::vector<const char *> names = {"DATA_PARTICLE", "DATA_screen", "DATA_FILM"};
  names.insert(names.end(), cardPictures.begin(), cardPictures.end());
  return names;
}

double ResidentMB(const char *field) {
  FILE *status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0.0;
  char line[256];
  double kib = 0.0;
  size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status) != nullptr)
    if (std::strncmp(line, field, length) == 0) kib = std::atof(line + length);
  std::fclose(status);
  return kib * 1024.0 / 1e6;
}

const ResidentSteps &BenchResidentSteps() { return residentSteps; }
double FirstInitSceneMs() { return firstInitMs; }
double JpegTextureMB() { return jpegTextureMB; }

bool OpenBenchScene() {
  residentSteps.start = ResidentMB("VmRSS:");
  app.instance = GetModuleHandleA(nullptr);
  FillAppRecords(&app, &window, &keys, 0);
  VirtualClockSetRate(audioRate);
  if (!RegisterWindowClass(&app) || !CreateAppWindow(&window)) {
    std::fprintf(stderr, "velmor-bench: no offscreen OpenGL: %s\n", OffscreenGlError().c_str());
    return false;
  }
  residentSteps.context = ResidentMB("VmRSS:");
  keepRunning = 1;
  Clock::time_point a = Clock::now();
  int32_t started = InitScene(&window, &keys);
  glFinish();
  firstInitMs = Ms(a, Clock::now());
  if (!started || MusicHandle == 0) {
    std::fprintf(stderr, "velmor-bench: the scene could not start (run it where %s is)\n",
                 moduleFile);
    return false;
  }
  residentSteps.scene = ResidentMB("VmRSS:");
  return true;
}

const char *GlRendererName() {
  auto *s = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
  return s != nullptr ? s : "unknown";
}

const char *GlVersionName() {
  auto *s = reinterpret_cast<const char *>(glGetString(GL_VERSION));
  return s != nullptr ? s : "unknown";
}

void MeasureStartup(const BenchSizes &sizes, std::vector<Figure> *figures) {
  std::vector<const char *> names = JpegNames();
  std::vector<ResourceBytes> compressed;
  for (const char *n : names) compressed.push_back(FindEmbeddedResource("JPG", n));

  FloorDecoder floorDecoder;
  Startup s;
  // One more repetition than asked: the first finds cold caches and an empty
  // heap, and is dropped.
  for (int rep = 0; rep <= sizes.startupReps; ++rep) {
    // Each batch starts on a heap that has given its free memory back to the
    // kernel, as the intro's one InitScene starts on a fresh heap: the 43
    // textures then fault ~14000 pages in (57 MB) on every side. Without the
    // trim, InitScene reused the storage of the textures deleted just before it
    // and faulted ~200, which no real start-up does.
    //
    // The floor decodes each picture with libjpeg-turbo into one buffer and
    // has GLU build its chain from that buffer while it is still in the cache,
    // into a texture of its own, as the loader does.
    std::vector<GLuint> textures(names.size());
    glGenTextures(static_cast<GLsizei>(textures.size()), textures.data());
    glFinish();
    malloc_trim(0);
    double decodeMs = 0.0, mipmapMs = 0.0;
    for (size_t i = 0; i < compressed.size(); ++i) {
      glBindTexture(GL_TEXTURE_2D, textures[i]);
      // The loader's filter: with GL's default one Mesa lays the storage out
      // differently, and the floor paid ~70 % more page faults than the loader.
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
      Clock::time_point a = Clock::now();
      floorDecoder.Decode(compressed[i]);
      Clock::time_point b = Clock::now();
      gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB8, floorDecoder.width, floorDecoder.height, GL_RGB,
                        GL_UNSIGNED_BYTE, floorDecoder.pixels.data());
      Clock::time_point c = Clock::now();
      glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
      decodeMs += Ms(a, b);
      mipmapMs += Ms(b, c);
      if (rep == 0)
        jpegTextureMB += floorDecoder.width * floorDecoder.height * 4.0 * 4.0 / 3.0 / 1e6;
    }
    glFinish();
    s.decodeFloor.push_back(decodeMs);
    s.mipmapFloor.push_back(mipmapMs);
    glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    glFinish();
    malloc_trim(0);

    Clock::time_point a = Clock::now();
    for (size_t i = 0; i < names.size(); ++i) LoadJpegTexture(&textures[i], names[i]);
    glFinish();
    s.loads.push_back(Ms(a, Clock::now()));
    glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());

    a = Clock::now();
    for (const char *n : names) {
      DecodedImage *image = DecodeJpegResource(n);
      std::free(image->pixels);
      std::free(image);
    }
    s.decodes.push_back(Ms(a, Clock::now()));

    DeleteSceneTextures();
    glFinish();
    malloc_trim(0);
    a = Clock::now();
    InitScene(&window, &keys);
    glFinish();
    s.initScene.push_back(Ms(a, Clock::now()));

    TgaImage font{};
    a = Clock::now();
    LoadTgaTexture(&font, "DATA_FONT2");
    s.font.push_back(Ms(a, Clock::now()));
    glDeleteTextures(1, &font.texture);
    std::free(font.pixels);

    // A second glow texture, made and deleted beside the scene's own.
    GLuint sceneGlow = GlowTexture;
    a = Clock::now();
    CreateGlowTexture();
    s.glowTarget.push_back(Ms(a, Clock::now()));
    glDeleteTextures(1, &GlowTexture);
    GlowTexture = sceneGlow;

    // InitScene loads the module once per run; its cost is measured here and
    // added to the repeated InitScene.
    a = Clock::now();
    HMUSIC loaded = BASS_MusicLoad(FALSE, moduleFile, 0, 0, BASS_MUSIC_LOOP, 0);
    s.moduleLoad.push_back(Ms(a, Clock::now()));
    MusicHandle = loaded;
    MusicStarted = 0;

    a = Clock::now();
    for (int i = 0; i < 100; ++i) InitSpriteTable();
    s.sprites.push_back(Ms(a, Clock::now()) / 100.0);

    s.initTotal.push_back(s.initScene.back() + s.moduleLoad.back());
    s.floorTotal.push_back(s.decodeFloor.back() + s.mipmapFloor.back());
    s.textureShare.push_back(s.loads.back() - s.decodes.back());
  }
  for (std::vector<double> *v :
       {&s.decodeFloor, &s.mipmapFloor, &s.decodes, &s.loads, &s.initScene, &s.font, &s.glowTarget,
        &s.moduleLoad, &s.sprites, &s.initTotal, &s.floorTotal, &s.textureShare})
    v->erase(v->begin());

  double total = Median(s.initTotal);
  double decodeFloor = Median(s.decodeFloor), mipmapFloor = Median(s.mipmapFloor);
  auto &f = *figures;
  f.push_back(MakeFigure("init.scene",
                         "InitScene: 43 JPEG textures, font, glow target, cards, module load",
                         total, "cpu ms", Median(s.floorTotal),
                         "libjpeg-turbo alone + GLU mipmaps from memory, 43 pictures", "<= 1.1"));
  f.push_back(MakeFigure("init.jpeg_textures", "LoadJpegTexture x43 (decode, row turn, mipmaps)",
                         Median(s.loads), "cpu ms", Median(s.floorTotal),
                         "libjpeg-turbo alone + GLU mipmaps from memory", "info"));
  f.push_back(MakeFigure("init.jpeg_decode", "DecodeJpegResource x43 (decode and row turn)",
                         Median(s.decodes), "cpu ms", decodeFloor,
                         "libjpeg-turbo alone into one preallocated buffer", "info"));
  f.push_back(MakeFigure("init.mipmaps", "texture creation and gluBuild2DMipmaps x43 in the loader",
                         Median(s.textureShare), "cpu ms", mipmapFloor,
                         "gluBuild2DMipmaps x43 from pixels just decoded", "info"));
  f.push_back(MakeFigure("init.font", "LoadTgaTexture (font)", Median(s.font), "cpu ms", total,
                         "the whole InitScene (ratio = share)", "info"));
  f.push_back(MakeFigure("init.glow_target", "CreateGlowTexture (glow target)",
                         Median(s.glowTarget), "cpu ms", total,
                         "the whole InitScene (ratio = share)", "info"));
  f.push_back(MakeFigure("init.module_load", "BASS_MusicLoad (module file to libopenmpt)",
                         Median(s.moduleLoad), "cpu ms", total,
                         "the whole InitScene (ratio = share)", "info"));
  f.push_back(MakeFigure("init.sprites", "InitSpriteTable", Median(s.sprites), "cpu ms", total,
                         "the whole InitScene (ratio = share)", "info"));
}

void MeasureFrames(const BenchSizes &sizes, std::vector<Figure> *figures) {
  for (int cards : {0, 1, 3}) {
    std::vector<double> scene, floor, sceneWall, floorWall;
    for (int i = 0; i < sizes.warmupFrames; ++i) {
      SceneFrameMs(cards);
      FloorState();
      FloorFrameMs(cards);
    }
    // Blocks of each in turn, so that a burst of load elsewhere on the machine
    // falls on both alike.
    for (int rep = 0; rep < sizes.frameReps; ++rep) {
      double sum = 0.0;
      WallClock::time_point w = WallClock::now();
      for (int i = 0; i < sizes.framesPerRep; ++i) sum += SceneFrameMs(cards);
      sceneWall.push_back(WallMs(w, WallClock::now()) / sizes.framesPerRep);
      scene.push_back(sum / sizes.framesPerRep);
      FloorState();
      sum = 0.0;
      w = WallClock::now();
      for (int i = 0; i < sizes.framesPerRep; ++i) sum += FloorFrameMs(cards);
      floorWall.push_back(WallMs(w, WallClock::now()) / sizes.framesPerRep);
      floor.push_back(sum / sizes.framesPerRep);
    }
    std::string n = std::to_string(cards);
    figures->push_back(MakeFigure("frame.cards" + n,
                                  "SceneFrame at " + std::to_string(screenWidth) + "x" +
                                      std::to_string(screenHeight) + " with " + n +
                                      " live card(s), glFinish included",
                                  Median(scene), "cpu ms", Median(floor),
                                  "bare loop: same clears, copy, " + std::to_string(2 * cards) +
                                      " card quads, 15 glow layers, 3 layers",
                                  "<= 1.15"));
    figures->push_back(MakeFigure(
        "frame.cards" + n + "_wall", "the same frames in wall time (shared, noisy machine)",
        Median(sceneWall), "ms", Median(floorWall), "the bare loop in wall time", "info"));
  }

  // Steady state: the same three-card frame, counted after the warm-up.
  for (int i = 0; i < sizes.warmupFrames; ++i) SceneFrameMs(3);
  SetCards(3);
  AllocCountingStart();
  for (int i = 0; i < sizes.countedFrames; ++i) {
    SceneFrame(1.0 / 60.0);
    glFinish();
  }
  AllocCounts scene = AllocCountingStop();
  std::string driverLibrary = LibraryOf(AllocFirstProcessCaller());
  FloorState();
  for (int i = 0; i < sizes.warmupFrames; ++i) FloorFrameMs(3);
  AllocCountingStart();
  for (int i = 0; i < sizes.countedFrames; ++i) {
    FloorFrame(3);
    glFinish();
  }
  AllocCounts floor = AllocCountingStop();
  double frames = sizes.countedFrames;
  figures->push_back(MakeFigure(
      "alloc.frame.ours", "allocations per SceneFrame made by our code (3 cards, steady)",
      static_cast<double>(scene.ours) / frames, "allocs", 0.0, "none (ratio = excess)", "<= 0"));
  figures->push_back(MakeFigure(
      "alloc.frame.process",
      "allocations per SceneFrame in the whole process (first from " + driverLibrary + ")",
      static_cast<double>(scene.process) / frames, "allocs",
      static_cast<double>(floor.process) / frames, "the bare loop's, same context", "info"));
}

void MeasureAudio(const BenchSizes &sizes, std::vector<Figure> *figures) {
  openmpt_module *played = PlayerOpenModule(moduleFile, 1);
  openmpt_module *alone = PlayerOpenModule(moduleFile, 1);
  openmpt_module *alone128 = PlayerOpenModule(moduleFile, 1);
  if (played == nullptr || alone == nullptr || alone128 == nullptr) return;
  PlayerReset();
  PlayerInstall(played);
  PlayerRestart();
  PlayerPrepareSpectrum();

  // The sound device asks for 1024 frames at a time.
  constexpr int block = 1024;
  std::vector<float> out(2 * block);
  std::array<float, 256> magnitudes{};
  auto renderSecond = [&](bool throughPlayer) {
    for (int done = 0; done < audioRate; done += block) {
      int n = std::min(block, audioRate - done);
      if (throughPlayer)
        PlayerRender(out.data(), n);
      else
        openmpt_module_read_interleaved_float_stereo(alone, audioRate, static_cast<size_t>(n),
                                                     out.data());
    }
  };
  // libopenmpt alone in the player's own read size, to tell the cost of the
  // read size from the cost of the player's bookkeeping.
  auto renderSecondInChunks = [&] {
    for (int done = 0; done < audioRate; done += renderChunk) {
      int n = std::min(renderChunk, audioRate - done);
      openmpt_module_read_interleaved_float_stereo(alone128, audioRate, static_cast<size_t>(n),
                                                   out.data());
    }
  };
  renderSecond(true);
  renderSecond(false);
  renderSecondInChunks();

  RealFft realFft;
  RealFftPrepare(&realFft);
  std::array<float, realFftSize> input{};
  std::array<float, realFftBins> outRe{}, outIm{};
  for (int i = 0; i < realFftSize; ++i) input[i] = std::sin(0.1f * static_cast<float>(i));

  std::vector<double> player, floor, chunked, spectrum, fft, cpu;
  AllocCounts renderCounts{};
  for (int rep = 0; rep < sizes.audioReps; ++rep) {
    if (rep == sizes.audioReps - 1) AllocCountingStart();
    Clock::time_point a = Clock::now();
    renderSecond(true);
    double renderMs = Ms(a, Clock::now());
    if (rep == sizes.audioReps - 1) renderCounts = AllocCountingStop();
    player.push_back(renderMs);

    a = Clock::now();
    renderSecond(false);
    floor.push_back(Ms(a, Clock::now()));

    a = Clock::now();
    renderSecondInChunks();
    chunked.push_back(Ms(a, Clock::now()));

    // Sixty frames a second, each asking for the spectrum at the moment heard.
    uint64_t end = PlayerFramesRendered();
    a = Clock::now();
    for (int c = 0; c < sizes.spectrumCallsPerRep; ++c)
      PlayerSpectrumAt(end - audioRate + static_cast<uint64_t>(c % 60) * (audioRate / 60),
                       magnitudes.data());
    double perCall = Ms(a, Clock::now()) * 1000.0 / sizes.spectrumCallsPerRep;
    spectrum.push_back(perCall);

    a = Clock::now();
    for (int c = 0; c < sizes.spectrumCallsPerRep; ++c) {
      RealFftForward(&realFft, input.data(), outRe.data(), outIm.data());
      // Kept, or the optimiser may drop transforms whose results go unread.
      asm volatile("" : : "r"(outRe.data()), "r"(outIm.data()) : "memory");
    }
    fft.push_back(Ms(a, Clock::now()) * 1000.0 / sizes.spectrumCallsPerRep);

    // Per second of music: its rendering plus 60 spectra, as a share of one core.
    cpu.push_back((renderMs + 60.0 * perCall / 1000.0) / 1000.0 * 100.0);
  }
  PlayerReset();
  PlayerCloseModule(played);
  PlayerCloseModule(alone);
  PlayerCloseModule(alone128);

  auto &f = *figures;
  f.push_back(MakeFigure("audio.cpu",
                         "one second of music: PlayerRender (1024-frame blocks) + 60 spectra",
                         Median(cpu), "% of a core", 100.0, "one core for one second", "<= 0.02"));
  f.push_back(MakeFigure("audio.render", "PlayerRender, one second of the module", Median(player),
                         "cpu ms", Median(floor),
                         "libopenmpt alone, same second, read into one buffer", "info"));
  f.push_back(MakeFigure("audio.render_chunks", "PlayerRender, one second of the module",
                         Median(player), "cpu ms", Median(chunked),
                         "libopenmpt alone, same second, in the player's 128-frame reads", "info"));
  f.push_back(MakeFigure("audio.spectrum", "PlayerSpectrumAt, one call", Median(spectrum), "cpu us",
                         5.0, "the 5 us budget per call", "<= 1.0"));
  f.push_back(MakeFigure("audio.spectrum_fft", "PlayerSpectrumAt, one call", Median(spectrum),
                         "cpu us", Median(fft), "the 512-point real FFT alone", "info"));
  f.push_back(MakeFigure("alloc.audio.ours", "allocations by our code per second of PlayerRender",
                         static_cast<double>(renderCounts.ours), "allocs", 0.0,
                         "none (ratio = excess)", "<= 0"));
}

int RunRenderLoop(int fps, double seconds) {
  if (!OpenBenchScene()) return 1;
  std::vector<uint8_t> frame(static_cast<size_t>(screenWidth) * screenHeight * 3);
  const int64_t frames = static_cast<int64_t>(std::ceil(seconds * fps - 1e-9));
  Stepper stepper;
  stepper.fps = fps;
  stepper.deviceContext = window.deviceContext;
  stepper.soundEnd = AudioPositionOfVideoFrame(frames, fps);
  StepShown shown;
  while (stepper.videoFrame < frames && keepRunning) {
    StepFrame(&stepper, &shown);
    OffscreenReadFrame(frame.data());
  }
  DestroyAppWindow(&window);
  return 0;
}
