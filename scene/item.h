// The base of everything the window shows.
#pragma once

#include <cstdint>

namespace kvrn {

class dlist;

// A drawable object. Constructing one links it at the tail of display_list, which then owns it;
// destroying one unlinks it. Items are created with new and deleted through this base.
class item {
  public:
    item();
    virtual ~item();
    item(const item&) = delete;
    item& operator=(const item&) = delete;
    item(item&&) = delete;
    item& operator=(item&&) = delete;

    // Writes "Item name: <name>\n", or "<NULL>" for an item without a name. The name and print are
    // part of the viewer's documented item interface, though the viewer itself names no item and
    // never prints the list.
    virtual void print();
    // Emits the item's points into the current OpenGL context; a plain item draws nothing.
    virtual void draw();

    // Takes the item out of its list, if it is in one.
    void unlink();

    char* name = nullptr;  // owned, released with free
    dlist* list = nullptr;
    item* next = nullptr;
    item* prev = nullptr;
    std::int32_t name_length = 0;
};

}  // namespace kvrn
