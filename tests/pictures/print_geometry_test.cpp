#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <stdexcept>
#include <string>

#include "print_geometry.h"

namespace fernweave {

void PrintTo(const TPrintPlacement& p, std::ostream* os) {
    *os << "{left " << p.Left << ", top " << p.Top << ", " << p.Width << " x " << p.Height << "}";
}

namespace {

// Printable pages at 600 dots per inch: all of Letter (8.5 x 11 in), all of A4.
constexpr int LetterW = 5100, LetterH = 6600;
constexpr int A4W = 4961, A4H = 7016;

TEST(PlacePrintedPicture, StartUpCanvasAt600DpiIsItsPhysicalSizeCentred) {
    // 550 / 72 x 600 = 4583.33, 364 / 72 x 600 = 3033.33: 7.64 x 5.06 inches.
    const auto letter = PlacePrintedPicture(550, 364, {72, 72}, 600, 600, LetterW, LetterH);
    ASSERT_TRUE(letter);
    EXPECT_EQ(*letter, (TPrintPlacement{258, 1783, 4583, 3033}));  // (5100-4583)/2 = 258.5, (6600-3033)/2 = 1783.5
    const auto a4 = PlacePrintedPicture(550, 364, {72, 72}, 600, 600, A4W, A4H);
    ASSERT_TRUE(a4);
    EXPECT_EQ(*a4, (TPrintPlacement{189, 1991, 4583, 3033}));
}

TEST(PlacePrintedPicture, LargerThanThePageStartsAtTheTopLeftUnscaled) {
    const auto p = PlacePrintedPicture(1200, 1200, {72, 72}, 600, 600, LetterW, LetterH);
    ASSERT_TRUE(p);
    EXPECT_EQ(*p, (TPrintPlacement{0, 0, 10000, 10000}));
    // Wider only: cut off across, still centred down.
    const auto wide = PlacePrintedPicture(1200, 72, {72, 72}, 600, 600, LetterW, LetterH);
    ASSERT_TRUE(wide);
    EXPECT_EQ(*wide, (TPrintPlacement{0, 3000, 10000, 600}));
}

TEST(PlacePrintedPicture, CentresOnlyWhatIsSmallerThanThePage) {
    // Exactly as wide as the page: at the edge.
    EXPECT_EQ(PlacePrintedPicture(600, 600, {600, 600}, 600, 600, 600, 601)->Left, 0);
    EXPECT_EQ(PlacePrintedPicture(600, 600, {600, 600}, 600, 600, 600, 601)->Top, 0);  // 1 / 2 drops to 0
    EXPECT_EQ(PlacePrintedPicture(600, 600, {600, 600}, 600, 600, 603, 604)->Left, 1);
    EXPECT_EQ(PlacePrintedPicture(600, 600, {600, 600}, 600, 600, 603, 604)->Top, 2);
}

TEST(PlacePrintedPicture, EachDirectionHasItsOwnPrinterResolution) {
    const auto p = PlacePrintedPicture(600, 600, {300, 300}, 600, 1200, LetterW, 2 * LetterH);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Width, 1200);  // 2 inches across
    EXPECT_EQ(p->Height, 2400);  // 2 inches down
    EXPECT_EQ(p->Left, (LetterW - 1200) / 2);
    EXPECT_EQ(p->Top, (2 * LetterH - 2400) / 2);
}

TEST(PlacePrintedPicture, EachDirectionHasItsOwnCanvasResolution) {
    const auto square = PlacePrintedPicture(600, 600, {300, 300}, 600, 600, LetterW, LetterH);
    const auto halfX = PlacePrintedPicture(600, 600, {150, 300}, 600, 600, LetterW, LetterH);
    ASSERT_TRUE(square && halfX);
    EXPECT_EQ(square->Width, 1200);
    EXPECT_EQ(square->Height, 1200);
    EXPECT_EQ(halfX->Width, 2400);
    EXPECT_EQ(halfX->Height, 1200);
    // Twice as wide relative to its height.
    EXPECT_EQ(halfX->Width * square->Height, 2 * square->Width * halfX->Height);
}

TEST(PlacePrintedPicture, RoundsHalvesToTheEvenNeighbour) {
    // 1/144 x 72 = 0.5, 3/144 x 72 = 1.5, 5/144 x 72 = 2.5, 7/144 x 72 = 3.5
    EXPECT_EQ(PlacePrintedPicture(1, 1, {144, 144}, 72, 72, 1000, 1000)->Width, 0);
    EXPECT_EQ(PlacePrintedPicture(3, 3, {144, 144}, 72, 72, 1000, 1000)->Width, 2);
    EXPECT_EQ(PlacePrintedPicture(5, 5, {144, 144}, 72, 72, 1000, 1000)->Height, 2);
    EXPECT_EQ(PlacePrintedPicture(7, 7, {144, 144}, 72, 72, 1000, 1000)->Height, 4);
    // Not halves: to the nearest.
    EXPECT_EQ(PlacePrintedPicture(2, 2, {3, 3}, 1, 1, 1000, 1000)->Width, 1);  // 0.667
    EXPECT_EQ(PlacePrintedPicture(1, 1, {3, 3}, 1, 1, 1000, 1000)->Width, 0);  // 0.333
}

TEST(PlacePrintedPicture, AZeroCanvasResolutionIsADivisionByZero) {
    for (const TResolution r : {TResolution{0, 72}, TResolution{72, 0}, TResolution{0, 0}}) {
        try {
            (void)PlacePrintedPicture(550, 364, r, 600, 600, LetterW, LetterH);
            ADD_FAILURE() << "no error for " << r.X << " x " << r.Y;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "Floating point division by zero");
        }
    }
    // Whatever the printer reports.
    EXPECT_THROW((void)PlacePrintedPicture(550, 364, {0, 72}, 0, 0, 0, 0), std::runtime_error);
}

