// The painters: each returns true-colour pictures that the quantiser then maps onto the scene
// palette.
#pragma once

#include "palette.h"

#include <QImage>

#include <vector>

class QColor;
class QPainter;
class QPen;

namespace plenova::datagen {

// A figure as drawn: `body` is the solid figure, `glow` (may be null) soft light such as
// flames or a comet's tail; both premultiplied ARGB of the frame's size.
struct Layered {
    QImage body;
    QImage glow;
};

// Dark colour of space against which antialiased figure edges are blended.
inline constexpr Rgbf kSpaceColor{6, 7, 18};

// Turns a figure into palette-ready pixels: the body is solid where it covers at least half a
// pixel (a clean outline); the glow is blended with space where strong, stippled where faint.
ArtPixels PrepareSprite(const Layered& layered, double weight);
// An opaque picture.
ArtPixels PrepareOpaque(const QImage& image, double weight);

// New transparent premultiplied ARGB canvas.
QImage NewCanvas(int width, int height);

// The pen of the figures' outlines and strokes: round joins and caps, so that thick strokes
// end softly.
QPen RoundPen(const QColor& color, double width = 1.4);

// The tiling deep-space background, in true colour.
ArtPixels PaintBackground();

// Sprite frames, in the order of assets::kSpriteFiles.
std::vector<Layered> PaintRocketFrames();
Layered PaintAsteroid();
Layered PaintRingedPlanet();
Layered PaintGasGiant();
Layered PaintSatellite();
Layered PaintComet();
Layered PaintAstronaut();
std::vector<Layered> PaintSaucerFrames();
std::vector<Layered> PaintFrogFrames();

// Figures drawn centred at the painter's origin, shared by the sprites, the preview and the
// icon. The frog spans about 128 units; `phase` (0..1) is the point of its swimming stroke.
void DrawFrog(QPainter& painter, double phase);
void DrawRingedPlanet(QPainter& painter, double diameter);
void DrawGasGiant(QPainter& painter, double diameter);

// Settings dialog and preview pictures (opaque, on black).
QImage PaintPreview();
QImage PaintTitle();
QImage PaintStarPicture(int size, int variant);
// Icons with alpha.
QImage PaintProgramIcon(int size);
QImage PaintArrowIcon(int size, bool up);

} // namespace plenova::datagen
