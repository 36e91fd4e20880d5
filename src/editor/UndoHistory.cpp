#include "editor/UndoHistory.h"

#include "core/PixelBuffer.h"

#include <utility>

namespace {

// Applies a pixel-moving change, or its inverse, in place.
void Move(TPixelBuffer& picture, TUndoKind kind, bool forward) {
    switch (kind) {
        case TUndoKind::RotateLeft:
            forward ? picture.RotateLeft() : picture.RotateRight();
            break;
        case TUndoKind::RotateRight:
            forward ? picture.RotateRight() : picture.RotateLeft();
            break;
        case TUndoKind::Flip:
            picture.Flip();
            break;
        case TUndoKind::Flop:
            picture.Flop();
            break;
        case TUndoKind::Copy:
            break;
    }
}

}  // namespace

TUndoHistory::TUndoHistory(std::uint64_t byteBound) : byteBound_(byteBound) {}

TUndoHistory::~TUndoHistory() = default;

std::uint64_t TUndoHistory::BytesOf(const TStep& step) {
    return step.Picture ? static_cast<std::uint64_t>(step.Picture->Stride()) * step.Picture->Height() : 0;
}

void TUndoHistory::Record(TUndoKind kind, const TDocumentState& document) {
    TStep step{kind, nullptr, document.FileName, document.Metadata, document.Revision};
    if (kind == TUndoKind::Copy && document.Picture) step.Picture = TPixelBuffer::CreateCopy(*document.Picture);
    for (const TStep& r : redo_) bytes_ -= BytesOf(r);
    redo_.clear();
    bytes_ += BytesOf(step);
    undo_.push_back(std::move(step));
    Trim(true);
}

void TUndoHistory::Undo(const TDocumentState& document) {
    if (!undo_.empty()) Step(undo_, redo_, document, false);
}

void TUndoHistory::Redo(const TDocumentState& document) {
    if (!redo_.empty()) Step(redo_, undo_, document, true);
}

void TUndoHistory::Step(TSteps& from, TSteps& to, const TDocumentState& document, bool forward) {
    TStep& step = from.back();
    const bool copy = step.Kind == TUndoKind::Copy;
    // The pixels move first: a rotation that cannot get its memory leaves both sides as
    // they were.
    if (!copy && document.Picture) Move(*document.Picture, step.Kind, forward);
    TStep back{step.Kind, nullptr, std::move(document.FileName), std::move(document.Metadata), document.Revision};
    if (copy) back.Picture = std::move(document.Picture);
    bytes_ -= BytesOf(step);
    bytes_ += BytesOf(back);
    if (copy) document.Picture = std::move(step.Picture);
    document.FileName = std::move(step.FileName);
    document.Metadata = std::move(step.Metadata);
    document.Revision = step.Revision;
    from.pop_back();
    to.push_back(std::move(back));
    Trim(&to == &undo_);
}

void TUndoHistory::Trim(bool keepNearestUndo) {
    const std::size_t undoKept = keepNearestUndo ? 1 : 0;
    const std::size_t redoKept = keepNearestUndo ? 0 : 1;
    while (bytes_ > byteBound_) {
        const TSteps& keptSide = keepNearestUndo ? undo_ : redo_;
        // What is over the bound is the one step that stays: the others cost nothing.
        if (bytes_ == (keptSide.empty() ? 0 : BytesOf(keptSide.back()))) break;
        // The front of either side lies farthest from the document.
        TSteps& side = undo_.size() > undoKept ? undo_ : redo_;
        if (side.size() <= (&side == &undo_ ? undoKept : redoKept)) break;
        bytes_ -= BytesOf(side.front());
        side.pop_front();
    }
}

void TUndoHistory::SetByteBound(std::uint64_t byteBound) {
    byteBound_ = byteBound;
    Trim(true);
}

void TUndoHistory::Clear() {
    undo_.clear();
    redo_.clear();
    bytes_ = 0;
}

const TPixelBuffer* TUndoHistory::NextUndoCopy() const { return undo_.empty() ? nullptr : undo_.back().Picture.get(); }
