// fernweave-render with designs from other programs: classic IFS text, flames
// and PNG pictures that carry their object.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "flame_file.h"
#include "ifs_text.h"
#include "png_codec.h"
#include "render_cli.h"

namespace fernweave::cli {
namespace {

namespace fs = std::filesystem;

// Barnsley's fern and Heighway's dragon from their published coefficients.
constexpr const char* Classics =
    "fern { 0 0 0 .16 0 0 .01\n .85 .04 -.04 .85 0 1.6 .85\n .2 -.26 .23 .22 0 1.6 .07\n"
    " -.15 .28 .26 .24 0 .44 .07 }\n"
    "dragon { .5 -.5 .5 .5 0 0 .5  -.5 -.5 .5 -.5 1 0 .5 }\n";

class RenderDesigns : public ::testing::Test {
protected:
    fs::path dir_;
    void SetUp() override {
        char name[] = "/tmp/fernweave-designs-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
        std::ofstream(Path("classics.txt")) << Classics;
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    struct Result {
        int Code;
        std::string Out, Err;
    };
    static Result Run(std::vector<std::string> args) {
        std::ostringstream out, err;
        const int code = RunRenderTool(args, out, err);
        return {code, out.str(), err.str()};
    }
};

TEST_F(RenderDesigns, EntriesAreListedAndOneMustBeChosen) {
    Result r = Run({Path("classics.txt"), "--list"});
    EXPECT_EQ(r.Code, ExitOk) << r.Err;
    EXPECT_EQ(r.Out, "fern\t4 maps\t2D IFS\ndragon\t2 maps\t2D IFS\n");

    r = Run({Path("classics.txt"), "-o", Path("x.bmp")});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("has 2 entries; choose one with --entry NAME: 'fern', 'dragon'"), std::string::npos) << r.Err;
    r = Run({Path("classics.txt"), "-o", Path("x.bmp"), "--entry", "leaf"});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("has no entry 'leaf'"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(Path("x.bmp")));
}

TEST_F(RenderDesigns, AnEntryExportsAsTextAndFlameAndItsPictureOpensAgain) {
    Result r = Run({Path("classics.txt"), "--entry", "dragon", "-o", Path("d.png"), "--steps", "20000", "--export-text",
                    Path("again.ifs"), "--export-flame", Path("d.flame")});
    ASSERT_EQ(r.Code, ExitOk) << r.Err;

    const auto text = ParseIfsText(Read(Path("again.ifs")));
    ASSERT_TRUE(text.Ok()) << text.Error;
    ASSERT_EQ(text.Entries.size(), 1u);
    EXPECT_EQ(text.Entries[0].Name, "again");
    EXPECT_EQ(text.Entries[0].Rows[1][0], -.5);
    const auto flames = ParseFlames(Read(Path("d.flame")));
    ASSERT_TRUE(flames.Ok()) << flames.Error;
    EXPECT_EQ(flames.Flames[0].Affine.Maps.size(), 2u);

    // The picture carries the placed object: rendered from it, it gives the same picture.
    r = Run({Path("d.png"), "-o", Path("again.png"), "--steps", "20000"});
    ASSERT_EQ(r.Code, ExitOk) << r.Err;
    const std::string first = Read(Path("d.png")), second = Read(Path("again.png"));
    const auto span = [](const std::string& s) {
        return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    // The same pixels and object; the options chunk names each run's own command line.
    EXPECT_TRUE(DecodePng(span(first)) == DecodePng(span(second)));
    EXPECT_EQ(PngObjectBytes(span(first)), PngObjectBytes(span(second)));
    EXPECT_TRUE(PngObjectBytes(span(first)));
}

}  // namespace
}  // namespace fernweave::cli
