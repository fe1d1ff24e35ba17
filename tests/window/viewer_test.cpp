// kvrn-view in a real window on Xvfb, driven with real input events and checked pixel by pixel
// against the re-encoding preview computed here from the same file.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "codec/kvrn_format.h"
#include "harness.h"
#include "scene/pixel_group.h"
#include "scene/preview.h"

namespace kvrn::testing {
namespace {

constexpr double timeout = 60;  // generous: a sanitizer build renders far slower
const std::string banner =
    "This is a basic reader for the KVRN format described in the assignment.\n"
    "Enter KVRN filename, including extension: ";

// 61 x 35: whole blocks cover 56 x 32, and the stream still carries the partial edge blocks.
constexpr kvrn_header picture_header{kvrn_magic, 61, 35, 2, 4, 4};

// Noise: detail in every block, so that any coarser step shows.
void write_kvrn(const std::filesystem::path& path) {
    const int width = picture_header.width;
    const int height = picture_header.height;
    std::vector<std::uint8_t> rgb(*picture_bytes(width, height));
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * i % 251);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    const auto header = format_header(picture_header);
    ASSERT_EQ(std::fwrite(header.data(), 1, header.size(), out), header.size());
    const channel_steps steps{picture_header.y_scale, picture_header.cr_scale,
                              picture_header.cb_scale};
    coef_block y;
    coef_block cr;
    coef_block cb;
    for (int r0 = 0; r0 < height; r0 += 8) {
        for (int c0 = 0; c0 < width; c0 += 8) {
            quantise_block({rgb.data(), width, height}, r0, c0, steps, y, cr, cb);
            for (const coef_block* block : {&y, &cr, &cb}) write_block(*block, out);
        }
    }
    ASSERT_EQ(std::fclose(out), 0);
}

void xdotool(const std::string& commands) {
    shell("xdotool " + commands);
}

// One Xvfb, one kvrn-view on it, and a real KVRN file in a scratch directory.
struct viewer_session {
    explicit viewer_session(const std::string& screen = "1280x1024") : xvfb(xvfb_command(screen)) {
        EXPECT_TRUE(x_started) << "Xvfb did not start";
        std::filesystem::create_directories(directory);
        write_kvrn(file);
        // The picture as the viewer loads it: decoded with every channel on.
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        byte_reader reader(bytes.data() + header_bytes, bytes.size() - header_bytes);
        group.width = picture_header.width;
        group.height = picture_header.height;
        group.pixels =
            static_cast<std::uint8_t*>(std::calloc(*picture_bytes(group.width, group.height), 1));
        decode_blocks(reader, picture_header, {}, group.pixels, nullptr);
    }
    ~viewer_session() { std::filesystem::remove_all(directory); }

    // Answers the prompt with the picture's name and waits for the window; focuses it and puts
    // the pointer inside for the mouse buttons.
    void open_picture() {
        viewer.write(file.string() + "\n");
        ASSERT_TRUE(viewer.read_until("starting Glut Loop...\n", timeout)) << viewer.output();
        window = shell(
            "timeout 60 xdotool search --sync --onlyvisible --name "
            "'^Vorlank: Skeleton$' | head -n 1");
        window.erase(window.find_last_not_of('\n') + 1);
        ASSERT_FALSE(window.empty());
        xdotool("windowfocus --sync " + window + " mousemove --sync --window " + window +
                " 200 200");
    }

    // What a width x height window shows: the preview of every whole block, buffer row 0 at the
    // bottom, and white everywhere else.
    frame expected(channel_enables enables, int step, std::size_t width, std::size_t height) {
        frame f{width, height, std::vector<std::uint8_t>(3 * width * height, 255)};
        group.use_y = enables.use_y;
        group.use_cr = enables.use_cr;
        group.use_cb = enables.use_cb;
        run_preview(group, step,
                    [&f](const coef_block& red, const coef_block& green, const coef_block& blue,
                         std::int32_t c0, std::int32_t r0) {
                        for (std::size_t n = 0; n < 64; ++n) {
                            const std::size_t column = static_cast<std::size_t>(c0) + n % 8;
                            const std::size_t row = static_cast<std::size_t>(r0) + n / 8;
                            if (column >= f.width || row >= f.height) continue;
                            std::uint8_t* p = &f.rgb[f.offset(column, row)];
                            for (const auto* c : {&red, &green, &blue}) {
                                *p++ = static_cast<std::uint8_t>(std::clamp((*c)[n], 0, 255));
                            }
                        }
                    });
        return f;
    }

    // Waits until the window shows `want`, then checks it.
    void expect_window(const frame& want) const {
        const frame got = poll_window(
            window, [&](const frame& f) { return f == want; }, timeout);
        EXPECT_TRUE(got == want) << describe_difference(got, want);
    }

