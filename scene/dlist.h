// The intrusive list of items, and the one list the window draws.
#pragma once

#include "scene/item.h"

namespace kvrn {

// A doubly linked list threaded through its items. It has no tail pointer and no count; it owns
// its items and deletes those still linked when it is destroyed.
class dlist {
  public:
    constexpr dlist() = default;
    virtual ~dlist();
    dlist(const dlist&) = delete;
    dlist& operator=(const dlist&) = delete;
    dlist(dlist&&) = delete;
    dlist& operator=(dlist&&) = delete;

    // Calls print on every item, first to last.
    virtual void print_all();

    // Moves `member` to the tail of this list, unlinking it from wherever it was first.
    void append(item& member);

    // Calls `operation` on every item, first to last. The successor is read before the call, so
    // the operation may unlink or delete the item it is given.
    template <class Operation>
    void walk(Operation&& operation) {
        for (item* current = first; current != nullptr;) {
            item* const successor = current->next;
            operation(*current);
            current = successor;
        }
    }

    item* first = nullptr;
};

// The one list: every item links itself here when constructed. It is constant-initialised, so it
// is empty before any code runs, and its destructor deletes the remaining items at process exit.
extern dlist display_list;

}  // namespace kvrn
