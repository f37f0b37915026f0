// Twips: window geometry unit, 1/1440 inch. The platform reports twips per pixel for each axis
// (15 at 96 dots per inch).
#pragma once

#include "base/checked.h"

namespace plenova {

inline constexpr int kTwipsPerInch = 1440;

// Twips per pixel for a given dots-per-inch value, rounded half to even (96 dpi -> 15).
Int32 TwipsPerPixelForDpi(double dpi);

// Twips to pixels and back for one axis. Pixels to twips is exact; twips to pixels divides and
// rounds half to even (the classic single-precision scale conversion).
double TwipsToPixels(double twips, Int32 twipsPerPixel);
double PixelsToTwips(double pixels, Int32 twipsPerPixel);

}  // namespace plenova
