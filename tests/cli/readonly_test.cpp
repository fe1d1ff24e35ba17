// Output files that are there already. Those their owner made read-only: refused by every command
// that writes a file, before it reads anything, unless --force; replaced by root, as cp replaces
// them. The tool runs as an ordinary user, as people run it: a test process of root's runs it as
// nobody. Others: rewritten when other hard links show them, never written when one is the input.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"

namespace kvrn::testing {
namespace {

namespace fs = std::filesystem;

struct user_ids {
    uid_t uid;
    gid_t gid;
};

// Who runs the tool: this process's own user when it is not root, else nobody.
user_ids ordinary_user() {
    if (geteuid() != 0) return {geteuid(), getegid()};
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) return {65534, 65534};
    return {nobody->pw_uid, nobody->pw_gid};
}

// Runs `command` with /bin/sh as `user`, or as this process's user when `user` is null. Root's
// child gives up its other groups, then its group, then its user, for good.
child_result run_as(const user_ids* user, const std::string& command) {
    return run_in_child(
        [&] {
            if (user != nullptr && geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(user->gid) != 0 || setuid(user->uid) != 0)) {
                _exit(125);
            }
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            _exit(127);
        },
        "");
}

const std::string tool_dir = fs::path(KVRN_TOOL).parent_path().string();

// What kvrn says when it refuses to replace `name`.
std::string refused(const std::string& name) {
    return "kvrn: " + name + ": is read-only; not replaced (--force replaces it)\n";
}

// Each row runs in a scratch directory of the user's own holding in.ppm and in.kvrn: `setup`,
// then `command` (its standard error must be `message`, then its status), then `check`, shell
// tests that must hold. old is the content every file to be replaced starts with; a check makes
// the fresh output under another name to compare with.
struct output_row {
    std::string setup;
    std::string command;
    std::string message;
    int status;
    std::string check;
};

void run_rows(const std::vector<output_row>& rows, const user_ids* user) {
    for (const output_row& row : rows) {
        SCOPED_TRACE(row.setup + "; " + row.command);
        const scratch_dir dir;
        std::string pattern;
        for (int i = 0; i < 16 * 16 * 3; ++i) pattern += static_cast<char>(i * 7 % 251);
        dir.file("in.ppm", "P6\n16 16\n255\n" + pattern);
        if (user != nullptr && geteuid() == 0) {
            ASSERT_EQ(chown(dir.path.c_str(), user->uid, user->gid), 0);
        }
        // HOME: the lab's font library keeps its cache there.
        const child_result got = run_as(
            user, "cd '" + dir.path.string() + "' && export HOME=\"$PWD\" PATH='" + tool_dir +
                      "':\"$PATH\" && kvrn encode in.ppm in.kvrn && echo old > old && " +
                      row.setup + " && { " + row.command +
                      " 2>&1 >/dev/null; echo \"status $?\"; } && { " + row.check +
                      "; } || echo 'check failed'");
        EXPECT_EQ(got.output, row.message + "status " + std::to_string(row.status) + "\n");
    }
}

// The file `name` holds what `making` writes to fresh.EXT (followed by `after`), and has the mode
// `mode`.
std::string replaced(const std::string& making, const std::string& name, const char* mode,
                     const std::string& after = "") {
    const std::string fresh = "fresh" + fs::path(name).extension().string();
    return making + " " + fresh + after + " >/dev/null && cmp " + fresh + " " + name +
           " && test $(stat -c %a " + name + ") = " + mode;
}
std::string untouched(const std::string& name, const char* mode = "444") {
    return "cmp old " + name + " && test $(stat -c %a " + name + ") = " + mode;
}

struct ordinary_user_test : ::testing::Test {
    void SetUp() override {
        // The tool and its folders must be open to the user.
        const child_result probe = run_as(&user, "'" KVRN_TOOL "' --version >/dev/null");
        if (probe.exit_status != 0) {
            GTEST_SKIP() << "kvrn cannot run as user " << user.uid << " (status "
                         << probe.exit_status << "): its build folder is closed to others, or "
                         << "this process cannot change its user";
        }
    }
    user_ids user = ordinary_user();
};

