// The window's picture loader on a .bmp file: our completeness check, then
// Qt's image reader. Any file gives a whole picture or nothing.
#include <QString>
#include <cstdlib>

#include "fuzz_support.h"
#include "picture_loader.h"

using namespace fernweave;

namespace {

// The loader holds pictures to 2^27 pixels and Qt's reader to 128 MB. Here
// pictures announcing more than 2^20 pixels are passed over: they only fill
// memory, slowly under the sanitizers, and teach the run nothing new.
constexpr std::uint64_t FuzzMaxPixels = std::uint64_t{1} << 20;

std::uint32_t Le(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

bool AnnouncesHugePicture(const std::uint8_t* data, std::size_t size) {
    if (size < 26) return false;
    std::uint64_t w, h;
    if (Le(data + 14, 4) < 40) {  // the OS/2 core header: 16-bit sides
        w = Le(data + 18, 2);
        h = Le(data + 20, 2);
    } else {
        // Either side may be negative: a top-down picture, or a damaged one.
        w = static_cast<std::uint64_t>(std::llabs(static_cast<std::int32_t>(Le(data + 18, 4))));
        h = static_cast<std::uint64_t>(std::llabs(static_cast<std::int32_t>(Le(data + 22, 4))));
    }
    return w * h > FuzzMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz::Check;
    if (AnnouncesHugePicture(data, size)) return 0;
    static const std::string path = fuzz::ScratchPath("picture.bmp");
    static const QString name = QString::fromStdString(path);
    fuzz::WriteScratchFile(path, data, size);
    const auto picture = LoadPictureFile(name);
    if (picture) {
        Check(!picture->Empty(), "a loaded picture has pixels");
        Check(picture->ByteSize() == picture->Stride() * static_cast<std::size_t>(picture->Height()),
              "a loaded picture is whole");
    }
    return 0;
}
