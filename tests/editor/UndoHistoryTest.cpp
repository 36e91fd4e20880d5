#include "core/PixelBuffer.h"
#include "core/TestPictures.h"
#include "editor/UndoHistory.h"

#include <gtest/gtest.h>

namespace {

// A document the history acts on, with the revision counter the window keeps.
struct TDocument {
    std::unique_ptr<TPixelBuffer> Picture;
    std::string FileName;
    std::uint64_t Revision = 0;
    TPictureMetadata Metadata;
    TDocumentState State() { return {Picture, FileName, Metadata, Revision}; }
};

std::uint64_t BytesOf(int width, int height) {
    return static_cast<std::uint64_t>(TPixelBuffer::StrideOf(width)) * height;
}

TEST(UndoHistory, StepsBackAndForthThroughCopiesAndPixelMovingChanges) {
    TDocument doc{NoisePicture(7, 5, 1), "a.png", 1, {}};
    doc.Metadata.Xmp = "<x:xmpmeta/>";
    TUndoHistory history;
    std::vector<std::unique_ptr<TPixelBuffer>> states;
    std::vector<std::pair<std::string, std::uint64_t>> names;
    const auto keep = [&] {
        states.push_back(TPixelBuffer::CreateCopy(*doc.Picture));
        names.emplace_back(doc.FileName, doc.Revision);
    };
    keep();
    // Rotate, a copy-kept change that also renames (a paste), flip, flop, rotate back.
    history.Record(TUndoKind::RotateRight, doc.State());
    doc.Picture->RotateRight();
    doc.Revision = 2;
    keep();
    history.Record(TUndoKind::Copy, doc.State());
    doc.Picture = NoisePicture(3, 9, 2);
    doc.FileName.clear();
    doc.Metadata = {};
    doc.Revision = 3;
    keep();
    history.Record(TUndoKind::Flip, doc.State());
    doc.Picture->Flip();
    doc.Revision = 4;
    keep();
    history.Record(TUndoKind::Flop, doc.State());
    doc.Picture->Flop();
    doc.Revision = 5;
    keep();
    history.Record(TUndoKind::RotateLeft, doc.State());
    doc.Picture->RotateLeft();
    doc.Revision = 6;
    keep();
    ASSERT_EQ(history.UndoCount(), 5u);
    // Only the one copy costs memory.
    EXPECT_EQ(history.Bytes(), BytesOf(5, 7));

    for (int i = 4; i >= 0; --i) {
        history.Undo(doc.State());
        ASSERT_TRUE(SamePixels(*doc.Picture, *states[i])) << i;
        EXPECT_EQ(doc.FileName, names[i].first);
        EXPECT_EQ(doc.Revision, names[i].second);
        // The file's metadata goes with its name.
        EXPECT_EQ(doc.Metadata.Xmp, doc.FileName.empty() ? "" : "<x:xmpmeta/>");
    }
    EXPECT_FALSE(history.CanUndo());
    EXPECT_EQ(history.RedoCount(), 5u);
    history.Undo(doc.State());  // nothing left: no change
    EXPECT_TRUE(SamePixels(*doc.Picture, *states[0]));
    for (int i = 1; i <= 5; ++i) {
        history.Redo(doc.State());
        ASSERT_TRUE(SamePixels(*doc.Picture, *states[i])) << i;
        EXPECT_EQ(doc.Revision, names[i].second);
    }
    EXPECT_FALSE(history.CanRedo());

    // Two back, then a new change: the redo steps are gone, the undo steps stay.
    history.Undo(doc.State());
    history.Undo(doc.State());
    ASSERT_EQ(history.RedoCount(), 2u);
    history.Record(TUndoKind::Copy, doc.State());
    doc.Picture = NoisePicture(2, 2, 3);
    doc.Revision = 7;
    EXPECT_FALSE(history.CanRedo());
    EXPECT_EQ(history.UndoCount(), 4u);
    history.Undo(doc.State());
    EXPECT_TRUE(SamePixels(*doc.Picture, *states[3]));
    EXPECT_EQ(history.Bytes(), BytesOf(5, 7) + BytesOf(2, 2));
}

TEST(UndoHistory, KeepsAsManyCopiesAsTheBoundAllowsAndAlwaysOneStep) {
    const std::uint64_t copy = BytesOf(10, 10);
    TDocument doc{NoisePicture(10, 10, 1), "a.png", 0, {}};
    TUndoHistory history(copy * 5 / 2);  // room for two copies
    for (int i = 1; i <= 4; ++i) {
        history.Record(TUndoKind::Copy, doc.State());
        doc.Picture = NoisePicture(10, 10, i + 1);
        doc.Revision = i;
    }
    EXPECT_EQ(history.UndoCount(), 2u);
    EXPECT_EQ(history.Bytes(), 2 * copy);
    history.Undo(doc.State());
    history.Undo(doc.State());
    EXPECT_EQ(doc.Revision, 2u);
    EXPECT_TRUE(SamePixels(*doc.Picture, *NoisePicture(10, 10, 3)));
    EXPECT_FALSE(history.CanUndo());
    // Stepping back moved the later pictures to the redo side, within the same bound.
    EXPECT_EQ(history.RedoCount(), 2u);
    EXPECT_LE(history.Bytes(), copy * 5 / 2);

    // Flips cost nothing: any number of them stays, also beside a copy over the bound.
    history.SetByteBound(copy / 2);
    history.Clear();
    for (int i = 0; i < 50; ++i) history.Record(TUndoKind::Flip, doc.State());
    EXPECT_EQ(history.UndoCount(), 50u);
    history.Record(TUndoKind::Copy, doc.State());
    EXPECT_EQ(history.UndoCount(), 51u);
    // A second copy: the older one goes, with the flips older than it.
    history.Record(TUndoKind::Copy, doc.State());
    EXPECT_EQ(history.UndoCount(), 1u);
    EXPECT_EQ(history.Bytes(), copy);
    EXPECT_NE(history.NextUndoCopy(), nullptr);
}

}  // namespace
