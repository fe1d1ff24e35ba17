#include "scene/dlist.h"

namespace kvrn {

constinit dlist display_list;

dlist::~dlist() {
    walk([](item& member) { delete &member; });
}

void dlist::print_all() {
    walk([](item& member) { member.print(); });
}

void dlist::append(item& member) {
    member.unlink();
    item* last = first;
    while (last != nullptr && last->next != nullptr) last = last->next;
    if (last == nullptr) {
        first = &member;
        member.prev = nullptr;
    } else {
        last->next = &member;
        member.prev = last;
    }
    member.next = nullptr;
    member.list = this;
}

}  // namespace kvrn
