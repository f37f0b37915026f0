#include "base/twips.h"

namespace plenova {

Int32 TwipsPerPixelForDpi(double dpi) { return RoundToInt32(Divide(kTwipsPerInch, dpi)); }

double TwipsToPixels(double twips, Int32 twipsPerPixel) { return Divide(twips, twipsPerPixel); }

double PixelsToTwips(double pixels, Int32 twipsPerPixel) { return pixels * twipsPerPixel; }

}  // namespace plenova
