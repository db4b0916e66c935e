#include "picture_formats.h"

#include <cctype>
#include <string>

namespace fernweave {

const TPictureFormatInfo& FormatInfo(TPictureFormat format) {
    for (const TPictureFormatInfo& f : PictureFormatTable)
        if (f.Id == format) return f;
    return PictureFormatTable[0];
}

const TPictureFormatInfo* FormatInfoForFileName(std::string_view fileName) {
    const std::string_view base = fileName.substr(fileName.find_last_of('/') + 1);
    const std::size_t dot = base.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return nullptr;
    std::string extension(base.substr(dot));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const TPictureFormatInfo& f : PictureFormatTable)
        for (std::string_view e : f.Extensions)
            if (!e.empty() && e == extension) return &f;
    return nullptr;
}

}  // namespace fernweave