    process xvfb;
    bool x_started = use_display(xvfb);  // before the viewer starts: it needs DISPLAY
    process viewer{
        {"env", "GALLIUM_DRIVER=llvmpipe", "LIBGL_ALWAYS_SOFTWARE=1",
         std::string("LD_PRELOAD=") + KVRN_DRI_PRELOAD,
         std::string("LSAN_OPTIONS=print_suppressions=0:suppressions=") + KVRN_LSAN_SUPPRESSIONS,
         KVRN_VIEW}};
    std::filesystem::path directory{std::filesystem::temp_directory_path() /
                                    ("kvrn-window-" + std::to_string(getpid()))};
    std::filesystem::path file{directory / "picture.kvrn"};
    pixel_group group;  // the picture for the expectations; linked into display_list meanwhile
    std::string window;
};

// One input step and the window it must lead to.
struct script_row {
    std::string events;  // xdotool commands
    channel_enables enables{};
    int step = 1;
    std::size_t width = 1024;
    std::size_t height = 768;
    bool redraws = true;
};

void play(viewer_session& session, const std::vector<script_row>& script) {
    ASSERT_NO_FATAL_FAILURE(session.open_picture());
    for (const script_row& row : script) {
        SCOPED_TRACE("after \"" + row.events + "\"");
        if (!row.events.empty()) xdotool(row.events);
        // A change that must not come cannot be polled for: give it time to show if it would.
        if (!row.redraws) std::this_thread::sleep_for(std::chrono::milliseconds(500));
        session.expect_window(session.expected(row.enables, row.step, row.width, row.height));
    }
}

TEST(viewer_window, channel_keys_switch_channels_and_q_quits_after_the_exact_dialogue) {
    viewer_session session;
    play(session, {{""},
                   {"key y", {0, 1, 1}},
                   {"key r", {0, 0, 1}},
                   {"key b", {0, 0, 0}},
                   {"key y", {1, 0, 0}}});
    xdotool("key q");
    EXPECT_EQ(session.viewer.wait(timeout), 0);
    session.viewer.read_until("", timeout);
    EXPECT_EQ(session.viewer.output(),
              banner +
                  "Reader header:\n\tWidth: 61\n\tHeight: 35\n\tY-scale: 2\n\tCr-scale: 4\n"
                  "\tCb-scale: 4\nFile loaded!\nstarting Glut Loop...\n");
}

// A notch is a press and a release, one step each; the wheel stops at 1, the middle button goes
// back to 1, and nothing shows before a key press asks for a redisplay.
TEST(viewer_window, mouse_buttons_set_the_step_shown_at_the_next_key_press) {
    viewer_session session;
    ASSERT_FALSE(session.expected({}, 1, 1024, 768) == session.expected({}, 3, 1024, 768));
    play(session, {{""},
                   {.events = "click 4", .redraws = false},
                   {.events = "key x", .step = 3},
                   {.events = "click 5 click 5 key x", .step = 1},
                   {.events = "click 4 key x", .step = 3},
                   {.events = "click 4 click 2 key x", .step = 1}});
}

TEST(viewer_window, resized_window_keeps_the_picture_at_the_bottom_left) {
    viewer_session session;
    const std::string resize = "getwindowfocus windowsize ";
    play(session, {{""},
                   {.events = resize + "40 20", .width = 40, .height = 20},
                   {.events = resize + "1100 900", .width = 1100, .height = 900},
                   {.events = "key F1", .width = 1280, .height = 1024},
                   {.events = "key F2"}});
}

TEST(viewer_window, load_failures_wait_for_one_more_character_then_exit_with_status_255) {
    // A header written big-endian: "KVRN" reads as 0x4e52564b.
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"", ""},
        {std::string("KVRN") + std::string(10, '\0'),
         ": magic number != 0x4b56524e, found 0x4e52564b"}};
    for (const auto& [content, message] : rows) {
        SCOPED_TRACE(message);
        viewer_session session;
        const std::string path = (session.directory / "failing.kvrn").string();
        if (!content.empty()) std::ofstream(path, std::ios::binary) << content;
        session.viewer.write(path + "\n");
        const std::string want = banner + "Error opening file " + path + message;
        EXPECT_TRUE(session.viewer.read_until(want, timeout)) << session.viewer.output();
        // The line end after the name is the first of the two characters it reads.
        EXPECT_EQ(session.viewer.wait(0.3), -1) << "it did not wait for a second character";
        session.viewer.write("\n");
        EXPECT_EQ(session.viewer.wait(timeout), 255);
        session.viewer.read_until("", timeout);
        EXPECT_EQ(session.viewer.output(), want);
    }
}

// The status text is drawn at (9000, 300), so only a screen wider than 9000 pixels shows it:
// blank, then "AA = 1", then "AA = 0", each release of 'A' a text not seen before.
TEST(viewer_window, release_of_capital_a_writes_the_status_text) {
    viewer_session session("9300x400");
    play(session, {{.events = "key F1", .width = 9300, .height = 400}});
    const auto text_area = [](const frame& f) {  // the 18-pixel font around its baseline
        std::vector<std::uint8_t> pixels;
        for (std::size_t row = 290; row < 330; ++row) {
            pixels.insert(pixels.end(), &f.rgb[f.offset(8990, row)], &f.rgb[f.offset(9150, row)]);
        }
        return pixels;
    };
    std::vector<std::vector<std::uint8_t>> seen{text_area(session.expected({}, 1, 9300, 400))};
    const auto is_new = [&](const frame& f) {
        return std::find(seen.begin(), seen.end(), text_area(f)) == seen.end();
    };
    for (int release = 1; release <= 2; ++release) {
        // Shift stays down across press and release; the 'x' asks for a redisplay.
        xdotool("keydown Shift_L a keyup a Shift_L key x");
        const frame got = poll_window(session.window, is_new, timeout);
        EXPECT_TRUE(is_new(got)) << "release " << release;
        seen.push_back(text_area(got));
    }
}

}  // namespace
}  // namespace kvrn::testing
