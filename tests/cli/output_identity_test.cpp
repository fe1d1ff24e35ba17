// The identity behind "is also the input": two names are one file when their device and inode
// numbers both agree. The tests' scratch files all live on one file system, where the inode alone
// would do, so the comparison is held here to made-up numbers of several devices.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdint>

#include "cli/output_file.h"

namespace kvrn::testing {
namespace {

struct file_id {
    dev_t device;
    ino_t inode;
};

struct stat status_of(file_id id) {
    struct stat status {};
    status.st_dev = id.device;
    status.st_ino = id.inode;
    return status;
}

TEST(same_file, needs_the_same_inode_on_the_same_device) {
    const dev_t disk = makedev(8, 1);
    const struct {
        file_id a;
        file_id b;
        bool same;
        const char* what;
    } cases[] = {
        {{disk, 1234}, {disk, 1234}, true, "one file"},
        {{disk, 1234}, {disk, 1235}, false, "another file on the same device"},
        {{disk, 1234}, {makedev(8, 2), 1234}, false, "the same inode on another partition"},
        {{disk, 1234}, {makedev(259, 1), 1234}, false, "the same inode on another disk"},
        {{disk, 2}, {makedev(0, 45), 2}, false, "the roots of two file systems"},
        {{disk, 1234}, {makedev(8, 257), 1234}, false, "minor numbers that differ above 8 bits"},
        {{disk, 1234}, {makedev(4104, 1), 1234}, false, "major numbers that differ above 12 bits"},
        {{disk, (ino_t{1} << 32) + 1234}, {disk, 1234}, false, "inodes that differ above 32 bits"},
        {{makedev(259, 3), (ino_t{1} << 40) + 7},
         {makedev(259, 3), (ino_t{1} << 40) + 7},
         true,
         "one file with large numbers"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cli::same_file(status_of(c.a), status_of(c.b)), c.same) << c.what;
        EXPECT_EQ(cli::same_file(status_of(c.b), status_of(c.a)), c.same) << c.what << ", swapped";
    }
}

// Two looks at one file differ in whatever changed between them; it is still the one file.
TEST(same_file, ignores_everything_but_device_and_inode) {
    struct stat before = status_of({makedev(8, 1), 99});
    struct stat after = before;
    after.st_size = 4096;
    after.st_nlink = 2;
    after.st_mode = S_IFREG | 0600;
    after.st_mtim.tv_sec = 1700000000;
    EXPECT_TRUE(cli::same_file(before, after));
}

}  // namespace
}  // namespace kvrn::testing
