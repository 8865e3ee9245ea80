// The procedural pictures. Every function is pure: same call, same pixels.
#pragma once

#include "tools/artwork/common.h"
#include "tools/artwork/encode.h"

namespace art {

constexpr int kSide = 512;

// Scenes (scenes.cpp)
Image GlassAndMetalSpheres();
Image SunsetLandscape();
Image OceanAtSunset();
Image MoonOverWater();
Image Lighthouse();
Image TreeAtDusk();
Image MountainRidges();
Image FlowerMeadow();
Image RingedPlanet();
Image CandleFlame();
Image Aurora();

// Particles and curves (particles.cpp)
Image GalaxyAndStars();
Image ParticleHeart();
Image Fireworks();
Image RoseCurves();
Image ButterflyCurve();
Image LorenzAttractor();
Image Bokeh();
Image Snowflakes();
Image Sunflower();
Image SoapBubbles();

// Fractals and the violet-and-gold series (fractals.cpp)
Image MandelbrotValley();
Image BarnsleyFern();
Image VioletJulia(int variant);        // 0..3
Image VioletKaleidoscope(int variant); // 0..2

// Overlays (overlays.cpp)
Image ScreenVignette();
Image FilmGrain();
Image WhiteFlower32();

// The program's icon at one size (icon.cpp): the show's night blue, its glow
// and the white flower of its particles, on a rounded square.
IconPicture ProgramIcon(int side);
// The sizes Windows shows it at, as one .ico file.
Bytes ProgramIconFile();

} // namespace art
