// The window's picture loader on a .bmp file: our completeness check, then
// Qt's image reader. Any file gives a whole picture or nothing.
#include <QString>

#include "fuzz_support.h"
#include "picture_loader.h"

using namespace fernweave;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz::Check;
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
