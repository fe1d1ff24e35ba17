// The command line as getopt reads it: letters combine, an option's value follows it in the same
// argument or the next, and -V shows the version wherever it comes.
#include <filesystem>
#include <string>

#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

struct options_test : cli_test {
    void SetUp() override {
        dir.file("in.ppm", noise_ppm(12, 10));
        ASSERT_EQ(kvrn("encode in.ppm in.kvrn").exit_status, 0);
    }
    // The tool's status and what it says on standard output and error.
    child_result said(const std::string& arguments) const { return kvrn(arguments + " 2>&1"); }
};

TEST_F(options_test, the_version_is_shown_after_a_command_too) {
    const child_result version = said("--version");
    ASSERT_EQ(version.exit_status, 0);
    ASSERT_TRUE(version.output.starts_with("kvrn ")) << version.output;
    for (const char* arguments :
         {"-V", "-qV", "decode -V", "decode --version", "encode -qV", "info -V in.kvrn",
          // At once, before the operands are counted and the options that follow are read.
          "encode -s 8 -V", "preview -V --bogus in.kvrn", "help decode -V"}) {
        SCOPED_TRACE(arguments);
        const child_result got = said(arguments);
        EXPECT_EQ(got.exit_status, 0);
        EXPECT_EQ(got.output, version.output);
    }
    // What comes before it is read first.
    const child_result bogus = said("decode --bogus -V");
    EXPECT_EQ(bogus.exit_status, 64);
    EXPECT_EQ(bogus.output, "kvrn: decode: unknown option --bogus\nTry 'kvrn decode --help'.\n");
}

// Each command line against the one it must equal, in status, words and file written: out.k, whose
// name draws a warning that -q silences, or out.ppm.
TEST_F(options_test, letters_combine_as_getopt_combines_them) {
    const struct {
        std::string combined;
        std::string apart;
    } rows[] = {
        {"encode -qs 8 in.ppm out.k", "encode -q -s 8 in.ppm out.k"},
        {"encode -qs8 in.ppm out.k", "encode -q -s 8 in.ppm out.k"},
        {"encode -s3 in.ppm out.k", "encode --step 3 in.ppm out.k"},
        {"encode -qfs auto in.ppm out.k", "encode -q -f --step auto in.ppm out.k"},
        {"-qf encode -s 5 in.ppm out.k", "-q -f encode -s 5 in.ppm out.k"},
        {"encode -vqs 8 in.ppm out.k", "encode -q -s 8 in.ppm out.k"},
        {"preview -qs12 in.kvrn out.ppm", "preview -q --step 12 in.kvrn out.ppm"},
        {"info -qh", "info -h"},
        // The rest of the argument is the value, whatever it looks like.
        {"encode -sq in.ppm out.k", "encode --step q in.ppm out.k"},
        {"encode -qs", "encode --step"},
    };
    const auto run = [this](const std::string& arguments) {
        const child_result got = said(arguments);
        const std::string written = dir.read("out.k") + dir.read("out.ppm");
        std::filesystem::remove(dir.path / "out.k");
        std::filesystem::remove(dir.path / "out.ppm");
        return std::to_string(got.exit_status) + "\n" + got.output + written;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.combined);
        const std::string apart = run(row.apart);
        EXPECT_EQ(run(row.combined), apart);
    }
    // A letter that is no option is named alone; a word after one dash, whole, as ever.
    for (const auto& [arguments, message] :
         {std::pair<std::string, std::string>{"encode -qx in.ppm out.k",
                                              "kvrn: encode: unknown option -x\n"},
          {"encode -bogus in.ppm out.k", "kvrn: encode: unknown option -bogus\n"}}) {
        SCOPED_TRACE(arguments);
        const child_result got = said(arguments);
        EXPECT_EQ(got.exit_status, 64);
        EXPECT_EQ(got.output, message + "Try 'kvrn encode --help'.\n");
    }
    // The warning -q silences, and the figures -v adds, when the letters come last.
    const child_result verbose = said("encode -qvs 8 in.ppm out.k");
    EXPECT_EQ(verbose.exit_status, 0);
    EXPECT_TRUE(verbose.output.starts_with(
        "kvrn: out.k: warning: the name does not end in .kvrn; writing a KVRN file anyway\n"
        "kvrn: out.k: 12 x 10 pixels, scales Y 8, Cr 8, Cb 8\n"))
        << verbose.output;
}

}  // namespace
}  // namespace kvrn::testing
