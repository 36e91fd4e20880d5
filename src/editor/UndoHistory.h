// The editor's undo and redo steps, as many as a memory bound allows. A step is either a copy
// of the picture as it was, or, for a change that only moves pixels (rotate, flip, flop), the
// change itself, undone by its inverse at no memory cost.
#pragma once

#include "platform/PictureMetadata.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

class TPixelBuffer;

// The document the steps act on: the picture, the file it belongs to with that file's EXIF
// and XMP, and its revision, a number that names this very content (the window tells unsaved
// changes by it).
struct TDocumentState {
    std::unique_ptr<TPixelBuffer>& Picture;
    std::string& FileName;
    TPictureMetadata& Metadata;
    std::uint64_t& Revision;
};

enum class TUndoKind { Copy, RotateLeft, RotateRight, Flip, Flop };

class TUndoHistory {
public:
    // Default bound on the bytes of the picture copies kept: 1 GB.
    static constexpr std::uint64_t DefaultByteBound = 1024ull * 1024 * 1024;

    explicit TUndoHistory(std::uint64_t byteBound = DefaultByteBound);
    ~TUndoHistory();
    TUndoHistory(const TUndoHistory&) = delete;
    TUndoHistory& operator=(const TUndoHistory&) = delete;

    // Before a change: keeps the document as it now is (a copy of its picture, or for a
    // pixel-moving change just the change's kind) and forgets every redo step. The oldest
    // steps go while the copies exceed the bound; the newest one always stays.
    void Record(TUndoKind kind, const TDocumentState& document);
    // Back one step: the document becomes what it was before the last change; the step
    // moves to the redo side. Nothing happens without an undo step.
    void Undo(const TDocumentState& document);
    // Forward one step again.
    void Redo(const TDocumentState& document);
    void Clear();

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    std::size_t UndoCount() const { return undo_.size(); }
    std::size_t RedoCount() const { return redo_.size(); }
    // The bytes of the picture copies held on both sides.
    std::uint64_t Bytes() const { return bytes_; }
    std::uint64_t ByteBound() const { return byteBound_; }
    void SetByteBound(std::uint64_t byteBound);
    // The copy the next Undo restores; null when that step is a pixel-moving change or there
    // is none.
    const TPixelBuffer* NextUndoCopy() const;

private:
    struct TStep {
        TUndoKind Kind;
        std::unique_ptr<TPixelBuffer> Picture;  // for copies only
        std::string FileName;
        TPictureMetadata Metadata;
        std::uint64_t Revision;
    };
    using TSteps = std::deque<TStep>;

    // Moves the newest step of `from` onto `to`, exchanging it with the document; `forward`
    // applies a pixel-moving change, otherwise its inverse.
    void Step(TSteps& from, TSteps& to, const TDocumentState& document, bool forward);
    // Drops the steps farthest from the document while the copies exceed the bound, keeping
    // the nearest step of the side given.
    void Trim(bool keepNearestUndo);
    static std::uint64_t BytesOf(const TStep& step);

    TSteps undo_;  // oldest first
    TSteps redo_;  // farthest first
    std::uint64_t bytes_ = 0;
    std::uint64_t byteBound_;
};