TEST_F(ordinary_user_test, a_read_only_output_is_refused_unless_forced) {
    const std::string read_only = "cp old out.ppm && chmod 444 out.ppm";
    const std::string decode = "kvrn decode in.kvrn";
    const std::string linked =
        "cp old t.ppm && chmod 444 t.ppm && mkdir d && ln -s ../t.ppm d/link.ppm";
    const std::string read_only_in_ro =
        "mkdir ro && cp old ro/out.ppm && chmod 444 ro/out.ppm && chmod 555 ro";
    run_rows(
        {
            // Before anything is read: a missing input is not reached.
            {read_only, "kvrn decode missing.kvrn out.ppm", refused("out.ppm"), 1,
             untouched("out.ppm")},
            // An error, which -q does not silence.
            {read_only, "kvrn decode -q in.kvrn out.ppm", refused("out.ppm"), 1,
             untouched("out.ppm")},
            {"cp old out.png && chmod 400 out.png", "kvrn decode -f in.kvrn out.png", "", 0,
             replaced(decode, "out.png", "400")},
            // A file the user may write is replaced as ever.
            {"cp old out.ppm && chmod 600 out.ppm", decode + " out.ppm", "", 0,
             replaced(decode, "out.ppm", "600")},
            // Through a symbolic link the target is what counts, and what is replaced.
            {linked, decode + " d/link.ppm", refused("d/link.ppm"), 1,
             untouched("t.ppm") + " && test -L d/link.ppm"},
            {linked, decode + " -f d/link.ppm", "", 0,
             replaced(decode, "t.ppm", "444") +
                 " && test -L d/link.ppm && test $(ls d) = link.ppm"},
            {"cp old t.ppm && ln -s t.ppm link.ppm", decode + " link.ppm", "", 0,
             replaced(decode, "t.ppm", "644") + " && test -L link.ppm"},
            // Other hard links cannot show the new picture of a file that cannot be written: it is
            // replaced, and they keep the old one.
            {read_only + " && ln out.ppm other.ppm", decode + " out.ppm", refused("out.ppm"), 1,
             untouched("out.ppm") + " && cmp old other.ppm"},
            {read_only + " && ln out.ppm other.ppm", decode + " -f out.ppm", "", 0,
             replaced(decode, "out.ppm", "444") + " && cmp old other.ppm"},
            // A folder the user cannot write takes no new file; a writable file in it is written
            // in place, a read-only one not even with --force.
            {"mkdir ro && chmod 555 ro", decode + " ro/out.ppm",
             "kvrn: ro/out.ppm: cannot create: Permission denied\n", 1, "test -z \"$(ls -A ro)\""},
            {"mkdir ro && cp old ro/out.ppm && chmod 555 ro", decode + " ro/out.ppm", "", 0,
             replaced(decode, "ro/out.ppm", "644")},
            {read_only_in_ro, decode + " ro/out.ppm", refused("ro/out.ppm"), 1,
             untouched("ro/out.ppm")},
            {read_only_in_ro, decode + " --force ro/out.ppm",
             "kvrn: ro/out.ppm: cannot write: Permission denied\n", 1, untouched("ro/out.ppm")},
        },
        &user);
}

// Every command that writes a file, the lab's maps and plots included.
struct writer {
    std::string arguments;  // before the output
    std::string output;
    std::string after;  // after the output
};

std::vector<writer> every_writer() {
    std::vector<writer> writers = {
        {"encode in.ppm", "out.kvrn", ""},
        {"encode -s 4 in.ppm", "out.kvrn", ""},
        {"preview --step 6 in.kvrn", "out.png", ""},
        {"decode in.kvrn", "out.png", ""},
    };
    if (KVRN_LAB) {
        writers.insert(writers.end(),
                       {
                           {"diff in.ppm in.kvrn", "out.png", ""},
                           {"blocks in.kvrn", "out.png", ""},
                           {"sweep --steps 4 --qualities 50 --plot", "out.svg", " in.ppm"},
                           {"sweep --steps 4 --qualities 50 --csv", "out.csv", " in.ppm"},
                       });
    }
    return writers;
}

