#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/window.h"
#include "assets/asset_alloc.h"
#include "platform/fake/fake_platform.h"
#include "scene/scene_init.h"
#include "tests/scene/fake_music.h"
#include "tests/support/lines.h"
#include "tests/support/osmesa_context.h"

namespace {

class SceneInit : public ::testing::Test {
protected:
  OsMesaContext gl{64, 64};
  AppWindow window{};
  KeyTable keys{};

  void SetUp() override {
    ASSERT_TRUE(gl.ok());
    FakeReset();
    fakeMusic = FakeMusicState{};
    window.keys = &keys;
  }
  void TearDown() override { FailAssetAllocation(0); }

  // InitScene with its n-th allocation failing; what it wrote on standard
  // error goes into *lines.
  int32_t InitFailing(uint32_t n, std::vector<std::string> *lines) {
    FailAssetAllocation(n);
    testing::internal::CaptureStderr();
    int32_t result = InitScene(&window, &keys);
    *lines = Lines(testing::internal::GetCapturedStderr());
    return result;
  }
};

// The font's pixel copy and the glow texture's block are the last two
// allocations InitScene makes: each failing ends it with 0 and exactly one
// line that names what failed and why, and no box.
TEST_F(SceneInit, FontOrGlowTextureWithoutMemoryEndsItWithOneLineNamingIt) {
  std::vector<std::string> lines;
  ASSERT_EQ(InitFailing(UINT32_MAX, &lines), 1);
  EXPECT_TRUE(lines.empty());
  uint32_t total = assetAllocations;
  ASSERT_GE(total, 2u);

  FakeReset();
  EXPECT_EQ(InitFailing(total, &lines), 0);
  EXPECT_EQ(lines, std::vector<std::string>{
                       "velmor: cannot create the glow texture: no memory for its 4 MiB block"});
  EXPECT_NE(FontImage.pixels, nullptr); // the font came before it

  EXPECT_EQ(InitFailing(total - 1, &lines), 0);
  EXPECT_EQ(lines, std::vector<std::string>{"velmor: cannot load the font \"DATA_FONT2\" (TGA): "
                                            "no memory for 262144 bytes of pixels"});
  EXPECT_EQ(FontImage.pixels, nullptr);
  EXPECT_TRUE(FakeMessageBoxes().empty());
}

// A picture without memory is the JPEG loader's box, captioned with its
// name; the scene goes on without it and says nothing more.
TEST_F(SceneInit, PictureWithoutMemoryIsShownInABoxAndTheSceneGoesOn) {
  std::vector<std::string> lines;
  EXPECT_EQ(InitFailing(1, &lines), 1);
  EXPECT_EQ(FakeMessageBoxes(), std::vector<std::string>{"DATA_PARTICLE|???."});
  EXPECT_TRUE(lines.empty());
  EXPECT_NE(FontImage.pixels, nullptr);
  EXPECT_NE(GlowTexture, 0u);
}

// A module that will not load leaves the show running on its background, as
// the viewer can still end it; the status it ends with says it did not play.
// The audio is set up once per process, so each case runs in a fresh one.
TEST_F(SceneInit, AShowWithoutItsMusicRunsButEndsWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (unsigned load : {0u, 0x10000u}) {
    EXPECT_EXIT(
        {
          fakeMusic.loadResult = load;
          int32_t result = InitScene(&window, &keys);
          std::fprintf(stderr, "init %d\n", result);
          std::exit(exitStatus);
        },
        ::testing::ExitedWithCode(load == 0 ? 1 : 0), "init 1")
        << "module handle " << load;
  }
}

} // namespace
