#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "canvas_document.h"

namespace fernweave {
namespace {

// The commands in the order of TCommand, as one letter each: 1 on, 0 off.
std::string Row(const TCommandStates& states) {
    std::string row;
    for (bool on : states.Enabled) row += on ? '1' : '0';
    return row;
}

struct TableRow {
    const char* Moment;
    int PointCount;
    int MapCount;
    bool Rendering;
    bool PosterRunning;
    bool PictureLoaded;
    bool ObjectImported;
    bool Rendered;  // a rendering has ended, so the undo slot holds its picture
    // New Load Save Poster Export Import Print Undo Redo Clear EditObject Start Stop ShowGrid Diffuse
    const char* Expected;
};

// The command table, state by state.
TEST(CommandTable, EnablesEachCommandByTheStateOfTheDocumentAndTheWork) {
    const std::vector<TableRow> table = {
        {"start-up", 0, 0, false, false, false, false, false, "111001100010010"},
        {"first point", 1, 0, false, false, false, false, false, "000000000000000"},
        {"base triangle", 3, 0, false, false, false, false, false, "000000000000001"},
        {"five points", 5, 1, false, false, false, false, false, "000000000000001"},
        {"two triangles", 6, 1, false, false, false, false, false, "000000000001001"},
        {"seven points", 7, 2, false, false, false, false, false, "000000000000001"},
        {"rendering", 0, 2, true, false, false, false, false, "000010000000110"},
        {"rendered", 0, 2, false, false, false, false, true, "111111110110010"},
        {"rendered, poster running", 0, 2, false, true, false, false, true, "111011110110010"},
        {"import waiting", 0, 2, false, false, false, true, true, "111011110100010"},
        {"loaded picture", 0, 0, false, false, true, false, false, "111001100110010"},
    };
    for (const TableRow& row : table) {
        FractalState state;
        TCanvasDocument document(state);
        document.NewPicture(Picture24(8, 6), TResolution{72, 72});
        if (row.Rendered) {
            document.BeginRendering(true);
            document.RenderEnded();
        }
        state.PointCount = row.PointCount;
        state.MapCount = row.MapCount;
        state.PictureLoaded = row.PictureLoaded;
        state.ObjectImported = row.ObjectImported;
        EXPECT_EQ(Row(CommandStates(document, row.Rendering, row.PosterRunning)), row.Expected) << row.Moment;
    }
}

// Undo and Redo take turns from the end of a rendering, a cancelled drawing
// gives them back as they were, and only a save of the picture as it is now
// makes it saved.
TEST(CanvasDocument, UndoRedoAndSavedFollowTheCommands) {
    FractalState state;
    TCanvasDocument document(state);
    document.NewPicture(Picture24(8, 6, clBlack), TResolution{72, 72});
    auto undoRedo = [&] {
        const TCommandStates on = CommandStates(document, false, false);
        return std::string{on[TCommand::Undo] ? 'U' : '-', on[TCommand::Redo] ? 'R' : '-'};
    };
    EXPECT_EQ(undoRedo(), "--");
    EXPECT_TRUE(document.FSaved);
    document.BeginRendering(true);
    EXPECT_FALSE(document.FSaved);
    EXPECT_EQ(Row(CommandStates(document, true, false)).substr(7, 2), "00");
    document.Picture().Fill(clWhite);  // what the worker drew
    document.RenderEnded();
    EXPECT_EQ(undoRedo(), "U-");

    const std::uint64_t savedAt = document.Changes();
    document.SwapWithUndoSlot(clBlack);
    EXPECT_EQ(undoRedo(), "-R");
    EXPECT_TRUE(document.FSaved);  // the picture from before the rendering
    EXPECT_TRUE(document.Picture() == Picture24(8, 6, clBlack));
    document.Saved(savedAt);  // a save of the rendering ends after the undo
    document.SwapWithUndoSlot(clBlack);
    EXPECT_EQ(undoRedo(), "U-");
    EXPECT_FALSE(document.FSaved);
    document.Saved(document.Changes());
    EXPECT_TRUE(document.FSaved);

    document.RestoreUndo(false);  // a drawing begun while Redo was offered, cancelled
    EXPECT_EQ(undoRedo(), "-R");
    document.Clear(clBlack);
    EXPECT_EQ(undoRedo(), "--");
    EXPECT_TRUE(document.FSaved);
}

}  // namespace
}  // namespace fernweave