TEST_F(ordinary_user_test, every_command_that_writes_a_file_refuses_a_read_only_one) {
    std::vector<output_row> rows;
    for (const writer& w : every_writer()) {
        const std::string setup = "cp old " + w.output + " && chmod 444 " + w.output;
        rows.push_back({setup, "kvrn " + w.arguments + " " + w.output + w.after, refused(w.output),
                        1, untouched(w.output)});
        // A cluster of letters takes the flag too.
        rows.push_back({setup, "kvrn -qf " + w.arguments + " " + w.output + w.after, "", 0,
                        replaced("kvrn " + w.arguments, w.output, "444", w.after)});
    }
    run_rows(rows, &user);
}

// An output that is a directory is named as one, whether the user may write in it or not, and
// --force changes nothing: for an ordinary user a directory closed to them is also one they
// cannot write, which must not turn the answer into "read-only".
TEST_F(ordinary_user_test, every_command_refuses_an_output_that_is_a_directory) {
    std::vector<output_row> rows;
    for (const writer& w : every_writer()) {
        const std::string is_directory = "kvrn: " + w.output + ": is a directory\n";
        const std::string same = "test -d " + w.output + " && cmp old " + w.output + "/old";
        for (const char* mode : {"755", "555"}) {
            const std::string setup = "mkdir " + w.output + " && cp old " + w.output +
                                      "/old && chmod " + mode + " " + w.output;
            for (const char* force : {"", "-f "}) {
                rows.push_back(
                    {setup, "kvrn " + std::string(force) + w.arguments + " " + w.output + w.after,
                     is_directory, 1, same + " && test $(ls " + w.output + ") = old"});
            }
        }
    }
    run_rows(rows, &user);
}

// A file with other hard links is rewritten, so that they show the new picture too; the input is
// never written over, by its own name or through a link.
TEST(existing_output, is_rewritten_for_its_other_links_and_never_when_it_is_the_input) {
    const std::string refused = ": is also the input\n";
    run_rows(
        {
            {"cp old out.kvrn && ln out.kvrn other.kvrn", "kvrn encode in.ppm out.kvrn", "", 0,
             replaced("kvrn encode in.ppm", "other.kvrn", "644") + " && test $(stat -c %h " +
                 "out.kvrn) = 2"},
            {"cp in.ppm saved && ln -s in.ppm link.kvrn", "kvrn encode in.ppm link.kvrn",
             "kvrn: link.kvrn" + refused, 1, "cmp in.ppm saved && test -L link.kvrn"},
            {"cp in.kvrn saved && ln -s in.kvrn same.ppm", "kvrn decode in.kvrn same.ppm",
             "kvrn: same.ppm" + refused, 1, "cmp in.kvrn saved"},
            {"cp in.kvrn saved && ln in.kvrn same.png", "kvrn preview in.kvrn same.png",
             "kvrn: same.png" + refused, 1, "cmp in.kvrn saved"},
        },
        nullptr);
}

// Root may write any file, so it replaces a read-only one as cp does, keeping its mode and owner.
TEST(root_user, replaces_a_read_only_output_as_cp_does) {
    if (geteuid() != 0) GTEST_SKIP() << "runs only as root";
    const std::string decode = "kvrn decode in.kvrn";
    run_rows(
        {{"cp old out.ppm && chown 65534:65534 out.ppm && chmod 444 out.ppm", decode + " out.ppm",
          "", 0, replaced(decode, "out.ppm", "444") + " && test $(stat -c %u out.ppm) = 65534"}},
        nullptr);
}

}  // namespace
}  // namespace kvrn::testing
