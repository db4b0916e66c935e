#include <gtest/gtest.h>

#include <string>

#include "design_file.h"
#include "object_file.h"
#include "png_codec.h"

namespace fernweave {
namespace {

std::string AsText(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

TIfsObject Dragon() {
    TIfsObject object;
    object.MapCount = 2;
    object.BaseTriangle = {TPoint{10, 90}, TPoint{90, 90}, TPoint{10, 10}};
    object.Maps[1] = TIfsMap{0.5f, -0.5f, 30, 0.5f, 0.5f, 10, 0.5f, MakeColor(1, 2, 3), 1, {}};
    object.Maps[2] = TIfsMap{-0.5f, -0.5f, 120, 0.5f, -0.5f, 50, 0.5f, MakeColor(4, 5, 6), 0, {}};
    return object;
}

TEST(DesignFile, TheContentDecidesHowAFileIsRead) {
    EXPECT_EQ(DesignKindOf(AsText(EncodeObject(Dragon()))), DesignKind::Object);
    EXPECT_EQ(DesignKindOf("  <flames>"), DesignKind::Flame);
    EXPECT_EQ(DesignKindOf("; fern\nfern { 0 0 0 .16 0 0 1 }"), DesignKind::IfsText);
    EXPECT_EQ(DesignKindOf("no braces here"), DesignKind::None);
    EXPECT_EQ(DesignKindOf(std::string("a {\0", 4)), DesignKind::None);

    const DesignFile text = ReadDesign("a { .5 0 0 .5 0 0 .5 .5 0 0 .5 1 0 .5 }\nb (3d) { }");
    ASSERT_TRUE(text.Ok()) << text.Error;
    const auto list = text.List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, "a");
    EXPECT_EQ(list[0].MapCount, 2);
    EXPECT_EQ(list[1].Kind, "3D IFS");
    EXPECT_EQ(text.Find("b (3d)"), 1u);
    std::string error;
    EXPECT_TRUE(text.Open(0, 300, 200, {}, error)) << error;
    EXPECT_FALSE(text.Open(1, 300, 200, {}, error));
    EXPECT_EQ(error, "b (3d) is a 3D IFS; Fernweave draws 2D IFS only");
}

TEST(DesignFile, APictureCarriesItsObject) {
    const Picture24 picture(5, 4, MakeColor(9, 9, 9));
    const auto withObject = EncodePng(picture, 0, EncodeObject(Dragon()));
    // Still a picture to everyone.
    const auto decoded = DecodePng(withObject);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Width(), 5);

    const DesignFile file = ReadDesign(AsText(withObject));
    EXPECT_EQ(file.Kind, DesignKind::Picture);
    std::string error;
    const auto object = file.Open(0, 100, 100, {}, error);
    ASSERT_TRUE(object) << error;
    EXPECT_EQ(*object, Dragon());

    const DesignFile plain = ReadDesign(AsText(EncodePng(picture, 0)));
    EXPECT_EQ(plain.Kind, DesignKind::Picture);
    EXPECT_EQ(plain.Error, "The picture carries no object.");

    // An object chunk that claims 1.6 GB in a small file is refused before
    // anything is allocated for it (found by fuzzing: libpng took the claim).
    std::vector<std::uint8_t> lying = withObject;
    const std::size_t at = AsText(lying).find("zTXt") - 4;
    lying[at] = 0x64;
    EXPECT_FALSE(PngObjectBytes(lying));
}

}  // namespace
}  // namespace fernweave
