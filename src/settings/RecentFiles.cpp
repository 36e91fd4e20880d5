#include "RecentFiles.h"

#include "TextHelpers.h"

namespace {

[[noreturn]] void FailIndex(std::size_t index) {
    throw EStringListError(FormatText("List index out of bounds (%zu)", index));
}

}  // namespace

const TMRUList::TItem& TMRUList::Item(std::size_t index) const {
    if (index >= items_.size()) FailIndex(index);
    return items_[index];
}

int TMRUList::IndexOf(const std::string& name) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (SameText(items_[i].Text, name)) return static_cast<int>(i);
    return -1;
}

void TMRUList::SetMaxCount(std::size_t maxCount) {
    maxCount_ = maxCount;
    DropBeyondMaxCount();
}

void TMRUList::DropBeyondMaxCount() {
    if (items_.size() > maxCount_) items_.resize(maxCount_);
}

int TMRUList::Add(const std::string& name) {
    Remove(name);
    Insert(0, name);
    DropBeyondMaxCount();
    return 0;
}

void TMRUList::Remove(const std::string& name) {
    int index = IndexOf(name);
    if (index >= 0) Delete(static_cast<std::size_t>(index));
}

int TMRUList::AddObject(const std::string& text, void* object) {
    items_.push_back({text, object});
    return static_cast<int>(items_.size() - 1);
}

void TMRUList::Insert(std::size_t index, const std::string& text) { InsertObject(index, text, nullptr); }

void TMRUList::InsertObject(std::size_t index, const std::string& text, void* object) {
    if (index > items_.size()) FailIndex(index);
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), TItem{text, object});
}

void TMRUList::Delete(std::size_t index) {
    if (index >= items_.size()) FailIndex(index);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string TMRUList::Text() const {
    std::string text;
    for (const TItem& item : items_) text += item.Text + "\r\n";
    return text;
}

void TMRUList::SetText(const std::string& text) {
    Clear();
    std::vector<std::string> lines = SplitLines(text);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) Add(*line);
}
