#include "scene/item.h"

#include <cstdio>
#include <cstdlib>

#include "scene/dlist.h"

namespace kvrn {

item::item() {
    display_list.append(*this);
}

item::~item() {
    unlink();
    std::free(name);
    name = nullptr;
    name_length = 0;
}

void item::print() {
    std::printf("Item name: %s\n", name != nullptr ? name : "<NULL>");
}

void item::draw() {}

void item::unlink() {
    if (list == nullptr) return;
    if (prev != nullptr) prev->next = next;
    if (next != nullptr) next->prev = prev;
    if (list->first == this) list->first = next;
    list = nullptr;
    prev = nullptr;
    next = nullptr;
}

}  // namespace kvrn
