#include "scene/dlist.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "scene/pixel_group.h"
#include "support/files.h"

namespace kvrn {
namespace {

using item_set = std::vector<item*>;

// The digit of `member` in `items`.
char tag(const item_set& items, const item* member) {
    return static_cast<char>('0' + (std::find(items.begin(), items.end(), member) - items.begin()));
}

// The tags of display_list's items from first to last, checking every link on the way.
std::string order(const item_set& items) {
    std::string tags;
    const item* previous = nullptr;
    for (const item* current = display_list.first; current != nullptr; current = current->next) {
        EXPECT_EQ(current->prev, previous);
        EXPECT_EQ(current->list, &display_list);
        tags += tag(items, current);
        previous = current;
    }
    return tags;
}

void delete_all() {
    display_list.walk([](item& member) { delete &member; });
}

class dlist_test : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(display_list.first, nullptr); }
    void TearDown() override { delete_all(); }
};

// Unlinks `member`, then deletes it with a name for the sanitizer build's leak checker to watch.
void unlink_and_delete(item* member) {
    member->unlink();
    EXPECT_TRUE(member->list == nullptr && member->next == nullptr && member->prev == nullptr);
    member->name = strdup("loose");
    delete member;
}

// Walks four items, deleting those tagged in `doomed` as the walk reaches them.
std::function<void(const item_set&)> delete_while_walking(std::string doomed) {
    return [doomed](const item_set& items) {
        std::string visited;
        display_list.walk([&](item& member) {
            visited += tag(items, &member);
            if (doomed.find(visited.back()) != std::string::npos) delete &member;
        });
        EXPECT_EQ(visited, "0123");
    };
}

TEST_F(dlist_test, links_stay_consistent_through_appends_and_deletions) {
    // how many items, what is done to them, the tags of those left, first to last
    using list_case = std::tuple<std::size_t, std::function<void(const item_set&)>, std::string>;
    int row = 0;
    for (const auto& [count, operation, remaining] : std::vector<list_case>{
             {4, [](const item_set&) {}, "0123"},  // construction appends at the tail
             {1, [](const item_set& i) { delete i[0]; }, ""},
             {3, [](const item_set& i) { delete i[0]; }, "12"},
             {3, [](const item_set& i) { delete i[1]; }, "02"},
             {3, [](const item_set& i) { delete i[2]; }, "01"},
             {1, [](const item_set& i) { display_list.append(*i[0]); }, "0"},
             {3, [](const item_set& i) { display_list.append(*i[2]); }, "012"},
             {3, [](const item_set& i) { display_list.append(*i[0]); }, "120"},
             {3, [](const item_set& i) { unlink_and_delete(i[0]); }, "12"},
             {3, [](const item_set& i) { unlink_and_delete(i[1]); }, "02"},
             {4, delete_while_walking("0123"), ""},
             {4, delete_while_walking("1"), "023"},
             {4, delete_while_walking("03"), "12"},
         }) {
        SCOPED_TRACE(row++);
        item_set items;
        for (std::size_t i = 0; i < count; ++i) items.push_back(new item);
        operation(items);
        EXPECT_EQ(order(items), remaining);
        delete_all();
    }
}

TEST_F(dlist_test, print_all_shows_each_item_its_own_way) {
    new item;
    (new item)->name = strdup("kettle");
    (new pixel_group)->name = strdup("ignored");
    EXPECT_EQ(testing::capture_stdout([] { display_list.print_all(); }),
              "Item name: <NULL>\nItem name: kettle\ntodo\n");
}

// Reports its own deletion on standard output, as its one-letter id.
class counted_item : public item {
  public:
    explicit counted_item(char id) : id_(id) {}
    ~counted_item() override {
        if (write(STDOUT_FILENO, &id_, 1) != 1) std::abort();
    }

  private:
    char id_;
};

TEST_F(dlist_test, process_exit_deletes_every_remaining_item_once) {
    for (const int code : {0, -1}) {
        const testing::child_result child = testing::run_in_child(
            [code] {
                for (const char id : {'a', 'b', 'c', 'd'}) new counted_item(id);
                delete display_list.first->next;  // 'b' goes now, and must not go again
                std::exit(code);
            },
            "");
        EXPECT_EQ(child.exit_status, code & 0xFF);
        EXPECT_EQ(child.output, "bacd");
    }
}

}  // namespace
}  // namespace kvrn
