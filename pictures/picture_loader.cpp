#include "picture_loader.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstring>
#include <new>

#include "jpeg_codec.h"
#include "picture_budget.h"
#include "png_codec.h"
#include "safe_file.h"

namespace fernweave {

namespace {

// Larger files are not pictures this program can hold.
constexpr std::size_t MaxPictureFileSize = std::size_t{512} << 20;

std::uint32_t U32(const std::string& b, std::size_t at) {
    return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8) |
           (static_cast<std::uint8_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24);
}

// For uncompressed BMPs the size of the pixel data follows from the header;
// a file shorter than that is cut off, which the reader would not tell.
bool BmpDataComplete(const std::string& b) {
    if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return false;
    const std::uint32_t offset = U32(b, 10);
    const std::uint32_t infoSize = U32(b, 14);
    if (infoSize < 40) return true;  // older headers: left to the reader
    if (b.size() < 14 + 40) return false;
    const auto width = static_cast<std::int32_t>(U32(b, 18));
    const auto height = static_cast<std::int32_t>(U32(b, 22));
    const int bits = static_cast<std::uint8_t>(b[28]) | (static_cast<std::uint8_t>(b[29]) << 8);
    const std::uint32_t compression = U32(b, 30);
    if (compression != 0 && compression != 3 && compression != 6) return true;  // run-length coded
    if (width <= 0 || height == 0 || bits == 0) return false;
    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bits) + 31) / 32) * 4;
    const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -static_cast<std::int64_t>(height) : height);
    return static_cast<std::uint64_t>(offset) + stride * rows <= b.size();
}

std::optional<Picture24> FromImage(const QImage& image) {
    if (image.isNull()) return std::nullopt;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) return std::nullopt;
    Picture24 picture(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* src = rgb.constScanLine(y);
        std::uint8_t* dst = picture.Row(y);
        for (int x = 0; x < rgb.width(); ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return picture;
}

std::optional<Picture24> LoadBmp(const std::string& bytes, std::uint64_t maxPixels) {
    if (!BmpDataComplete(bytes)) return std::nullopt;
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoTransform(false);
    reader.setAutoDetectImageFormat(false);  // a BMP name holds a BMP, nothing else
    reader.setAllocationLimit(1024);         // Qt's own limit lies below the pixels we accept
    // Qt reports the header's height as it is, negative for a top-down
    // picture, though it reads that picture upright like any other.
    const QSize announced = reader.size();
    const qint64 width = announced.width();
    const qint64 height = announced.height() < 0 ? -qint64{announced.height()} : qint64{announced.height()};
    if (width <= 0 || height <= 0 || !PictureWithinBudget(width, height, maxPixels)) return std::nullopt;
    QImage image;
    if (!reader.read(&image) || image.width() != width || image.height() != height) return std::nullopt;
    return FromImage(image);
}

}  // namespace

TPictureKind PictureKindOf(const QString& fileName) {
    const QString ext = QFileInfo(fileName).suffix().toLower();
    if (ext == "bmp") return TPictureKind::Bmp;
    if (ext == "jpg" || ext == "jpeg") return TPictureKind::Jpeg;
    if (ext == "png") return TPictureKind::Png;
    return TPictureKind::Other;
}

std::optional<Picture24> LoadPictureFile(const QString& fileName, std::uint64_t maxPixels) {
    const TPictureKind kind = PictureKindOf(fileName);
    if (kind == TPictureKind::Other) return std::nullopt;
    try {
        std::string bytes;
        if (!ReadFilePrefix(fileName.toStdString(), MaxPictureFileSize + 1, bytes)) return std::nullopt;
        if (bytes.size() > MaxPictureFileSize) return std::nullopt;
        if (kind == TPictureKind::Bmp) return LoadBmp(bytes, std::min(maxPixels, MaxBmpPixels));
        const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        if (kind == TPictureKind::Png) return DecodePng(data, nullptr, std::min(maxPixels, MaxPngPixels));
        return DecodeJpeg(data, nullptr, std::min(maxPixels, MaxJpegPixels));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace fernweave
