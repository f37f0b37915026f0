// plenova_datagen: draws the saver's pictures, composes its music and writes them as the data
// files of the distribution folder.
//
//   plenova_datagen --out DIR [--contact-sheet FILE.png]
//   plenova_datagen --icons DIR      the program icon as PNG files for the desktop's icon theme:
//                                    DIR/<n>x<n>/apps/plenova.png
//
// The output depends on nothing but this program: no clock, no unseeded randomness, font
// outlines from a font file. The same build therefore writes byte-identical files.
#include "art.h"
#include "assets/asset_names.h"
#include "music.h"
#include "palette.h"
#include "writers.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace plenova::datagen {
namespace {

struct Picture {
    std::string name;
    ArtPixels art;
    bool sprite = false;
    IndexedImage indexed;
};

// Figures count more per pixel than the background when the palette is chosen; they are
// small, but the eye rests on them.
constexpr double kFigureWeight = 10.0;
constexpr double kDialogWeight = 3.0;

IconImage ToIcon(const QImage& image, Quantizer& scene, bool sixteenColors) {
    static const std::array<Rgb8, 16> kVga = {{{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                               {0, 0, 128},   {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                               {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
                                               {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}}};
    IconImage icon;
    icon.size = image.width();
    icon.bitsPerPixel = sixteenColors ? 4 : 8;
    if (sixteenColors)
        icon.colors.assign(kVga.begin(), kVga.end());
    else
        icon.colors.assign(scene.Colors().begin(), scene.Colors().end());
    const int n = icon.size;
    icon.pixels.resize(static_cast<std::size_t>(n) * n);
    icon.shown.resize(static_cast<std::size_t>(n) * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const QRgb p = image.pixel(x, y);
            const int a = qAlpha(p);
            const std::size_t i = static_cast<std::size_t>(y) * n + x;
            icon.shown[i] = a >= 128;
            if (!icon.shown[i]) continue;
            // Edges against the dialog's black.
            const Rgbf c{static_cast<float>(qRed(p)), static_cast<float>(qGreen(p)), static_cast<float>(qBlue(p))};
            if (sixteenColors) {
                int best = 0;
                float bestD = 1e30f;
                const Lab lab = ToOklab(c.r, c.g, c.b);
                for (int k = 0; k < 16; ++k) {
                    const float d = LabDistance2(lab, ToOklab(kVga[k].r, kVga[k].g, kVga[k].b));
                    if (d < bestD) {
                        bestD = d;
                        best = k;
                    }
                }
                icon.pixels[i] = static_cast<std::uint8_t>(best);
            } else {
                icon.pixels[i] = scene.Dither(c, x, y);
            }
        }
    return icon;
}

QImage IconPreview(const IconImage& icon) {
    QImage image(icon.size, icon.size, QImage::Format_ARGB32);
    for (int y = 0; y < icon.size; ++y)
        for (int x = 0; x < icon.size; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * icon.size + x;
            const Rgb8 c = icon.colors[icon.pixels[i]];
            image.setPixel(x, y, icon.shown[i] ? qRgb(c.r, c.g, c.b) : qRgba(0, 0, 0, 0));
        }
    return image;
}

QImage Decode(const IndexedImage& image, const PaletteColors& palette, bool sprite) {
    QImage out(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t v = image.At(x, y);
            const Rgb8 c = palette[v];
            out.setPixel(x, y, sprite && v == assets::kTransparentIndex ? qRgba(0, 0, 0, 0) : qRgb(c.r, c.g, c.b));
        }
    return out;
}

// Every picture at its own size on a grey checkerboard, labelled, for a person to look at.
void WriteContactSheet(const QString& path, const std::vector<Picture>& pictures, const PaletteColors& palette,
                       const std::vector<std::pair<std::string, QImage>>& icons) {
    const int margin = 16, label = 16, width = assets::kBackgroundWidth + 2 * margin;
    // Lay out: the background on its own row, then the rest in rows.
    struct Placed {
        QString name;
        QImage image;
        QPoint at;
    };
    std::vector<Placed> placed;
    int x = margin, y = margin, rowHeight = 0;
    auto place = [&](const QString& name, const QImage& image) {
        if (x + image.width() > width - margin) {
            x = margin;
            y += rowHeight + label + margin;
            rowHeight = 0;
        }
        placed.push_back({name, image, QPoint(x, y + label)});
        x += std::max(image.width(), 90) + margin;
        rowHeight = std::max(rowHeight, image.height());
    };
    for (const Picture& p : pictures) place(QString::fromStdString(p.name), Decode(p.indexed, palette, p.sprite));
    for (const auto& [name, image] : icons) place(QString::fromStdString(name), image);
    const int height = y + rowHeight + label + margin;
    QImage sheet(width, height, QImage::Format_RGB32);
    QPainter p(&sheet);
    for (int cy = 0; cy < height; cy += 8)
        for (int cx = 0; cx < width; cx += 8)
            p.fillRect(cx, cy, 8, 8, ((cx / 8 + cy / 8) % 2) ? QColor(150, 150, 150) : QColor(110, 110, 110));
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    for (const Placed& item : placed) {
        p.setPen(Qt::white);
        p.drawText(item.at + QPoint(0, -4), item.name);
        p.drawImage(item.at, item.image);
    }
    p.end();
    if (!sheet.save(path, "PNG")) throw std::runtime_error("cannot write " + path.toStdString());
}

int Run(const QString& outDir, const QString& sheetPath) {
    if (!QDir().mkpath(outDir)) throw std::runtime_error("cannot create " + outDir.toStdString());
    std::vector<Picture> pictures;
    pictures.push_back({std::string(assets::kBackground), PaintBackground(), false, {}});

    std::vector<Layered> figures = PaintRocketFrames();
    figures.push_back(PaintAsteroid());
    figures.push_back(PaintRingedPlanet());
    figures.push_back(PaintGasGiant());
    figures.push_back(PaintSatellite());
    figures.push_back(PaintComet());
    figures.push_back(PaintAstronaut());
    for (Layered& l : PaintSaucerFrames()) figures.push_back(std::move(l));
    for (Layered& l : PaintFrogFrames()) figures.push_back(std::move(l));
    if (figures.size() != assets::kSpriteFiles.size()) throw std::logic_error("sprite list and file list differ");
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const assets::SpriteFile& file = assets::kSpriteFiles[i];
        if (figures[i].body.width() != file.width || figures[i].body.height() != file.height)
            throw std::logic_error("sprite size differs from its file entry: " + std::string(file.name));
        pictures.push_back({std::string(file.name), PrepareSprite(figures[i], kFigureWeight), true, {}});
    }

    pictures.push_back({std::string(assets::kPreview), PrepareOpaque(PaintPreview(), kDialogWeight), false, {}});
    pictures.push_back({std::string(assets::kTitlePicture), PrepareOpaque(PaintTitle(), kDialogWeight), false, {}});
    pictures.push_back({std::string(assets::kStar45), PrepareOpaque(PaintStarPicture(45, 0), kDialogWeight), false, {}});
    pictures.push_back({std::string(assets::kStar31), PrepareOpaque(PaintStarPicture(31, 1), kDialogWeight), false, {}});
    pictures.push_back({std::string(assets::kStar25), PrepareOpaque(PaintStarPicture(25, 2), kDialogWeight), false, {}});
    pictures.push_back({std::string(assets::kStar15), PrepareOpaque(PaintStarPicture(15, 3), kDialogWeight), false, {}});

    ColorHistogram histogram;
    for (const Picture& p : pictures) histogram.Add(p.art);
    const PaletteColors palette = BuildScenePalette(histogram);
    Quantizer quantizer(palette);
    const QDir dir(outDir);
    for (Picture& p : pictures) {
        p.indexed = quantizer.Map(p.art, true);
        WriteFileBytes(dir.filePath(QString::fromStdString(p.name)).toStdString(), EncodeBmp8(p.indexed, palette));
    }

    std::vector<std::pair<std::string, QImage>> iconPreviews;
    auto writeIcon = [&](std::string_view name, QImage (*paint)(int, bool), bool up, bool sixteen) {
        std::vector<IconImage> images;
        for (int size : {32, 16}) {
            images.push_back(ToIcon(paint(size, up), quantizer, sixteen));
            iconPreviews.emplace_back(std::string(name) + " " + std::to_string(size), IconPreview(images.back()));
        }
        WriteFileBytes(dir.filePath(QString::fromUtf8(name.data(), static_cast<int>(name.size()))).toStdString(),
                       EncodeIco(images));
    };
    writeIcon(assets::kProgramIcon, [](int size, bool) { return PaintProgramIcon(size); }, false, false);
    writeIcon(assets::kUpIcon, PaintArrowIcon, true, true);
    writeIcon(assets::kDownIcon, PaintArrowIcon, false, true);

    WriteWav(dir.filePath(QString::fromUtf8(assets::kMusic.data(), static_cast<int>(assets::kMusic.size()))).toStdString(),
             ComposeMusic(), assets::kMusicChannels, assets::kMusicSampleRate);

    if (!sheetPath.isEmpty()) WriteContactSheet(sheetPath, pictures, palette, iconPreviews);
    return 0;
}

// The frog icon drawn afresh at each size of an icon theme (no scaled-down copies), in full
// colour with soft edges.
int WriteThemeIcons(const QString& outDir) {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        if (!QDir().mkpath(folder)) throw std::runtime_error("cannot create " + folder.toStdString());
        const QString path = folder + QStringLiteral("/plenova.png");
        if (!PaintProgramIcon(size).save(path, "PNG")) throw std::runtime_error("cannot write " + path.toStdString());
    }
    return 0;
}

} // namespace
} // namespace plenova::datagen

int main(int argc, char** argv) {
    // Drawing needs no display: use Qt's offscreen platform unless told otherwise.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    QString outDir, sheet, iconDir;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--out") && i + 1 < args.size())
            outDir = args[++i];
        else if (args[i] == QStringLiteral("--contact-sheet") && i + 1 < args.size())
            sheet = args[++i];
        else if (args[i] == QStringLiteral("--icons") && i + 1 < args.size())
            iconDir = args[++i];
        else {
            std::fprintf(stderr, "usage: plenova_datagen --out DIR [--contact-sheet FILE.png]\n");
            return 2;
        }
    }
    if (outDir.isEmpty() == iconDir.isEmpty()) {
        std::fprintf(stderr, "usage: plenova_datagen --out DIR [--contact-sheet FILE.png]\n"
                             "       plenova_datagen --icons DIR\n");
        return 2;
    }
    try {
        if (!iconDir.isEmpty()) return plenova::datagen::WriteThemeIcons(iconDir);
        return plenova::datagen::Run(outDir, sheet);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plenova_datagen: %s\n", e.what());
        return 1;
    }
}
