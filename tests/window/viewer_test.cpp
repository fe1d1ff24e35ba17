// kvrn-view in a real window on Xvfb, driven with real input events and checked pixel by pixel
// against the re-encoding preview computed here from the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/loader.h"
#include "codec/block_path.h"
#include "codec/reencode.h"
#include "scene/pixel_group.h"
#include "support/files.h"

namespace kvrn::testing {
namespace {

// Runs `command` with /bin/sh and returns its output; a failing command fails the test.
std::string shell(const std::string& command) {
    const child_result result = run_shell(command);
    EXPECT_EQ(result.exit_status, 0) << command;
    return result.output;
}

constexpr double timeout = 60;  // generous: a sanitizer build renders far slower
// A frame that has not changed for this long is finished: the viewer draws one in well under.
constexpr std::chrono::seconds settled{3};
const std::string banner =
    "This is a basic reader for the KVRN format described in the assignment.\n"
    "Enter KVRN filename, including extension: ";

// 61 x 35, noise in every coefficient, so that any coarser preview step shows: whole blocks cover
// 56 x 32, and the stream still carries the partial edge blocks.
std::string noise_file() {
    std::vector<coef_block> blocks(3 * 8 * 5);
    for (std::size_t i = 0; i < 64 * blocks.size(); ++i)
        blocks[i / 64][i % 64] = static_cast<std::int32_t>(i * i % 61) - 30;
    return kvrn_file({kvrn_magic, 61, 35, 2, 4, 4}, blocks);
}

// One input step and the window it must lead to.
struct script_row {
    std::string events;  // xdotool commands
    channel_enables enables{};
    int step = 1;
    int width = 1024;
    int height = 768;
};

// One Xvfb, one kvrn-view on it, and the noise picture on disk. Xvfb finds a free display number
// itself and writes it once it accepts connections; its key auto-repeat delay is far longer than
// any test, so a key held by xdotool never repeats.
struct viewer_session {
    explicit viewer_session(const std::string& screen = "1280x1024")
        : xvfb({"Xvfb", "-displayfd", "1", "-screen", "0", screen + "x24", "-nolisten", "tcp",
                "-ardelay", "100000"}) {
        EXPECT_TRUE(x_started) << "Xvfb did not start";
        image_group = &group;  // the picture as the viewer loads it, header lines and all
        (void)capture_stdout([this] { load_image(file.c_str()); });
    }

    // Answers the prompt with the picture's name and waits for the window, focuses it and puts the
    // pointer inside for the mouse buttons; then plays `script`, a row at a time.
    void play(const std::vector<script_row>& script) {
        viewer.write(file + "\n");
        ASSERT_TRUE(viewer.read_until("starting Glut Loop...\n", timeout)) << viewer.output();
        window = shell(
            "timeout 60 xdotool search --sync --onlyvisible --name '^Vorlank: Skeleton$' "
            "windowfocus --sync mousemove --sync --window %1 200 200 getwindowfocus -f");
        window = window.substr(0, window.find('\n'));
        ASSERT_FALSE(window.empty());
        std::optional<std::string> shown;  // unknown until the first frame
        for (const script_row& row : script) {
            SCOPED_TRACE("after \"" + row.events + "\"");
            if (!row.events.empty()) shell("xdotool " + row.events);
            const std::string want = expected(row.enables, row.step, row.width, row.height);
            shown = poll_window([&](const std::string& f) { return f == want; }, shown);
            EXPECT_TRUE(shown == want) << "a window of " << shown->substr(0, shown->find("\n255"))
                                       << " for one of " << want.substr(0, want.find("\n255"));
        }
    }

    // What a width x height window shows, as a PPM of its rows from the bottom: the preview of
    // every whole block, buffer row 0 lowest, and white everywhere else.
    std::string expected(channel_enables e, int step, int width, int height) {
        std::string shown(3 * static_cast<std::size_t>(width * height), '\xFF');
        struct storing_sink {
            std::uint8_t* pixels;
            int width, height;
            void shown(const rgb_blocks& rgb, int r0, int c0) const {
                store_block(rgb, pixels, width, height, r0, c0);
            }
        };
        reencode_blocks(group.picture(), {uniform_steps(step), e, block_coverage::whole_blocks},
                        storing_sink{reinterpret_cast<std::uint8_t*>(shown.data()), width, height});
        return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + shown;
    }

    // Captures the window, flipped to match `expected`, until `done` holds for a capture; returns
    // the last capture. The frame the input replaces (`before`, when known) may stay as long as
    // the viewer takes to draw the next; any other capture that stays the same for `settled`
    // seconds is a finished frame that waiting will not change.
    std::string poll_window(const std::function<bool(const std::string&)>& done,
                            const std::optional<std::string>& before = std::nullopt) const {
        std::string last;
        auto since = std::chrono::steady_clock::now();
        poll_until(timeout, [&] {
            std::string capture =
                shell("xwd -silent -id " + window + " | convert xwd:- -flip +set comment ppm:-");
            const auto now = std::chrono::steady_clock::now();
            if (capture != last) since = now;
            last = std::move(capture);
            return done(last) || (before && last != *before && now - since > settled);
        });
        return last;
    }