TEST(PlacePrintedPicture, APrintedSizeBeyondAnIntCannotBePrinted) {
    EXPECT_FALSE(PlacePrintedPicture(INT_MAX, 10, {1, 1}, 2, 2, LetterW, LetterH));
    EXPECT_FALSE(PlacePrintedPicture(10, 1000000, {1, 1}, 1, INT_MAX, LetterW, LetterH));
    EXPECT_FALSE(PlacePrintedPicture(65535, 65535, {1, 1}, INT_MAX, INT_MAX, LetterW, LetterH));
    // The largest that fits still prints, from the corner.
    const auto p = PlacePrintedPicture(INT_MAX, 1, {1, 1}, 1, 1, LetterW, LetterH);
    ASSERT_TRUE(p);
    EXPECT_EQ(*p, (TPrintPlacement{0, (LetterH - 1) / 2, INT_MAX, 1}));
}

TEST(PlacePrintedPicture, AHugePageDoesNotOverflowTheCentring) {
    const auto p = PlacePrintedPicture(1, 1, {1, 1}, 1, 1, INT_MAX, INT_MAX);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Left, (INT_MAX - 1) / 2);
    EXPECT_EQ(p->Top, (INT_MAX - 1) / 2);
}

TEST(PlacePrintedPicture, APrinterWithoutAResolutionCannotPrint) {
    EXPECT_FALSE(PlacePrintedPicture(550, 364, {72, 72}, 0, 600, LetterW, LetterH));
    EXPECT_FALSE(PlacePrintedPicture(550, 364, {72, 72}, 600, -600, LetterW, LetterH));
}

TEST(ProcessMessagesFor, CountsTheUnsignedDifferenceAcrossTheWrapAround) {
    std::uint32_t now = 0xFFFFFF00u;  // wraps 256 ms into the wait
    int passes = 0;
    ProcessMessagesFor(
        1000, [&] { return now; }, [&] { ++passes; now += 10; });
    EXPECT_EQ(passes, 100);
    EXPECT_EQ(now, 0xFFFFFF00u + 1000u);  // wrapped
}

TEST(ProcessMessagesFor, TestsTheTimeBeforeEachPass) {
    int passes = 0;
    std::uint32_t now = 5;
    ProcessMessagesFor(
        0, [&] { return now; }, [&] { ++passes; });
    EXPECT_EQ(passes, 0);
    // A counter that jumps past the time at once: no pass either.
    std::uint32_t calls = 0;
    ProcessMessagesFor(
        1000, [&] { return calls++ == 0 ? 0u : 5000u; }, [&] { ++passes; });
    EXPECT_EQ(passes, 0);
}

}  // namespace
}  // namespace fernweave
