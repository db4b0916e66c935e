// The picture formats the program writes and reads, in one table: their
// names, extensions and file-dialog types. Save, Load, posters and the
// headless renderer all take them from here.
#pragma once

#include <string_view>

namespace fernweave {

// In the order of the save dialog's types (its 1-based type index is the id).
enum TPictureFormat : int { FormatBmp = 1, FormatJpeg = 2, FormatPng = 3 };

struct TPictureFormatInfo {
    TPictureFormat Id;
    std::string_view Name;           // for messages: "BMP", "JPEG", "PNG"
    std::string_view Extensions[2];  // lower case, with the dot; the first one is given to a name without one
    std::string_view SaveFilter;     // the save dialog's type
    std::string_view OpenFilter;     // the load dialog's type
    bool HasQuality;                 // JPEG: the Image Quality dialog, --quality
};

inline constexpr TPictureFormatInfo PictureFormatTable[] = {
    {FormatBmp, "BMP", {".bmp", ""}, "Bitmaps (*.bmp)", "Bitmaps (*.bmp)", false},
    {FormatJpeg, "JPEG", {".jpg", ".jpeg"}, "JPEG Image File (*.jpg)", "JPEG Image File (*.jpg *.jpeg)", true},
    {FormatPng, "PNG", {".png", ""}, "PNG Image File (*.png)", "PNG Image File (*.png)", false},
};

// The row of a format.
const TPictureFormatInfo& FormatInfo(TPictureFormat format);
// The row whose extension the file name ends in (any letter case), or nullptr.
// A name that is all extension (".png") is a hidden file without one.
const TPictureFormatInfo* FormatInfoForFileName(std::string_view fileName);

}  // namespace fernweave
