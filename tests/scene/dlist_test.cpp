// The item list: its links through every change, print_all, and the deletions at process exit.
#include "scene/dlist.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "scene/pixel_group.h"
#include "support/files.h"

namespace kvrn {
namespace {

TEST(dlist, links_stay_consistent_through_appends_unlinks_and_deletions) {
    // How many items are made, named by their digits, in construction order; what is done to
    // those whose digits follow the letter (d: delete, a: append again, u: unlink, w: unlink as
    // a walk reaches them; u and w then delete them); the names of the items left.
    const std::vector<std::tuple<int, std::string, std::string>> cases = {
        {4, "-", "0123"}, {1, "d0", ""},    {3, "d0", "12"},  {3, "d1", "02"}, {3, "d2", "01"},
        {1, "a0", "0"},   {3, "a2", "012"}, {3, "a0", "120"}, {3, "u1", "02"}, {4, "w03", "12"}};
    for (const auto& [count, operation, left] : cases) {
        SCOPED_TRACE(operation);
        ASSERT_EQ(display_list.first, nullptr);
        std::vector<item*> items;
        for (int i = 0; i < count; ++i)
            items.emplace_back(new item)->name = strdup(std::to_string(i).c_str());
        const auto doomed = [&targets = operation](const item* member) {
            return targets.find(member->name[0], 1) != std::string::npos;
        };
        if (operation[0] == 'w')
            display_list.walk([&](item& member) { doomed(&member) ? member.unlink() : void(); });
        for (item* member : items) {
            if (!doomed(member)) continue;
            if (operation[0] == 'a') display_list.append(*member);
            if (operation[0] == 'u') member->unlink();
            EXPECT_TRUE(std::strchr("ad", operation[0]) ||
                        (!member->list && !member->next && !member->prev));
            if (operation[0] != 'a') delete member;  // unlinked, it only releases its name
        }
        std::string names;  // from first to last, every link checked on the way
        for (const item *current = display_list.first, *previous = nullptr; current != nullptr;
             previous = current, current = current->next) {
            EXPECT_TRUE(current->prev == previous && current->list == &display_list) << names;
            names += current->name;
        }
        EXPECT_EQ(names, left);
        display_list.walk([](item& member) { delete &member; });
    }
}

// Reports its own deletion on standard output, as its name.
struct counted_item : item {
    ~counted_item() override {
        if (write(STDOUT_FILENO, name, 1) != 1) std::abort();
    }
};

TEST(dlist, print_all_goes_first_to_last_and_exit_deletes_every_remaining_item_once) {
    const testing::child_result child = testing::run_in_child(
        [] {
            for (const char* name : {"a", "b", "c"}) (new counted_item)->name = strdup(name);
            new item;
            (new pixel_group)->name = strdup("ignored");
            delete display_list.first->next;  // b goes now, and must not go again
            display_list.print_all();
            (void)std::fflush(stdout);
            std::exit(-1);
        },
        "");
    EXPECT_EQ(child.exit_status, 255);
    EXPECT_EQ(child.output, "bItem name: a\nItem name: c\nItem name: <NULL>\ntodo\nac");
}

}  // namespace
}  // namespace kvrn
