// The most recently used files, most recent first, as kept in the "RecentFiles" setting: at
// most MaxCount entries, no two equal regardless of letter case.
#pragma once

#include "platform/Exception.h"

#include <cstddef>
#include <string>
#include <vector>

// An index outside the list: "List index out of bounds (%d)".
class EStringListError : public Exception {
    using Exception::Exception;
};

class TMRUList {
public:
    TMRUList() = default;

    std::size_t Count() const { return items_.size(); }
    const std::string& Strings(std::size_t index) const { return Item(index).Text; }
    // A pointer the caller may attach to an entry; the list never owns or follows it.
    void* Objects(std::size_t index) const { return Item(index).Object; }
    const std::string& operator[](std::size_t index) const { return Strings(index); }
    // The index of the first entry equal to name regardless of letter case, or -1.
    int IndexOf(const std::string& name) const;

    std::size_t MaxCount() const { return maxCount_; }
    // Entries beyond a lowered limit are dropped, the oldest first.
    void SetMaxCount(std::size_t maxCount);

    // Moves or inserts name at the top and drops the oldest entries beyond MaxCount;
    // returns the new entry's index, always 0.
    int Add(const std::string& name);
    // Deletes the entry equal to name regardless of letter case, if there is one.
    void Remove(const std::string& name);

    // Plain list operations: no limit, no reordering, no test for duplicates.
    int AddObject(const std::string& text, void* object);
    void Insert(std::size_t index, const std::string& text);
    void InsertObject(std::size_t index, const std::string& text, void* object);
    void Delete(std::size_t index);
    void Clear() { items_.clear(); }

    // The entries in list order, each followed by CR LF.
    std::string Text() const;
    // Loads lines (ending at CR LF, CR or LF) so that the list holds them in their order, at
    // most MaxCount of them, and of equal lines only the first.
    void SetText(const std::string& text);

private:
    struct TItem {
        std::string Text;
        void* Object = nullptr;
    };
    std::vector<TItem> items_;
    std::size_t maxCount_ = 10;

    void DropBeyondMaxCount();
    const TItem& Item(std::size_t index) const;
};
