#include "gif_writer.h"

#include <gif_lib.h>

#include <QFile>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <limits>

namespace skin {
namespace {

constexpr int kTransparentIndex = 0;
constexpr int kMaxColours = 255;  // index 0 is kept for transparency

// Reduces channel precision until the frames fit one 255-colour palette; the
// skin's flat art has few colours, so this rarely drops more than a bit.
std::vector<QRgb> buildPalette(const std::vector<QImage>& frames, int& shift) {
    for (shift = 0; shift < 8; ++shift) {
        QHash<QRgb, int> seen;
        const QRgb mask = qRgb(0xFF << shift & 0xFF, 0xFF << shift & 0xFF, 0xFF << shift & 0xFF);
        bool tooMany = false;
        for (const QImage& frame : frames) {
            for (int y = 0; y < frame.height() && !tooMany; ++y) {
                const QRgb* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
                for (int x = 0; x < frame.width(); ++x) {
                    if (qAlpha(line[x]) < 128) continue;
                    seen.insert(line[x] & mask & 0xFFFFFF, 0);
                    if (seen.size() > kMaxColours) {
                        tooMany = true;
                        break;
                    }
                }
            }
        }
        if (!tooMany) {
            std::vector<QRgb> palette(seen.keyBegin(), seen.keyEnd());
            std::sort(palette.begin(), palette.end());
            return palette;
        }
    }
    return {};
}

}  // namespace

bool writeAnimatedGif(const QString& path, const std::vector<QImage>& input,
                      const std::vector<int>& delaysCs) {
    if (input.empty() || input.size() != delaysCs.size()) return false;
    std::vector<QImage> frames;
    for (const QImage& frame : input) {
        if (frame.size() != input.front().size()) return false;
        // Straight (not premultiplied) colours, so edge pixels keep their hue.
        frames.push_back(frame.convertToFormat(QImage::Format_ARGB32));
    }
    int shift = 0;
    const std::vector<QRgb> colours = buildPalette(frames, shift);
    const QRgb mask = qRgb(0xFF << shift & 0xFF, 0xFF << shift & 0xFF, 0xFF << shift & 0xFF);

    GifColorType table[256] = {};
    QHash<QRgb, int> indexOf;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        table[index] = {static_cast<GifByteType>(qRed(colours[i])),
                        static_cast<GifByteType>(qGreen(colours[i])),
                        static_cast<GifByteType>(qBlue(colours[i]))};
        indexOf.insert(colours[i], index);
    }
    ColorMapObject* map = GifMakeMapObject(256, table);
    if (map == nullptr) return false;

    const QByteArray encodedPath = QFile::encodeName(path);
    int error = 0;
    GifFileType* gif = EGifOpenFileName(encodedPath.constData(), false, &error);
    if (gif == nullptr) {
        GifFreeMapObject(map);
        return false;
    }
    EGifSetGifVersion(gif, true);
    const int width = frames.front().width();
    const int height = frames.front().height();
    bool ok = EGifPutScreenDesc(gif, width, height, 8, kTransparentIndex, map) == GIF_OK;

    // Loop forever.
    unsigned char loop[3] = {1, 0, 0};
    char application[] = "NETSCAPE2.0";
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, 11, application) == GIF_OK &&
         EGifPutExtensionBlock(gif, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;

    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    for (std::size_t f = 0; ok && f < frames.size(); ++f) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_BACKGROUND;
        control.UserInputFlag = false;
        control.DelayTime = std::clamp(delaysCs[f], 0, 0xFFFF);
        control.TransparentColor = kTransparentIndex;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < height; ++y) {
            const QRgb* pixels = reinterpret_cast<const QRgb*>(frames[f].constScanLine(y));
            for (int x = 0; x < width; ++x) {
                line[static_cast<std::size_t>(x)] =
                    qAlpha(pixels[x]) < 128
                        ? kTransparentIndex
                        : static_cast<GifPixelType>(indexOf.value(pixels[x] & mask & 0xFFFFFF));
            }
            ok = EGifPutLine(gif, line.data(), width) == GIF_OK;
        }
    }
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    GifFreeMapObject(map);
    return ok;
}

}  // namespace skin
