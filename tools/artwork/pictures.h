// The procedural pictures. Every function is pure: same call, same pixels.
#pragma once

#include "tools/artwork/common.h"

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

} // namespace art