    process xvfb;
    // DISPLAY for every later child, the viewer first.
    bool x_started =
        xvfb.read_until("\n", 30) &&
        setenv("DISPLAY",
               std::string(":").append(xvfb.output(), 0, xvfb.output().find('\n')).c_str(), 1) == 0;
    process viewer{{"env", "GALLIUM_DRIVER=llvmpipe", "LIBGL_ALWAYS_SOFTWARE=1", KVRN_PRELOAD,
                    KVRN_LSAN_OPTIONS, KVRN_VIEW}};
    scratch_dir dir;
    std::string file = dir.file("noise.kvrn", noise_file());
    pixel_group group;  // the picture for the expectations; linked into display_list meanwhile
    std::string window;
};

// A wheel notch is a press and a release, one step each; the wheel stops at 1, the middle button
// goes back to 1, and nothing shows before a key press asks for a redisplay. A resized window keeps
// the picture at its bottom left, F2 brings back 1024 x 768 even after a resize and full screen,
// y, r and b switch their channels, and q quits.
TEST(viewer_window, input_events_lead_to_the_exact_frames_and_q_quits_after_the_dialogue) {
    viewer_session session;
    session.play({{""},
                  {"click 4 sleep 0.5"},  // a change that must not come: time to show if it would
                  {.events = "key x", .step = 3},
                  {.events = "click 5 click 5 key x", .step = 1},
                  {.events = "click 4 key x", .step = 3},
                  {.events = "click 4 click 2 key x", .step = 1},
                  {.events = "getwindowfocus windowsize 40 20", .width = 40, .height = 20},
                  {.events = "getwindowfocus windowsize 1100 900", .width = 1100, .height = 900},
                  {.events = "key F1", .width = 1280, .height = 1024},
                  {"key F2"},
                  {"key y", {0, 1, 1}},
                  {"key r", {0, 0, 1}},
                  {"key b", {0, 0, 0}},
                  {"key y", {1, 0, 0}}});
    shell("xdotool key q");
    EXPECT_EQ(session.viewer.wait(timeout), 0);
    EXPECT_EQ(session.viewer.output(),
              banner +
                  "Reader header:\n\tWidth: 61\n\tHeight: 35\n\tY-scale: 2\n\tCr-scale: 4\n"
                  "\tCb-scale: 4\nFile loaded!\nstarting Glut Loop...\n");
}

TEST(viewer_window, load_failures_wait_for_one_more_character_then_exit_with_status_255) {
    // A header written big-endian: "KVRN" reads as 0x4e52564b.
    const std::string bad_magic = kvrn_file({0x4e52564b, 0, 0, 0, 0, 0});
    const std::vector<std::pair<std::optional<std::string>, std::string>> rows = {
        {std::nullopt, ""},
        {"", ": file too short for a KVRN header (0 of 14 bytes)"},
        {bad_magic.substr(0, 13), ": file too short for a KVRN header (13 of 14 bytes)"},
        {bad_magic, ": magic number != 0x4b56524e, found 0x4e52564b"}};
    for (const auto& [content, message] : rows) {
        viewer_session session;
        const std::string failing = session.dir.file("bad.kvrn", content);
        session.viewer.write(failing + "\n");
        const std::string want = banner + "Error opening file " + failing + message;
        EXPECT_TRUE(session.viewer.read_until(want, timeout)) << session.viewer.output();
        // The line end after the name is the first of the two characters it reads.
        EXPECT_EQ(session.viewer.wait(0.3), -1) << "it did not wait for a second character";
        session.viewer.write("\n");
        EXPECT_EQ(session.viewer.wait(timeout), 255);
        EXPECT_EQ(session.viewer.output(), want);
    }
}

// The status text is drawn at (9000, 300), so only a screen wider than 9000 pixels shows it:
// blank, then "AA = 1", then "AA = 0", each release of 'A' a picture not seen before.
TEST(viewer_window, release_of_capital_a_writes_the_status_text) {
    viewer_session session("9300x400");
    session.play({{.events = "key F1", .width = 9300, .height = 400}});
    std::vector<std::string> seen{session.expected({}, 1, 9300, 400)};
    const auto is_new = [&](const std::string& f) { return std::ranges::count(seen, f) == 0; };
    for (int release = 1; release <= 2; ++release) {
        // Shift stays down across press and release; the 'x' asks for a redisplay.
        shell("xdotool keydown Shift_L a keyup a Shift_L key x");
        seen.push_back(session.poll_window(is_new, seen.back()));
        EXPECT_EQ(std::ranges::count(seen, seen.back()), 1) << "release " << release;
    }
}

}  // namespace
}  // namespace kvrn::testing
