#!/usr/bin/python3
"""The quantisation lab page in headless Chromium, held to the kvrn tool.

Usage: test_lab.py KVRN WEB_DIR [SCREENSHOT.png] [unittest arguments]

Serves WEB_DIR (what scripts/web --build makes) on a free local port, opens it in Debian's
Chromium through chromedriver and checks the page against what KVRN (the kvrn program) writes:
the canvas pixels against kvrn decode, preview, diff and blocks, the figures against kvrn diff,
the inspector against kvrn inspect --json, the saved file against kvrn encode; the keys, the wheel and the middle button; bad files. Takes a
screenshot of the page as a first-time user sees it to SCREENSHOT.png (default out/web-lab.png).
Run it with Debian's Python (/usr/bin/python3), which has Selenium.
"""

import base64
import functools
import http.server
import io
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

from PIL import Image
from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.mouse_button import MouseButton
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

KVRN = ""
WEB_DIR = ""
SCREENSHOT = "out/web-lab.png"
SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "samples")
# The picture the page opens with: the ladybird photograph, unquantised.
START = "ladybird-1024x768.jpg"
START_PATH = os.path.abspath(os.path.join(SAMPLES, START))
# axe-core, the accessibility checker, as scripts/web installs it beside the page's folder.
AXE = os.environ.get("KVRN_AXE", "")
AXE_TAGS = ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "wcag22aa", "best-practice"]
WAIT = 60
# JPEG's example tables, with which tables of one's own start.
JPEG_LUMA = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
             14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
             18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
             49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
JPEG_CHROMA = [17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
               24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99] + [99] * 32


def chromium_options(download_dir=None):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    # What Chromium needs to run headless as root in a container, without reaching out.
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--window-size=1500,1000",
                     "--user-data-dir=" + tempfile.mkdtemp(prefix="kvrn-web-chromium-")):
        options.add_argument(argument)
    return options


def start_driver():
    service = Service(executable_path="/usr/bin/chromedriver")
    return webdriver.Chrome(service=service, options=chromium_options())


def serve(directory):
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *arguments):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                             functools.partial(Quiet, directory=directory))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def kvrn(*arguments, statuses=(0,)):
    run = subprocess.run([KVRN, *arguments], capture_output=True, text=True)
    if run.returncode not in statuses:
        raise AssertionError(f"kvrn {' '.join(arguments)}: status {run.returncode}: {run.stderr}")
    return run.stdout


def rgb_of(path):
    with Image.open(path) as picture:
        return picture.convert("RGB").tobytes(), picture.size


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Lab(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="kvrn-web-test-")
        cls.server = serve(WEB_DIR)
        cls.url = f"http://127.0.0.1:{cls.server.server_address[1]}/"
        cls.driver = start_driver()
        cls.dune_kvrn = os.path.abspath(os.path.join(SAMPLES, "dune-403x251.kvrn"))
        cls.dune_png = cls.path("dune.png")
        kvrn("decode", cls.dune_kvrn, cls.dune_png)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.shutdown()

    @classmethod
    def path(cls, name):
        return os.path.join(cls.work, name)

    def setUp(self):
        self.driver.get(self.url)
        self.wait_rendered("8,8,8,8,yrb,quantised", START)

    # --- driving the page ---------------------------------------------------------------------

    def js(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def attribute(self, selector, name):
        return self.js("const e = document.querySelector(arguments[0]);"
                       "return e === null ? null : e.getAttribute(arguments[1]);", selector, name)

    def until(self, condition, what):
        try:
            return WebDriverWait(self.driver, WAIT, poll_frequency=0.05).until(
                lambda driver: condition())
        except TimeoutException:
            raise AssertionError(f"waited {WAIT} s for {what}; the message says "
                                 f"{self.message()!r}") from None

    def wait_rendered(self, key, picture=None):
        """Waits for the picture rendered with `key` and for its figures."""
        self.until(lambda: self.attribute("#picture", "data-rendered") == key and
                   (picture is None or self.attribute("#picture", "data-picture") == picture),
                   f"the render {key}")
        step, y, cr, cb = key.split(",")[:4]
        name = self.attribute("#picture", "data-picture")
        self.until(lambda: self.attribute("#figures", "data-for") == f"{name}:{y},{cr},{cb}",
                   f"the figures of {key}")

    def set_value(self, element_id, value):
        self.js("const e = document.getElementById(arguments[0]); e.value = arguments[1];"
                "e.dispatchEvent(new Event('input', {bubbles: true}));", element_id, str(value))

    def set_checked(self, element_id, checked):
        self.js("const e = document.getElementById(arguments[0]); e.checked = arguments[1];"
                "e.dispatchEvent(new Event('input', {bubbles: true}));", element_id, checked)

    def apply(self, scales=None, step=None, channels="yrb", view="quantised"):
        """Sets the controls through their elements; returns the key the render will carry."""
        if scales is not None:
            self.set_checked("link-scales", False)
            for element_id, value in zip(("scale-y", "scale-cr", "scale-cb"), scales):
                self.set_value(element_id, value)
        if step is not None:
            if scales is None:
                self.set_checked("link-scales", True)
            self.set_value("step", step)
        for letter, element_id in (("y", "channel-y"), ("r", "channel-cr"), ("b", "channel-cb")):
            self.set_checked(element_id, letter in channels)
        self.set_value("view", view)
        key = ",".join([self.js("return document.getElementById('step').value"),
                        self.js("return document.getElementById('scale-y').value"),
                        self.js("return document.getElementById('scale-cr').value"),
                        self.js("return document.getElementById('scale-cb').value"),
                        channels, view])
        self.wait_rendered(key)
        return key

    def open(self, path, expect_error=False):
        self.driver.find_element(By.ID, "open").send_keys(os.path.abspath(path))
        name = os.path.basename(path)
        if expect_error:
            self.until(lambda: "error" in (self.attribute("#message", "class") or ""),
                       f"the page to refuse {name}")
            return
        self.until(lambda: self.attribute("#picture", "data-picture") == name and
                   self.attribute("#picture", "data-rendered") is not None, f"{name} shown")
        self.wait_rendered(self.attribute("#picture", "data-rendered"), name)

    def message(self):
        return self.js("return document.getElementById('message').textContent")

    def canvas_rgb(self):
        data = self.js("""
            const c = document.getElementById('picture');
            const rgba = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            const rgb = new Uint8Array(c.width * c.height * 3);
            for (let i = 0, o = 0; i < rgba.length; i += 4, o += 3) {
                rgb[o] = rgba[i]; rgb[o + 1] = rgba[i + 1]; rgb[o + 2] = rgba[i + 2];
            }
            let text = '';
            for (let i = 0; i < rgb.length; i += 32768)
                text += String.fromCharCode.apply(null, rgb.subarray(i, i + 32768));
            return [c.width, c.height, btoa(text)];""")
        return base64.b64decode(data[2]), (data[0], data[1])

    def fetch(self, selector):
        """The bytes behind a link's href, once a click (its download held back) has made it."""
        data = self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const link = document.querySelector(arguments[0]);
            if (link.id === 'save-kvrn') {
                const hold = (event) => event.preventDefault();
                link.addEventListener('click', hold);
                link.click();
                link.removeEventListener('click', hold);
            }
            fetch(link.href).then((r) => r.arrayBuffer())
                .then((b) => {
                    const bytes = new Uint8Array(b);
                    let text = '';
                    for (let i = 0; i < bytes.length; i += 32768)
                        text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
                    done(btoa(text));
                }).catch((e) => done('error ' + e));""", selector)
        self.assertFalse(data.startswith("error"), data)
        return base64.b64decode(data)

    def figures(self):
        return {name: self.attribute(f'[data-figure="{name}"]', "data-value")
                for name in ("bytes", "bits_per_pixel", "psnr_rgb", "psnr_y", "ssim_y",
                             "clipped")}

    def assert_pixels(self, expected_path, what):
        expected, size = rgb_of(expected_path)
        shown, shown_size = self.canvas_rgb()
        self.assertEqual(shown_size, size, what)
        if shown != expected:
            differing = sum(1 for a, b in zip(shown, expected) if a != b)
            self.fail(f"{what}: {differing} samples differ from {expected_path}")

    def expected_figures(self, original, scales, name):
        """The figures kvrn encode, kvrn diff and kvrn sweep's arithmetic give."""
        encoded = self.path(name)
        run = subprocess.run([KVRN, "encode", "--scales", ",".join(map(str, scales)), original,
                              encoded], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        clipped = "0"
        if "clipped" in run.stderr:
            clipped = run.stderr.split("warning: ")[1].split()[0]
        diff = kvrn("diff", original, encoded).split()
        size = os.path.getsize(encoded)
        _, (width, height) = rgb_of(original)
        return encoded, {"bytes": str(size), "bits_per_pixel": f"{size * 8 / (width * height):.4f}",
                         "psnr_rgb": diff[1], "psnr_y": diff[3], "ssim_y": diff[5],
                         "clipped": clipped}

    # --- the tests ------------------------------------------------------------------------------

    def test_the_start_is_the_photograph_at_step_8_with_the_readmes_figures(self):
        encoded, figures = self.expected_figures(START_PATH, (8, 8, 8), "start-8.kvrn")
        kvrn("decode", encoded, self.path("start-8.ppm"))
        self.assert_pixels(self.path("start-8.ppm"), "the photograph at step 8")
        self.assertEqual(self.figures(), figures)
        self.assertEqual(self.fetch("#save-kvrn"), read(encoded))
        # The README's figures come from this table, which scripts/make-plots makes.
        with open(os.path.join(SAMPLES, "..", "docs", "rate-distortion.csv")) as f:
            rows = [line.split(",") for line in f if not line.startswith("#")]
        columns = rows[0]
        step8 = next(dict(zip(columns, row)) for row in rows[1:]
                     if row[0] == "kvrn" and row[1] == "8")
        self.assertEqual([figures[name] for name in ("bytes", "bits_per_pixel", "psnr_rgb",
                                                     "psnr_y", "ssim_y")],
                         [step8[name] for name in ("bytes", "bits_per_pixel", "psnr_rgb",
                                                   "psnr_y", "ssim_y")])

    def test_the_whole_page_with_its_pictures_weighs_under_1_5_mb(self):
        weight = sum(os.path.getsize(os.path.join(WEB_DIR, name)) for name in os.listdir(WEB_DIR))
        self.assertLess(weight, 1.5e6)

    def test_a_kvrn_file_is_itself_at_its_own_scales_and_quantised_again_at_others(self):
        sample = os.path.join(SAMPLES, "default.kvrn")
        self.set_value("pictures", "default.kvrn")
        self.wait_rendered("8,8,8,8,yrb,quantised", "default.kvrn")
        decoded = self.path("default.ppm")
        kvrn("decode", sample, decoded)
        self.assert_pixels(decoded, "the file itself")
        self.assertEqual(self.figures()["bytes"], str(os.path.getsize(sample)))
        self.assertEqual(self.figures()["psnr_rgb"], "inf")
        self.assertEqual(self.fetch("#save-kvrn"), read(sample))
        self.assertIn("quantised already, at step 8 in Y, Cr and Cb", self.message())
        # Another step quantises the decoded picture again, as kvrn sweep of the file does.
        self.apply(step=9)
        encoded, figures = self.expected_figures(decoded, (9, 9, 9), "default-9.kvrn")
        self.assertEqual(self.figures(), figures)
        self.apply(step=8)
        self.assertEqual(self.figures()["bytes"], str(os.path.getsize(sample)))

    def test_the_picture_menu_opens_each_bundled_picture(self):
        names = self.js("return [...document.getElementById('pictures').options]"
                        ".map((o) => o.value).filter((v) => v)")
        self.assertEqual(names[0], START)
        self.assertEqual(self.js("return document.getElementById('pictures').value"), START)
        for name in names:
            if name.endswith(".kvrn"):
                continue
            with self.subTest(picture=name):
                self.set_value("pictures", name)
                self.wait_rendered("8,8,8,8,yrb,quantised", name)
                encoded, figures = self.expected_figures(os.path.join(SAMPLES, name), (8, 8, 8),
                                                         f"menu-{name}.kvrn")
                self.assertEqual(self.figures(), figures)
        # The chart at step 1: coefficients too large for a byte are clipped, and the figures
        # say how many, as kvrn encode does.
        self.set_value("pictures", "test-chart.png")
        self.wait_rendered("8,8,8,8,yrb,quantised", "test-chart.png")
        self.apply(step=1)
        _, figures = self.expected_figures(os.path.join(SAMPLES, "test-chart.png"), (1, 1, 1),
                                           "chart-1.kvrn")
        self.assertNotEqual(figures["clipped"], "0")
        self.assertEqual(self.figures(), figures)
        self.open(self.dune_png)
        self.assertEqual(self.js("return document.getElementById('pictures').value"), "")

    def test_views_of_a_kvrn_file_are_what_kvrn_writes(self):
        self.open(self.dune_kvrn)
        self.assertEqual(self.attribute("#picture", "data-rendered"), "6,6,6,6,yrb,quantised",
                         "a KVRN file opens at its own scales")
        q = self.path("dune-3-20-60.kvrn")
        kvrn("encode", "--scales", "3,20,60", self.dune_png, q)
        cases = [
            # (settings, the kvrn command that writes the expected picture to @)
            (dict(step=13), ["preview", "--step", "13", self.dune_kvrn, "@"]),
            (dict(step=41, channels="yb", view="viewer"),
             ["preview", "--step", "41", "--channels", "yb", self.dune_kvrn, "@"]),
            (dict(step=7, channels="r", view="viewer"),
             ["preview", "--step", "7", "--channels", "r", self.dune_kvrn, "@"]),
            (dict(step=300, view="viewer"), ["preview", "--step", "300", self.dune_kvrn, "@"]),
            (dict(scales=(3, 20, 60)), ["decode", q, "@"]),
            (dict(scales=(3, 20, 60), view="error"), ["diff", "--no-legend", self.dune_png, q, "@"]),
            (dict(scales=(3, 20, 60), view="bytes"), ["blocks", "--scale", "auto", "--no-legend", q,
                                                      "@"]),
            (dict(scales=(3, 20, 60), view="original"), ["decode", self.dune_kvrn, "@"]),
            (dict(scales=(3, 20, 60), channels="yb"), ["decode", "--channels", "yb", q, "@"]),
            (dict(scales=(3, 20, 60), channels="r"), ["decode", "--channels", "r", q, "@"]),
        ]
        for number, (settings, command) in enumerate(cases):
            with self.subTest(settings=settings):
                if settings.get("view", "quantised") == "quantised" and "scales" not in settings:
                    # The quantised view at a linked step is the picture encoded at that step.
                    step = settings["step"]
                    encoded = self.path(f"dune-{step}.kvrn")
                    kvrn("encode", "--scales", f"{step},{step},{step}", self.dune_png, encoded)
                    command = ["decode", encoded, "@"]
                expected = self.path(f"expected-{number}.png")
                kvrn(*[expected if a == "@" else a for a in command])
                key = self.apply(**settings)
                self.assert_pixels(expected, f"{key} against kvrn {' '.join(command)}")

    def test_error_legend_says_the_figure_the_tools_map_says(self):
        """The legend under the error view gives the difference shown at full brightness, as
        kvrn diff's map says it in its Description, at gains where rounding decides it."""
        self.open(self.dune_kvrn)
        for gain in (1, 3, 7, 8, 13, 254, 255):
            with self.subTest(gain=gain):
                self.set_value("view", "error")
                self.set_value("gain", gain)
                expected = self.path(f"gain-{gain}.png")
                kvrn("diff", "--gain", str(gain), self.dune_png, self.dune_kvrn, expected)
                with Image.open(expected) as drawn:
                    description = drawn.info["Description"]
                words = description[description.index("pale yellow"):]
                self.until(lambda: f"times {gain}," in self.js(
                    "return document.getElementById('legend').textContent"), f"gain {gain}")
                legend = self.js("return document.getElementById('legend').textContent")
                self.assertEqual(legend[legend.index("pale yellow"):], words + ".")

    def colour_bar(self):
        """The page's colour bar: its figures, its caption and whether it shows."""
        return (self.attribute("#colour-bar", "data-figures"),
                self.js("return document.getElementById('colour-bar-caption').textContent"),
                self.attribute("#colour-bar", "hidden") is None)

    def test_colour_bars_give_the_tools_figures_ramp_and_range(self):
        """The bar under the error and bytes views holds the figures and caption of the bar
        kvrn diff and kvrn blocks draw (their PNG's "Colour bar" text), and its ramp their
        colours; the bytes view on the file's own range is kvrn blocks --scale auto's map."""
        self.open(self.dune_png)
        q = self.path("dune-24.kvrn")
        kvrn("encode", "--scales", "24,24,24", self.dune_png, q)
        cases = [
            # (the view, the gain or the bytes view's scale, kvrn's map with its bar to @)
            ("error", 8, ["diff", self.dune_png, q, "@"]),
            ("error", 7, ["diff", "--gain", "7", self.dune_png, q, "@"]),
            ("bytes", "fixed", ["blocks", q, "@"]),
            ("bytes", "auto", ["blocks", "--scale", "auto", q, "@"]),
        ]
        for view, setting, command in cases:
            with self.subTest(view=view, setting=setting):
                self.set_value("gain" if view == "error" else "bytes-scale", setting)
                key = self.apply(step=24, view=view)
                expected_for = f"{key}:{f'gain {setting}' if view == 'error' else setting}"
                self.until(lambda: self.attribute("#colour-bar", "data-for") == expected_for,
                           f"the bar of {expected_for}")
                expected = self.path(f"bar-{view}-{setting}.png")
                kvrn(*[expected if a == "@" else a for a in command])
                with Image.open(expected) as drawn:
                    figures, caption = drawn.info["Colour bar"].split(": ", 1)
                self.assertEqual(self.colour_bar(), (figures, caption, True))
                kvrn(*[expected if a == "@" else a for a in command[:1] + ["--no-legend"] +
                       command[1:]])
                self.assert_pixels(expected, f"{key} against kvrn {' '.join(command)}")
        self.assertNotEqual(figures.split()[-1], "195", "the file's range is the fixed one")
        # A link holds the bytes view's scale.
        self.until(lambda: "view=bytes&bytes-scale=auto" in self.js("return location.hash"),
                   "the scale in the link")
        self.js("location.hash = location.hash.replace('bytes-scale=auto', 'bytes-scale=fixed')")
        self.until(lambda: self.attribute("#colour-bar", "data-for") == f"{key}:fixed",
                   "the fixed scale a link asks for")
        self.assertEqual(self.js("return document.getElementById('bytes-scale').value"), "fixed")

        # The ramp: kvrn diff's map at gain 1 of a difference of i at pixel i is its colour i.
        Image.new("RGB", (256, 1)).save(self.path("black.png"))
        Image.frombytes("RGB", (256, 1), bytes(v for i in range(256) for v in (i, 0, 0))).save(
            self.path("rising.png"))
        kvrn("diff", "--gain", "1", "--no-legend", self.path("black.png"), self.path("rising.png"),
             self.path("ramp.png"))
        ramp = self.js("return Array.from(document.getElementById('colour-bar-ramp')"
                       ".getContext('2d').getImageData(0, 0, 256, 1).data)"
                       ".filter((_, i) => i % 4 !== 3)")
        self.assertEqual(bytes(ramp), rgb_of(self.path("ramp.png"))[0])

        # Hidden where no map shows; over the picture, inside the window, in presentation mode.
        for view in ("quantised", "split"):
            self.apply(step=24, view=view)
            self.assertFalse(self.colour_bar()[2], view)
        self.apply(step=24, view="bytes")
        self.driver.find_element(By.TAG_NAME, "body").send_keys("p")
        self.until(lambda: "presenting" in self.attribute("body", "class"), "presentation mode")
        rect = "const r = document.getElementById(arguments[0]).getBoundingClientRect();" \
               "return [r.left, r.top, r.right, r.bottom, innerWidth, innerHeight];"
        bar = self.js(rect, "colour-bar")
        self.assertTrue(0 <= bar[0] < bar[2] <= bar[4] and 0 <= bar[1] < bar[3] <= bar[5], bar)
        viewport = self.js(rect, "viewport")
        self.assertEqual(viewport[:4], [0, 0, viewport[4], viewport[5]], "the picture fills it")
        self.assertEqual(self.axe(), [])

    def test_split_view_shows_the_original_left_of_the_divider(self):
        self.open(self.dune_png)
        self.apply(scales=(30, 30, 30), view="split")
        shown, (width, height) = self.canvas_rgb()
        original, _ = rgb_of(self.dune_png)
        q = self.path("dune-30.kvrn")
        kvrn("encode", "--scales", "30,30,30", self.dune_png, q)
        kvrn("decode", q, self.path("dune-30.png"))
        quantised, _ = rgb_of(self.path("dune-30.png"))
        cut = round(width / 2)
        for row in (0, height // 2, height - 1):
            at = 3 * row * width
            self.assertEqual(shown[at:at + 3 * cut], original[at:at + 3 * cut])
            self.assertEqual(shown[at + 3 * cut:at + 3 * width],
                             quantised[at + 3 * cut:at + 3 * width])

    def side_figures(self, name):
        return {figure: self.attribute(f'#{name}-figures [data-side-figure="{figure}"]',
                                       "data-value")
                for figure in ("bytes", "bits_per_pixel", "psnr_rgb", "psnr_y", "ssim_y")}

    def test_the_split_view_compares_two_settings_each_with_its_figures(self):
        self.open(self.dune_png)
        self.apply(scales=(30, 30, 30), view="split")
        sweep = {}
        for line in kvrn("sweep", "--tables", "--steps", "8", "--qualities", "50",
                         self.dune_png).splitlines():
            codec, setting, *figures = line.split(",")
            if codec == "kvrn-tables":
                sweep[int(setting)] = dict(zip(("bytes", "bits_per_pixel", "psnr_rgb", "psnr_y",
                                                "ssim_y"), figures))
        cases = [
            # the left side's and the right side's settings: (controls, scales or quality)
            ((dict(kind="scales", y=3, cr=20, cb=60), (3, 20, 60)),
             (dict(kind="scales", step=12), (12, 12, 12))),
            ((dict(kind="current"), (30, 30, 30)), (dict(kind="table", quality=50), 50)),
            ((dict(kind="original"), None), (dict(kind="scales", step=5), (5, 5, 5))),
        ]
        width = 403
        cut = round(width / 2)
        original, _ = rgb_of(self.dune_png)
        for sides in cases:
            with self.subTest(sides=sides):
                keys = []
                for name, (controls, _) in zip(("left", "right"), sides):
                    for control, value in controls.items():
                        self.set_value(f"{name}-{control}", value)
                    kind = controls["kind"]
                    if kind == "scales":
                        y, cr, cb = sides[0 if name == "left" else 1][1]
                        keys.append(json.dumps({"kind": "scales", "y": y, "cr": cr, "cb": cb},
                                               separators=(",", ":")))
                    elif kind == "table":
                        keys.append(json.dumps({"kind": "table", "quality": controls["quality"]},
                                               separators=(",", ":")))
                    else:
                        keys.append(kind)
                self.until(lambda: self.attribute("#picture", "data-sides") == "|".join(keys) and
                           self.attribute("#left-figures", "data-for") == keys[0] and
                           self.attribute("#right-figures", "data-for") == keys[1],
                           f"the sides {keys}")
                shown, _ = self.canvas_rgb()
                for name, (controls, setting) in zip(("left", "right"), sides):
                    columns = range(0, cut) if name == "left" else range(cut, width)
                    if setting is None:
                        expected = original
                        figures = {f: None for f in self.side_figures(name)}
                    elif isinstance(setting, int):
                        expected = None  # a table's picture: its figures are held to kvrn sweep
                        figures = sweep[setting]
                    else:
                        encoded, figures = self.expected_figures(
                            self.dune_png, setting, f"side-{'-'.join(map(str, setting))}.kvrn")
                        del figures["clipped"]
                        kvrn("decode", encoded, self.path("side.png"))
                        expected, _ = rgb_of(self.path("side.png"))
                    self.assertEqual(self.side_figures(name), figures, name)
                    if expected is not None:
                        for row in (0, 125, 250):
                            a = 3 * (row * width + columns[0])
                            b = 3 * (row * width + columns[-1] + 1)
                            self.assertEqual(shown[a:b], expected[a:b], f"{name}, row {row}")

    def test_figures_and_saved_files_match_kvrn_encode_and_diff(self):
        self.open(self.dune_png)
        for scales in ((1, 1, 1), (5, 9, 17), (64, 64, 64), (1000, 3, 65535)):
            with self.subTest(scales=scales):
                name = "-".join(map(str, scales))
                encoded, figures = self.expected_figures(self.dune_png, scales, f"{name}.kvrn")
                self.apply(scales=scales)
                self.assertEqual(self.figures(), figures)
                self.assertEqual(self.fetch("#save-kvrn"), read(encoded))
                if scales == (1, 1, 1):
                    self.assertNotEqual(figures["clipped"], "0", "a case with clipping")

    def test_the_pool_of_workers_gives_one_workers_pictures_files_and_figures(self):
        # Bands of block rows that do not divide evenly among the workers, more workers than block
        # rows, a top block row cut short, pictures lower than the SSIM window: each band is held
        # to what kvrn encode, decode and diff give for the whole picture, as one worker is.
        small = self.path("pool-37x20.png")
        with Image.open(self.dune_png) as dune:
            dune.crop((100, 50, 137, 70)).save(small)
        low = self.path("pool-29x10.png")
        with Image.open(self.dune_png) as dune:
            dune.crop((10, 200, 39, 210)).save(low)
        cases = [(self.dune_png, 3, 3), (self.dune_png, 5, 5), (self.dune_png, 7, 7),
                 (small, 8, 3), (low, 4, 2)]
        for path, workers, bands in cases:
            with self.subTest(picture=os.path.basename(path), workers=workers):
                self.driver.get(f"{self.url}?workers={workers}")
                self.wait_rendered("8,8,8,8,yrb,quantised", START)
                self.open(path)
                self.assertEqual(self.attribute("#picture", "data-bands"), str(bands))
                for scales, channels in (((1, 1, 1), "yrb"), ((5, 9, 17), "yrb"),
                                         ((40, 3, 200), "yb")):
                    name = f"pool-{workers}-{'-'.join(map(str, scales))}"
                    encoded, figures = self.expected_figures(path, scales, f"{name}.kvrn")
                    expected = self.path(f"{name}.png")
                    kvrn("decode", "--channels", channels, encoded, expected)
                    key = self.apply(scales=scales, channels=channels)
                    self.assert_pixels(expected, f"{key} in {bands} bands")
                    self.assertEqual(self.figures(), figures, key)
                    self.assertEqual(self.fetch("#save-kvrn"), read(encoded), key)
                # The split view puts the bands together beside the original.
                self.apply(scales=(5, 9, 17), view="split")
                shown, (width, height) = self.canvas_rgb()
                original, _ = rgb_of(path)
                quantised, _ = rgb_of(self.path(f"pool-{workers}-5-9-17.png"))
                cut = (width + 1) // 2  # Math.round of half the width
                for row in range(height):
                    at = 3 * row * width
                    self.assertEqual(shown[at:at + 3 * cut], original[at:at + 3 * cut])
                    self.assertEqual(shown[at + 3 * cut:at + 3 * width],
                                     quantised[at + 3 * cut:at + 3 * width], f"row {row}")

    def centre_pixel(self):
        return self.js("""
            const v = document.getElementById('viewport');
            const c = document.getElementById('picture');
            const zoom = c.getBoundingClientRect().width / c.width;
            return [Math.floor((v.scrollLeft + v.clientWidth / 2) / zoom),
                    Math.floor((v.scrollTop + v.clientHeight / 2) / zoom)];""")

    def fragment(self):
        return dict(field.split("=", 1) for field in
                    self.js("return location.hash").lstrip("#").split("&"))

    def test_a_link_restores_what_was_on_screen_and_follows_it(self):
        garden = os.path.join(SAMPLES, "garden-640x400.jpg")
        link = ("#picture=garden-640x400.jpg&scales=3,20,60&channels=yb&view=quantised&zoom=2"
                "&x=300&y=200&block=37,25")
        self.driver.get(self.url + link)
        self.wait_rendered("8,3,20,60,yb,quantised", "garden-640x400.jpg")
        encoded = self.path("garden-3-20-60.kvrn")
        kvrn("encode", "--scales", "3,20,60", garden, encoded)
        kvrn("decode", "--channels", "yb", encoded, self.path("garden-yb.png"))
        self.assert_pixels(self.path("garden-yb.png"), "the link's picture and settings")
        self.assertEqual(self.js("return document.getElementById('zoom-level').textContent"),
                         "200%")
        x, y = self.centre_pixel()
        self.assertLessEqual(abs(x - 300), 1)
        self.assertLessEqual(abs(y - 200), 1)
        self.until(lambda: self.inspected() == (37, 25), "the link's block inspected")
        self.until(lambda: self.attribute("#inspector", "data-report") is not None,
                   "the block's report")
        report = json.loads(self.attribute("#inspector", "data-report"))
        expected = json.loads(kvrn("inspect", "--json", "--scales", "3,20,60", garden, "37", "25"))
        del expected["file"], expected["scales"]
        self.assertEqual(self.as_kvrn_inspect_prints(report), expected)
        # The address follows the state.
        self.until(lambda: self.js("return location.hash") == link, "the link written back")
        self.apply(step=12, channels="r", view="error")
        fields = self.fragment()
        self.assertEqual((fields["picture"], fields["step"], fields["channels"], fields["view"],
                          fields["block"]), ("garden-640x400.jpg", "12", "r", "error", "37,25"))
        self.set_value("quantiser", "jpeg")
        self.set_value("quality", 75)
        self.until(lambda: self.fragment().get("table") == "jpeg:75", "the table in the address")
        # A fragment changed in the address bar sets the state on the picture open.
        self.js("location.hash = '#step=5&channels=y&view=original'")
        self.wait_rendered("5,5,5,5,y,original", "garden-640x400.jpg")
        # And one naming another picture opens it.
        self.js("location.hash = '#picture=storm-640x400.jpg&step=30&view=quantised'")
        self.wait_rendered("30,30,30,30,y,quantised", "storm-640x400.jpg")
        # The button copies the address.
        self.driver.execute_cdp_cmd("Browser.grantPermissions", {
            "origin": self.url.rstrip("/"),
            "permissions": ["clipboardReadWrite", "clipboardSanitizedWrite"]})
        self.js("document.getElementById('copy-link').click()")
        self.until(lambda: "copied" in self.message(), "the link copied")
        self.driver.set_script_timeout(WAIT)
        copied = self.driver.execute_async_script(
            "navigator.clipboard.readText().then(arguments[0], (e) => arguments[0]('' + e))")
        self.assertEqual(copied, self.js("return location.href"))
        self.assertIn("picture=storm-640x400.jpg&step=30&channels=y&view=quantised", copied)

    def style(self, selector, prop):
        return self.js("return getComputedStyle(document.querySelector(arguments[0]))"
                       ".getPropertyValue(arguments[1])", selector, prop)

    def test_presentation_mode_fills_a_projector_and_reads_large(self):
        self.emulate(1280, 800, mobile=False)
        body = self.driver.find_element(By.TAG_NAME, "body")
        body.send_keys("p")
        self.until(lambda: "presenting" in self.attribute("body", "class"), "presentation mode")
        self.until(lambda: "present=1" in self.js("return location.hash"), "the mode in the link")
        rect = self.js("const r = document.getElementById('viewport').getBoundingClientRect();"
                       "return [r.left, r.top, r.width, r.height];")
        self.assertEqual([round(v) for v in rect], [0, 0, 1280, 800])
        # The 1024 x 768 picture enlarged until it meets the window's bottom.
        self.until(lambda: abs(self.js("return document.getElementById('picture')"
                                       ".getBoundingClientRect().height") - 798) <= 1,
                   "the picture enlarged to the window")
        figures = self.figures()
        for name, text in (("step", "step 8"), ("bytes", f"{figures['bytes']} bytes"),
                           ("psnr_rgb", f"PSNR {figures['psnr_rgb']} dB")):
            with self.subTest(readout=name):
                selector = f'[data-readout="{name}"]'
                self.assertEqual(self.js("return document.querySelector(arguments[0])"
                                         ".textContent", selector), text)
                self.assertGreaterEqual(self.js(
                    "return document.querySelector(arguments[0]).getBoundingClientRect().height",
                    selector), 32)
        # A presenter's clicker: Page Up and Page Down wherever the focus is.
        body.send_keys(Keys.PAGE_UP)
        self.wait_rendered("10,10,10,10,yrb,quantised")
        self.assertEqual(self.js("return document.querySelector('[data-readout=step]')"
                                 ".textContent"), "step 10")
        body.send_keys(Keys.PAGE_DOWN)
        self.wait_rendered("8,8,8,8,yrb,quantised")
        # The inspector at three times its size, removed coefficients marked boldly.
        self.js("location.hash = location.hash + '&block=60,40'")
        self.until(lambda: self.inspected() == (60, 40), "a block inspected")
        self.assertGreaterEqual(float(self.style("table.block td", "font-size")[:-2]), 3 * 10.88)
        self.assertGreaterEqual(self.js("return document.querySelector('.basis canvas')"
                                        ".getBoundingClientRect().width"), 3 * 22)
        self.assertEqual(self.style("table.block td.removed", "text-decoration-line"),
                         "line-through")
        self.assertEqual(self.style("table.block td.removed", "background-color"),
                         "rgb(139, 0, 0)")
        self.assertEqual(self.axe(), [])
        # A link keeps the mode; p leaves it.
        self.driver.get(self.url + "#present")
        self.wait_rendered("8,8,8,8,yrb,quantised", START)
        self.assertIn("presenting", self.attribute("body", "class"))
        # The split view's sides are put away as well: the picture keeps the whole window.
        self.js("location.hash = '#view=split&present=1'")
        self.wait_rendered("8,8,8,8,yrb,split")
        self.assertEqual([round(v) for v in self.js(
            "const r = document.getElementById('viewport').getBoundingClientRect();"
            "return [r.left, r.top, r.width, r.height];")], [0, 0, 1280, 800])
        self.driver.find_element(By.TAG_NAME, "body").send_keys("p")
        self.until(lambda: "presenting" not in self.attribute("body", "class"), "the mode left")
        self.assertIsNotNone(self.attribute("#readout", "hidden"))

    def test_each_lesson_sets_the_lab_up_and_shows_the_figure_after_a_prediction(self):
        self.js("document.querySelector('#lessons summary').click()")
        lessons = self.js("return [...document.querySelectorAll('[data-lesson]')]"
                          ".map((e) => e.dataset.lesson)")
        self.assertGreaterEqual(len(lessons), 6)
        chart = os.path.join(SAMPLES, "test-chart.png")
        expected = {
            # lesson: (the key rendered, the picture, the tool's settings for its figure)
            "blocks": ("64,64,64,64,yrb,quantised", START, (64, 64, 64)),
            "channels": (None, START, (8, 64, 64)),
            "ringing": ("32,32,32,32,yrb,error", "test-chart.png", (32, 32, 32)),
            "basis": ("16,16,16,16,yrb,quantised", "test-chart.png", (16, 16, 16)),
            "clipping": ("1,1,1,1,yrb,error", "test-chart.png", (1, 1, 1)),
            "floor": ("255,255,255,255,yrb,quantised", "test-chart.png", (255, 255, 255)),
        }
        predictions = {}
        for number, lesson in enumerate(lessons):
            with self.subTest(lesson=lesson):
                item = f'[data-lesson="{lesson}"]'
                self.js(f"document.querySelector('{item} .lesson-start').click()")
                prediction = str(100 + number)
                self.js(f"const i = document.querySelector('{item} .lesson-prediction');"
                        "i.value = arguments[0];", prediction)
                self.js(f"document.querySelector('{item} .lesson-show').click()")
                self.until(lambda: self.attribute(f"{item} .lesson-answer", "data-figure")
                           is not None, f"the figure of {lesson}")
                shown = self.attribute(f"{item} .lesson-answer", "data-figure")
                if lesson in expected:
                    key, picture, scales = expected[lesson]
                    if key is not None:
                        self.assertEqual(self.attribute("#picture", "data-rendered"), key)
                    self.assertEqual(self.attribute("#picture", "data-picture"), picture)
                    path = START_PATH if picture == START else chart
                    _, figures = self.expected_figures(path, scales, f"lesson-{lesson}.kvrn")
                    name = {"blocks": "bytes", "channels": "psnr_rgb", "ringing": "psnr_rgb",
                            "basis": "bits_per_pixel", "clipping": "clipped",
                            "floor": "bits_per_pixel"}[lesson]
                    self.assertEqual(shown, figures[name])
                predictions[lesson] = (prediction, shown)
                self.assertIn(f"You predicted {prediction}; the lab measures {shown}.",
                              self.js(f"return document.querySelector('{item} .lesson-answer')"
                                      ".textContent"))
        self.assertNotEqual(predictions["clipping"][1], "0")
        self.assertGreaterEqual(float(predictions["floor"][1]), 1.125)
        rows = self.js("return [...document.querySelectorAll('#lesson-summary tr')]"
                       ".map((r) => [...r.cells].map((c) => c.textContent))")
        self.assertEqual([row[2:] for row in rows], [list(predictions[l]) for l in lessons])
        # Printed: the summary alone.
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": "print"})
        self.addCleanup(self.driver.execute_cdp_cmd, "Emulation.setEmulatedMedia", {"media": ""})
        self.assertEqual(self.style("#lesson-list", "display"), "none")
        self.assertEqual(self.style("main", "display"), "none")
        self.assertNotEqual(self.style("#lesson-summary-table", "display"), "none")

    def test_a_picture_smaller_than_a_block_and_the_ssim_window(self):
        picture = Image.new("RGB", (5, 3))
        picture.putdata([(40 * x, 80 * y, 200) for y in range(3) for x in range(5)])
        path = self.path("tiny.png")
        picture.save(path)
        encoded, figures = self.expected_figures(path, (2, 2, 2), "tiny.kvrn")
        self.assertEqual(figures["ssim_y"], "nan")
        self.open(path)
        self.apply(scales=(2, 2, 2))
        self.assertEqual(self.figures(), figures)
        kvrn("decode", encoded, self.path("tiny-decoded.png"))
        self.assert_pixels(self.path("tiny-decoded.png"), "a 5 x 3 picture at step 2")
        kvrn("preview", "--step", "2", encoded, self.path("tiny-preview.png"))
        self.apply(scales=(2, 2, 2), view="viewer")
        self.assert_pixels(self.path("tiny-preview.png"), "the viewer: nothing but white")

    def test_a_picture_with_alpha_encodes_to_kvrn_encodes_bytes(self):
        picture = Image.new("RGBA", (37, 21))
        picture.putdata([((x * 7) % 256, (y * 11) % 256, (x * y) % 256, (x * 40 + y * 3) % 256)
                         for y in range(21) for x in range(37)])
        path = self.path("alpha.png")
        picture.save(path)
        encoded = self.path("alpha.kvrn")
        kvrn("encode", "--scales", "2,3,4", path, encoded)
        self.open(path)
        self.apply(scales=(2, 3, 4))
        self.assertEqual(self.fetch("#save-kvrn"), read(encoded))

    def test_a_jpeg_is_turned_upright_as_kvrn_encode_turns_it(self):
        picture = Image.new("RGB", (48, 30))
        picture.putdata([(x * 5, y * 8, 255 - x * 3) for y in range(30) for x in range(48)])
        path = self.path("turned.jpg")
        exif = Image.Exif()
        exif[0x0112] = 6  # the picture is to be turned a quarter clockwise
        picture.save(path, quality=95, subsampling=0, exif=exif.tobytes())
        encoded = self.path("turned.kvrn")
        kvrn("encode", "--scales", "1,2,3", path, encoded)
        self.open(path)
        self.assertEqual(self.js("const c = document.getElementById('picture');"
                                 "return [c.width, c.height];"), [30, 48])
        self.apply(scales=(1, 2, 3))
        self.assertEqual(self.fetch("#save-kvrn"), read(encoded))

    def test_a_dropped_file_opens_and_zoom_keeps_one_canvas_pixel_per_picture_pixel(self):
        self.driver.set_script_timeout(WAIT)
        self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            fetch('default.kvrn').then((r) => r.arrayBuffer()).then((bytes) => {
                const transfer = new DataTransfer();
                transfer.items.add(new File([bytes], 'dropped.kvrn'));
                const viewport = document.getElementById('viewport');
                viewport.dispatchEvent(new DragEvent('dragover', {dataTransfer: transfer,
                                                                  cancelable: true}));
                viewport.dispatchEvent(new DragEvent('drop', {dataTransfer: transfer,
                                                              cancelable: true}));
                done();
            });""")
        self.until(lambda: self.attribute("#picture", "data-picture") == "dropped.kvrn",
                   "the dropped file")
        self.driver.find_element(By.ID, "zoom-one").click()
        self.driver.find_element(By.ID, "zoom-in").click()
        self.driver.find_element(By.ID, "zoom-in").click()
        size = self.js("const c = document.getElementById('picture');"
                       "const r = c.getBoundingClientRect();"
                       "return [c.width, c.height, r.width, r.height];")
        self.assertEqual(size, [1024, 768, 4096, 3072])

    def test_saved_png_is_the_picture_shown(self):
        self.open(self.dune_png)
        self.apply(scales=(20, 20, 20), view="error")
        shown, size = self.canvas_rgb()
        self.driver.find_element(By.ID, "save-png").click()
        self.until(lambda: self.attribute("#save-png", "href").startswith("blob:"),
                   "the PNG to be made")
        saved = Image.open(io.BytesIO(self.fetch("#save-png")))
        self.assertEqual(saved.size, size)
        self.assertEqual(saved.convert("RGB").tobytes(), shown)

    def test_keys_wheel_and_middle_button_work_as_in_the_viewer(self):
        self.apply(step=10)
        body = self.driver.find_element(By.TAG_NAME, "body")
        for key, channels in (("r", "yb"), ("y", "b"), ("b", ""), ("y", "y"), ("r", "yr"),
                              ("b", "yrb")):
            body.send_keys(key)
            self.wait_rendered(f"10,10,10,10,{channels},quantised")
        picture = self.driver.find_element(By.ID, "picture")
        # A notch is a press and a release of the wheel's button: the step moves by 2.
        for delta, step in ((-120, 12), (-120, 14), (120, 12), (120, 10)):
            ActionChains(self.driver).scroll_from_origin(
                webdriver.common.actions.wheel_input.ScrollOrigin.from_element(picture), 0,
                delta).perform()
            self.wait_rendered(f"{step},{step},{step},{step},yrb,quantised")
        actions = ActionBuilder(self.driver)
        actions.pointer_action.move_to(picture).pointer_down(MouseButton.MIDDLE).pointer_up(
            MouseButton.MIDDLE)
        actions.perform()
        self.wait_rendered("1,1,1,1,yrb,quantised")
        self.set_value("step", 2)
        self.wait_rendered("2,2,2,2,yrb,quantised")
        ActionChains(self.driver).scroll_from_origin(
            webdriver.common.actions.wheel_input.ScrollOrigin.from_element(picture), 0,
            120).perform()
        self.wait_rendered("1,1,1,1,yrb,quantised")

    def test_trackpad_deltas_add_up_to_notches(self):
        self.apply(step=20)
        picture = self.driver.find_element(By.ID, "picture")
        # What reaches the page, summed: Chromium may coalesce events, never change their sum.
        self.js("window.wheelSeen = {sum: 0, modes: []};"
                "document.addEventListener('wheel', (e) => {"
                "  window.wheelSeen.sum += e.deltaY; window.wheelSeen.modes.push(e.deltaMode); });")

        def scroll(delta, times):
            chain = ActionChains(self.driver)
            for _ in range(times):
                chain.scroll_from_origin(
                    webdriver.common.actions.wheel_input.ScrollOrigin.from_element(picture), 0,
                    delta)
            chain.perform()

        # 30 trackpad events of 4 pixels away from the user: 120 pixels, one notch at the most
        # (none if the machine stalls half a second between two of them), never 30.
        scroll(-4, 30)
        self.until(lambda: self.js("return window.wheelSeen.sum") == -120, "the 30 events")
        self.assertEqual(set(self.js("return window.wheelSeen.modes")), {0})
        step = int(self.js("return document.getElementById('step').value"))
        self.assertIn(step, (20, 22))
        self.wait_rendered(f"{step},{step},{step},{step},yrb,quantised")
        # A mouse's notch of 120 pixels the other way drops what was left: exactly one notch.
        scroll(120, 1)
        self.until(lambda: self.js("return window.wheelSeen.sum") == 0, "the notch")
        self.wait_rendered(f"{step - 2},{step - 2},{step - 2},{step - 2},yrb,quantised")
        self.assertEqual(self.js("return document.getElementById('step').value"), str(step - 2))
        self.assertEqual(self.js("return document.getElementById('step-slider').value"),
                         str(step - 2))

    def test_a_dragged_slider_may_skip_steps_but_ends_on_its_own(self):
        # Forty steps in one go, faster than any render: what is drawn last is the last step.
        rendered = self.js("""
            const slider = document.getElementById('step-slider');
            const canvas = document.getElementById('picture');
            window.stepsDrawn = [];
            new MutationObserver(() => window.stepsDrawn.push(canvas.dataset.rendered))
                .observe(canvas, {attributes: true, attributeFilter: ['data-rendered']});
            for (let step = 10; step < 50; ++step) {
                slider.value = String(step);
                slider.dispatchEvent(new Event('input'));
            }
            return slider.value;""")
        self.assertEqual(rendered, "49")
        self.wait_rendered("49,49,49,49,yrb,quantised")
        time.sleep(0.5)
        drawn = self.js("return window.stepsDrawn")
        self.assertEqual(drawn[-1], "49,49,49,49,yrb,quantised")
        self.assertLess(len(drawn), 40, "every step drawn: none skipped")
        sample = START_PATH
        _, figures = self.expected_figures(sample, (49, 49, 49), "default-49.kvrn")
        self.assertEqual(self.figures(), figures)

    def test_a_cut_stream_shows_what_is_there_and_says_what_is_missing(self):
        whole = self.path("dune-1.kvrn")
        kvrn("encode", "--scales", "1,1,1", self.dune_png, whole)
        cut = self.path("cut.kvrn")
        with open(whole, "rb") as f:
            data = f.read(20000)
        with open(cut, "wb") as f:
            f.write(data)
        info = kvrn("info", cut, statuses=(2,))
        position = int(info.split("block of position ")[1].split()[0])
        needed = 3 * 51 * 32
        self.open(cut)
        self.assertIn(f"{needed - 3 * position} of {needed} blocks are missing", self.message())
        self.assertIn("warning", self.attribute("#message", "class"))
        self.apply(scales=(1, 1, 1), view="original")
        kvrn("decode", cut, self.path("cut.png"), statuses=(2,))
        self.assert_pixels(self.path("cut.png"), "the cut stream decoded")

    def test_bad_files_leave_the_picture_and_settings_as_they_were(self):
        self.open(self.dune_png)
        key = self.apply(scales=(4, 5, 6), view="error")
        before = self.canvas_rgb()
        png = read(self.dune_png)
        damaged_png = bytearray(png)
        for i in range(100, len(png) - 20, 7):
            damaged_png[i] ^= 0x5A
        huge = self.path("huge.png")
        with open(huge, "wb") as f:
            # 8200 x 8200 pixels of black: 67 megapixels, a small file.
            def chunk(kind, body):
                return (struct.pack(">I", len(body)) + kind + body +
                        struct.pack(">I", zlib.crc32(kind + body)))
            rows = zlib.compress(bytes(8200 * 3 + 1) * 8200, 9)
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 8200, 8200,
                                                                       8, 2, 0, 0, 0)) +
                    chunk(b"IDAT", rows) + chunk(b"IEND", b""))
        files = [
            ("notes.txt", b"this is no picture\n", "not a picture"),
            ("empty.png", b"", "not a picture"),
            ("damaged.png", bytes(damaged_png), "not a picture"),
            ("damaged.jpg", b"\xff\xd8\xff\xdb" + bytes(range(256)) * 8, "not a picture"),
            ("huge.png", None, "64 megapixels"),
            # Headers of pictures the browser would decode, claiming more than 64 megapixels.
            ("huge.webp", b"RIFF" + struct.pack("<I", 30) + b"WEBPVP8L" + struct.pack("<I", 10) +
             b"\x2f" + struct.pack("<I", 16383 | (16383 << 14)) + bytes(5), "64 megapixels"),
            ("huge.gif", b"GIF89a" + struct.pack("<HH", 10000, 10000) + bytes(20),
             "64 megapixels"),
            ("huge.bmp", b"BM" + bytes(16) + struct.pack("<ii", 10000, -10000) + bytes(40),
             "64 megapixels"),
            ("short.kvrn", b"NRVK\x10\x00", "too short for a KVRN header"),
            ("nothing.kvrn", b"NRVK" + bytes(10), "no pixels"),
            ("wide.kvrn", b"NRVK\xff\xff\xff\xff\x01\x00\x01\x00\x01\x00", "64 megapixels"),
        ]
        for name, content, words in files:
            with self.subTest(file=name):
                path = self.path(name)
                if content is not None:
                    with open(path, "wb") as f:
                        f.write(content)
                self.js("document.getElementById('message').className = ''")
                self.open(path, expect_error=True)
                self.assertIn(name, self.message())
                self.assertIn(words, self.message())
                self.assertEqual(self.attribute("#picture", "data-picture"), "dune.png")
                self.assertEqual(self.attribute("#picture", "data-rendered"), key)
                self.assertEqual(self.canvas_rgb(), before)
        # The page still works on the picture it kept.
        self.apply(scales=(4, 5, 7), view="error")

    def click_pixel(self, x, y, width):
        """Clicks the canvas over picture pixel x, y of a picture `width` pixels wide."""
        rect = self.js("const r = document.getElementById('picture').getBoundingClientRect();"
                       "return [r.left, r.top, r.width / arguments[0]];", width)
        actions = ActionBuilder(self.driver)
        actions.pointer_action.move_to_location(int(rect[0] + (x + 0.5) * rect[2]),
                                                int(rect[1] + (y + 0.5) * rect[2]))
        actions.pointer_action.click()
        actions.perform()

    @staticmethod
    def as_kvrn_inspect_prints(report):
        """The page's report in the shape of kvrn inspect --json: 8 x 8 tables as rows, those of
        pixels top row first, those of frequencies in the report's order."""
        def rows(table, spatial):
            order = range(7, -1, -1) if spatial else range(8)
            return [table[8 * r:8 * r + 8] for r in order]

        shaped = {name: report[name] for name in ("column", "row", "first_pixel_column",
                                                  "first_pixel_row", "pixel_columns",
                                                  "pixel_rows")}
        for c, channel in enumerate(("y", "cr", "cb")):
            shaped[channel] = {
                "samples": rows(report["samples"][c], True),
                "coefficients": rows(report["coefficients"][c], False),
                "quantised": rows(report["quantised"][c], False),
                "stored": report["stored"][c],
                "stored_count": report["stored_count"][c],
                "coded_bytes": report["coded_bytes"][c],
                "clipped": report["clipped"][c],
                "reconstruction": rows(report["reconstruction"][c], True),
                "error": rows(report["error"][c], True),
            }
        for name in ("rgb", "decoded_rgb"):
            shaped[name] = {colour: rows(report[name][c], True)
                            for c, colour in enumerate(("red", "green", "blue"))}
        return shaped

    def test_inspector_shows_what_kvrn_inspect_prints(self):
        self.open(self.dune_png)
        self.apply(scales=(3, 20, 60))
        # Blocks are laid from the bottom-left: of the 403 x 251 picture, the top block row has
        # 251 % 8 = 3 rows and the right block column 403 % 8 = 3 columns.
        for column, row, x, y in ((10, 5, 84, 39), (50, 0, 401, 1), (0, 31, 0, 250)):
            with self.subTest(block=(column, row)):
                self.click_pixel(x, y, 403)
                self.until(lambda: self.attribute("#inspector", "data-block") ==
                           f"{column},{row}", f"the report of block {column}, {row}")
                report = json.loads(self.attribute("#inspector", "data-report"))
                expected = json.loads(kvrn("inspect", "--json", "--scales", "3,20,60",
                                           self.dune_png, str(column), str(row)))
                del expected["file"]
                self.assertEqual(expected.pop("scales"), {"y": 3, "cr": 20, "cb": 60})
                self.assertEqual(self.as_kvrn_inspect_prints(report), expected)
                self.assertFalse(self.js(
                    "return document.getElementById('block-outline').hidden"))
        tables = self.driver.find_elements(By.CSS_SELECTOR, "#inspector .channel")
        self.assertEqual([t.get_attribute("data-channel") for t in tables], ["Y", "Cr", "Cb"])

    def wait_tables(self, label, view):
        key = ",".join([self.js("return document.getElementById('step').value"),
                        self.js("return document.getElementById('scale-y').value"),
                        self.js("return document.getElementById('scale-cr').value"),
                        self.js("return document.getElementById('scale-cb').value"), "yrb", view])
        name = self.attribute("#picture", "data-picture")
        self.until(lambda: self.attribute("#picture", "data-rendered") == key and
                   self.attribute("#picture", "data-quantiser") == label and
                   self.attribute("#figures", "data-for") == f"{name}:{label}",
                   f"the render by tables {label[:20]}")

    def test_uniform_tables_give_the_kvrn_file_of_that_scale(self):
        self.open(self.dune_png)
        self.set_value("quantiser", "custom")
        self.js("""for (const prefix of ['table-luma', 'table-chroma'])
                       for (let i = 0; i < 64; ++i) {
                           const e = document.getElementById(`${prefix}-${i}`);
                           e.value = '12';
                           e.dispatchEvent(new Event('input'));
                       }""")
        label = "custom:" + ".".join(["12"] * 64) + "/" + ".".join(["12"] * 64)
        encoded, figures = self.expected_figures(self.dune_png, (12, 12, 12), "dune-12.kvrn")
        cases = [("quantised", ["decode", encoded, "@"]),
                 ("error", ["diff", "--no-legend", self.dune_png, encoded, "@"]),
                 ("bytes", ["blocks", "--scale", "auto", "--no-legend", encoded, "@"])]
        for view, command in cases:
            with self.subTest(view=view):
                self.set_value("view", view)
                self.wait_tables(label, view)
                expected = self.path(f"tables-{view}.png")
                kvrn(*[expected if a == "@" else a for a in command])
                self.assert_pixels(expected, f"uniform tables of 12, {view}")
                self.assertEqual(self.figures(), figures)
                self.assertIsNone(self.attribute("#save-kvrn", "href"))
                self.assertEqual(self.attribute("#save-kvrn", "aria-disabled"), "true")

    def test_jpeg_tables_are_scaled_as_libjpeg_scales_them_and_counted_as_kvrn_sweep_does(self):
        sweep = {}
        for line in kvrn("sweep", "--tables", "--steps", "8", "--qualities", "50,75,10,100",
                         self.dune_png).splitlines():
            codec, setting, *figures = line.split(",")
            if codec == "kvrn-tables":
                sweep[int(setting)] = dict(zip(("bytes", "bits_per_pixel", "psnr_rgb", "psnr_y",
                                                "ssim_y"), figures))
        self.open(self.dune_png)
        self.set_value("quantiser", "jpeg")
        # Entries 0 and 63 of the luma and chroma tables at each quality.
        for quality, luma, chroma in ((50, (16, 99), (17, 99)), (75, (8, 50), (9, 50)),
                                      (10, (80, 255), (85, 255)), (100, (1, 1), (1, 1))):
            with self.subTest(quality=quality):
                self.set_value("quality", quality)
                self.wait_tables(f"jpeg:{quality}", "quantised")
                for prefix, (first, last) in (("table-luma", luma), ("table-chroma", chroma)):
                    self.assertEqual(
                        self.js(f"return [document.getElementById('{prefix}-0').value,"
                                f"document.getElementById('{prefix}-63').value]"),
                        [str(first), str(last)])
                shown = self.figures()
                del shown["clipped"]
                self.assertEqual(shown, sweep[quality])
                self.assertEqual(self.attribute("#save-kvrn", "aria-disabled"), "true")
        # Back to the scales: the file can be saved again.
        self.set_value("quantiser", "scales")
        self.wait_rendered(self.attribute("#picture", "data-rendered"))
        self.until(lambda: self.attribute("#save-kvrn", "href") is not None, "a file to save")

    SCALE_BOXES = ("step-slider", "step-down", "step-up", "step", "link-scales", "scale-y",
                   "scale-cr", "scale-cb")

    def scales_state(self):
        """Whether each of the step's and scales' boxes is disabled, their values, and whether
        the reason they are unused is shown."""
        return self.js("""const boxes = arguments[0].map((id) => document.getElementById(id));
                          return [boxes.map((e) => e.disabled),
                                  boxes.filter((e) => e.type === 'number').map((e) => e.value),
                                  !document.getElementById('scales-unused').hidden];""",
                       list(self.SCALE_BOXES))

    def wait_report(self, block, quantiser):
        self.until(lambda: self.attribute("#inspector", "data-block") == block and
                   self.attribute("#inspector", "data-quantiser") == quantiser,
                   f"the report of block {block} by {quantiser}")
        report = json.loads(self.attribute("#inspector", "data-report"))
        headings = self.js("return [...document.querySelectorAll('#inspector h3')]"
                           ".map((e) => e.textContent)")
        return report, headings

    def test_table_mode_names_its_tables_sets_the_scales_aside_and_inspects_by_them(self):
        self.open(self.dune_png)
        self.apply(scales=(3, 20, 60))
        disabled, values, unused_shown = self.scales_state()
        self.assertEqual((disabled, values[1:], unused_shown),
                         ([False] * 8, ["3", "20", "60"], False))
        self.click_pixel(84, 39, 403)
        self.wait_report("10,5", "scales")
        legend = lambda: self.js("return document.getElementById('legend').textContent")
        self.assertIn("at these scales", legend())
        # Table mode: the block shown is quantised again, by the tables, as kvrn inspect does.
        self.set_value("quantiser", "jpeg")
        self.set_value("quality", 30)
        self.wait_tables("jpeg:30", "quantised")
        self.assertIn("JPEG's tables at quality 30", legend())
        self.assertNotIn("scales", legend())
        self.assertEqual(self.scales_state(), [[True] * 8, values, True])
        labels = lambda: self.js("""return [document.getElementById('view-quantised').textContent,
                                            document.getElementById('bytes-label').textContent]""")
        self.assertEqual(labels(), ["quantised (by these tables)", "block coding"])
        self.assertIn("every coefficient's divisor", self.js(
            "return document.getElementById('scales-unused').textContent"))
        report, headings = self.wait_report("10,5", "jpeg:30")
        expected = json.loads(kvrn("inspect", "--json", "--table", "jpeg:30", self.dune_png,
                                   "10", "5"))
        self.assertEqual(expected.pop("table"), "jpeg:30")
        del expected["file"]
        for channel in ("y", "cr", "cb"):
            del expected[channel]["divisors"]
        self.assertEqual(self.as_kvrn_inspect_prints(report), expected)
        # Counts take their noun in the number they need: "1 stored value", "2 stored values".
        for c, heading in enumerate(headings):
            count = report["stored_count"][c]
            self.assertIn(f"{count} stored value{'' if count == 1 else 's'},", heading)
            self.assertTrue(heading.startswith(("Y", "Cr", "Cb")[c] +
                                               " by JPEG's tables at quality 30: "), heading)
        self.set_value("quantiser", "custom")
        self.until(lambda: "your own tables" in legend(), "the legend naming one's own tables")
        # Back to the scales: the boxes as they were, and the block by the scales again.
        self.set_value("quantiser", "scales")
        self.until(lambda: "at these scales" in legend(), "the legend of the scales")
        self.assertEqual(self.scales_state(), [[False] * 8, values, False])
        self.assertEqual(labels(), ["quantised (the KVRN file of these scales)", "KVRN file"])
        report, headings = self.wait_report("10,5", "scales")
        self.assertTrue(headings[0].startswith("Y at scale 3: "), headings[0])

    # --- the target size -----------------------------------------------------------------------

    def find_target(self, amount, unit):
        self.set_value("target-unit", unit)
        self.set_value("target-size", amount)
        self.js("document.getElementById('target-result').removeAttribute('data-found')")
        self.driver.find_element(By.ID, "target-find").click()
        self.until(lambda: self.attribute("#target-result", "data-found") is not None,
                   f"the setting for at most {amount} {unit}")
        return self.attribute("#target-result", "data-found")

    def test_a_target_size_finds_what_an_exhaustive_search_of_the_settings_finds(self):
        self.open(self.dune_png)
        # Every step's file up to 160, beyond the answers of the limits below: the smallest
        # step that fits is the first of them that does.
        sizes = {}
        for step in range(1, 161):
            sizes[step] = len(subprocess.run([KVRN, "encode", "--step", str(step), self.dune_png,
                                              "-"], capture_output=True, check=True).stdout)
        pixels = 403 * 251
        cases = [(sizes[3], "bytes"), (sizes[10] - 1, "bytes"), (sizes[47] + 1, "bytes"),
                 (sizes[150], "bytes"), (2, "bpp"), (1.6, "bpp")]
        for amount, unit in cases:
            with self.subTest(amount=amount, unit=unit):
                limit = amount if unit == "bytes" else int(amount * pixels / 8)
                step = next(s for s in sorted(sizes) if sizes[s] <= limit)
                self.assertEqual(self.find_target(amount, unit), f"step:{step}")
                self.wait_rendered(f"{step},{step},{step},{step},yrb,quantised")
                self.assertEqual(self.figures()["bytes"], str(sizes[step]))
                self.assertEqual(len(self.fetch("#save-kvrn")), sizes[step])
        with self.subTest("below the floor"):
            smallest = len(subprocess.run([KVRN, "encode", "--step", "65535", self.dune_png, "-"],
                                          capture_output=True, check=True).stdout)
            self.assertEqual(self.find_target(smallest - 1, "bytes"), "")
            text = self.js("return document.getElementById('target-result').textContent")
            self.assertIn("cannot be reached", text)
            self.assertIn("1.125 bits per pixel", text)
            self.assertIn(f"is {smallest} bytes", text)
        # With JPEG's tables: the highest quality whose bytes (as kvrn sweep counts them) fit.
        by_quality = {}
        for line in kvrn("sweep", "--tables", "--steps", "8", "--qualities",
                         ",".join(map(str, range(1, 101))), self.dune_png).splitlines():
            codec, setting, size, *_ = line.split(",")
            if codec == "kvrn-tables":
                by_quality[int(setting)] = int(size)
        self.set_value("quantiser", "jpeg")
        for limit in (by_quality[60], by_quality[85] - 1, by_quality[20] + 1):
            with self.subTest(limit=limit, quantiser="jpeg"):
                quality = max(q for q in by_quality if by_quality[q] <= limit)
                self.assertEqual(self.find_target(limit, "bytes"), f"quality:{quality}")
                self.wait_tables(f"jpeg:{quality}", "quantised")
                self.assertEqual(self.figures()["bytes"], str(by_quality[quality]))

    # --- offline ---------------------------------------------------------------------------------

    def visit_until_cached(self, url):
        """Opens the page at `url` and waits for its service worker to hold the build."""
        self.driver.get(url)
        self.wait_rendered("8,8,8,8,yrb,quantised", START)
        self.driver.set_script_timeout(WAIT)
        return self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            navigator.serviceWorker.ready.then(() => caches.keys()).then(done);""")

    def test_once_visited_the_page_works_with_the_server_stopped(self):
        # A server of its own, stopped halfway; the page's origin is its port.
        server = serve(WEB_DIR)
        url = f"http://127.0.0.1:{server.server_address[1]}/"
        with open(os.path.join(WEB_DIR, "service_worker.js")) as f:
            build = f.read().split('const BUILD = "')[1].split('"')[0]
        self.assertEqual(self.visit_until_cached(url), [f"kvrn-lab-{build}"])
        manifest = self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            fetch(document.querySelector('link[rel=manifest]').href).then((r) => r.json())
                .then(done);""")
        self.assertEqual({icon["sizes"] for icon in manifest["icons"]}, {"192x192", "512x512"})
        self.assertEqual((manifest["start_url"], manifest["display"]), ("./", "standalone"))
        server.shutdown()
        server.server_close()
        self.driver.get(url)
        self.wait_rendered("8,8,8,8,yrb,quantised", START)
        self.open(self.dune_png)
        self.apply(step=23)
        encoded = self.path("offline-23.kvrn")
        kvrn("encode", "--step", "23", self.dune_png, encoded)
        self.assertEqual(self.fetch("#save-kvrn"), read(encoded))
        self.assertFalse(self.js("return typeof SharedArrayBuffer !== 'undefined' && "
                                 "crossOriginIsolated"))

    def test_a_new_build_replaces_the_cache_on_the_next_visit(self):
        folder = os.path.join(tempfile.mkdtemp(prefix="kvrn-web-build-"), "web")
        shutil.copytree(WEB_DIR, folder)
        server = serve(folder)
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        url = f"http://127.0.0.1:{server.server_address[1]}/"
        old = self.visit_until_cached(url)
        # What scripts/web makes of a changed page: the page itself, and the worker with a new
        # build name.
        worker = os.path.join(folder, "service_worker.js")
        with open(worker) as f:
            text = f.read()
        build = text.split('const BUILD = "')[1].split('"')[0]
        with open(worker, "w") as f:
            f.write(text.replace(build, "a-new-build"))
        page = os.path.join(folder, "index.html")
        with open(page) as f:
            html = f.read()
        with open(page, "w") as f:
            f.write(html.replace("<h1>KVRN quantisation lab</h1>",
                                 "<h1>KVRN quantisation lab</h1><p id=new-build></p>"))
        self.assertNotEqual(old, ["kvrn-lab-a-new-build"])
        self.driver.get(url)
        self.until(lambda: self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            caches.keys().then((keys) => done(keys.join()));""") == "kvrn-lab-a-new-build",
                   "the new build's cache alone")
        self.driver.get(url)
        self.until(lambda: self.js("return document.getElementById('new-build') !== null"),
                   "the new page")

    # --- phones and tablets ---------------------------------------------------------------------

    def emulate(self, width, height, mobile=True):
        """The window as a phone or tablet of `width` x `height` CSS pixels, through Chromium's
        device emulation (touch included); undone by cleanups."""
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 2 if mobile else 1,
            "mobile": mobile})
        self.driver.execute_cdp_cmd("Emulation.setTouchEmulationEnabled",
                                    {"enabled": mobile, "maxTouchPoints": 5})
        self.addCleanup(self.driver.execute_cdp_cmd, "Emulation.setTouchEmulationEnabled",
                        {"enabled": False})
        self.addCleanup(self.driver.execute_cdp_cmd, "Emulation.clearDeviceMetricsOverride", {})
        self.driver.get(self.url)
        self.wait_rendered("8,8,8,8,yrb,quantised", START)

    # The controls one can hit, visible: the hidden file input is reached through its label.
    TARGETS = """
        const targets = [...document.querySelectorAll(
            'input:not(#open), select, button, a[href], a[aria-disabled], label[for=open], ' +
            '[tabindex="0"], [role=slider]')];
        return targets.filter((e) => e.getClientRects().length > 0).map((e) => {
            const r = e.getBoundingClientRect();
            return [e.id || e.outerHTML.slice(0, 60), r.width, r.height];
        });"""

    SCREENS = (("a small phone upright", 320, 568), ("a phone upright", 390, 844),
               ("a phone sideways", 844, 390), ("a tablet upright", 768, 1024),
               ("a tablet sideways", 1024, 768))

    def test_phones_and_tablets_show_the_picture_first_without_sideways_scrolling(self):
        for what, width, height in self.SCREENS:
            with self.subTest(screen=what):
                self.emulate(width, height)
                layout = self.js("""
                    const box = (s) => document.querySelector(s).getBoundingClientRect();
                    const figure = (name) => box(`[data-figure="${name}"]`).bottom;
                    return {page: document.documentElement.scrollWidth, window: innerWidth,
                            height: innerHeight, scrolled: scrollY,
                            canvas: box('#picture').toJSON(), viewport: box('#viewport').toJSON(),
                            controls: box('#controls').top,
                            figures: ['bytes', 'bits_per_pixel', 'psnr_rgb'].map(figure)};""")
                self.assertLessEqual(layout["page"], layout["window"], "sideways scrolling")
                canvas, viewport = layout["canvas"], layout["viewport"]
                self.assertEqual(layout["scrolled"], 0)
                self.assertLess(canvas["top"], layout["controls"], "the picture above the controls")
                self.assertLessEqual(canvas["bottom"], layout["height"], "the whole picture in view")
                for bottom in layout["figures"]:
                    self.assertLessEqual(bottom, layout["height"], "a figure out of view")
                if height > width:
                    # Upright, the picture is fitted to the screen's width (within the viewport's
                    # borders and the pixel fitting leaves against scroll bars).
                    self.assertGreaterEqual(canvas["width"], viewport["width"] - 5)
                for target, w, h in self.js(self.TARGETS):
                    self.assertGreaterEqual(min(w, h), 24, f"{target}: {w} x {h}")
        meta = self.attribute('meta[name="viewport"]', "content")
        self.assertNotIn("user-scalable", meta)
        self.assertNotIn("maximum-scale", meta)

    def test_the_fitted_picture_follows_the_screen_turned(self):
        self.emulate(390, 844)
        upright = self.js("return document.getElementById('picture').getBoundingClientRect()"
                          ".width")
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": 844, "height": 390, "deviceScaleFactor": 2, "mobile": True})
        self.until(lambda: self.js("return document.getElementById('picture')"
                                   ".getBoundingClientRect().bottom <= innerHeight"),
                   "the picture fitted to the turned screen")
        self.assertLessEqual(self.js("return document.documentElement.scrollWidth"), 844)
        self.assertNotEqual(upright, self.js(
            "return document.getElementById('picture').getBoundingClientRect().width"))

    # --- touch -----------------------------------------------------------------------------------

    def touch(self, kind, points, at=None):
        """A touch event through the DevTools protocol, as a touch screen makes it: `points` the
        fingers down after it, in CSS pixels of the window; `at` its time in seconds."""
        params = {"type": kind,
                  "touchPoints": [{"x": x, "y": y, "id": i} for i, (x, y) in enumerate(points)]}
        if at is not None:
            params["timestamp"] = at
        self.driver.execute_cdp_cmd("Input.dispatchTouchEvent", params)

    def gesture_time(self):
        """The time of a gesture's first event: now (Chromium scrolls less for touches stamped in
        the past), and half a second after the last gesture began, so that two never read as a
        double tap."""
        last = getattr(self, "last_gesture", 0.0)
        time.sleep(max(0.0, last + 0.5 - time.time()))
        self.last_gesture = time.time()
        return self.last_gesture

    def tap(self, x, y, at):
        self.touch("touchStart", [(x, y)], at)
        self.touch("touchEnd", [], at + 0.05)

    def drag(self, start, by, at, steps=4):
        """Fingers at `start` moved together by `by` in `steps` moves, then lifted."""
        self.touch("touchStart", start, at)
        for n in range(1, steps + 1):
            self.touch("touchMove", [(x + by[0] * n / steps, y + by[1] * n / steps)
                                     for x, y in start], at + 0.02 * n)
        self.touch("touchEnd", [], at + 0.02 * steps + 0.02)

    def client_of(self, x, y):
        """The window point over the middle of picture pixel x, y."""
        return self.js("const r = document.getElementById('picture').getBoundingClientRect();"
                       "const c = document.getElementById('picture');"
                       "return [r.left + (arguments[0] + 0.5) * r.width / c.width,"
                       "        r.top + (arguments[1] + 0.5) * r.height / c.height];", x, y)

    def picture_at(self, x, y):
        """The picture point (fractional) under window point x, y."""
        return self.js("const r = document.getElementById('picture').getBoundingClientRect();"
                       "const c = document.getElementById('picture');"
                       "return [(arguments[0] - r.left) * c.width / r.width,"
                       "        (arguments[1] - r.top) * c.height / r.height];", x, y)

    def zoom(self):
        return self.js("const r = document.getElementById('picture').getBoundingClientRect();"
                       "return r.width / document.getElementById('picture').width;")

    def viewport_scroll(self):
        """The viewport's scroll once it has come to rest (a fling ended)."""
        read = lambda: self.js("const v = document.getElementById('viewport');"
                               "return [v.scrollLeft, v.scrollTop];")
        last = read()
        while True:
            time.sleep(0.3)
            now = read()
            if now == last:
                return now
            last = now

    def test_touch_pinches_pans_taps_and_double_taps(self):
        self.emulate(390, 844)
        sample = START_PATH
        kvrn("encode", "--scales", "8,8,8", sample, self.path("default-8.kvrn"))
        kvrn("decode", self.path("default-8.kvrn"), self.path("default-8.png"))
        fitted = self.zoom()

        def after(what):
            self.assert_pixels(self.path("default-8.png"), f"the picture after {what}")
            self.assertLessEqual(self.js("return document.documentElement.scrollWidth"), 390)

        # A tap inspects the block under it: blocks are counted from the bottom-left, 96 rows.
        self.tap(*self.client_of(740, 380), self.gesture_time())
        self.until(lambda: self.inspected() == (92, 47), "block 92, 47 inspected by a tap")
        after("a tap")
        # A double tap shows one picture pixel a screen pixel, the pixel under it kept there.
        point = self.client_of(300, 200)
        at = self.gesture_time()
        self.tap(*point, at)
        self.tap(*point, at + 0.15)
        self.until(lambda: abs(self.zoom() - 1) < 1e-6, "1:1 after a double tap")
        for got, wanted in zip(self.picture_at(*point), (300.5, 200.5)):
            self.assertAlmostEqual(got, wanted, delta=1)
        self.assertEqual(self.js("return document.getElementById('zoom-level').textContent"),
                         "100%")
        after("a double tap")
        # One finger scrolls, the browser's: the picture larger than its viewport (less the
        # browser's touch slop), the page otherwise; two fingers pan the picture in any case.
        before = self.viewport_scroll()
        self.drag([(150, 150)], (-60, -30), self.gesture_time())
        moved = self.viewport_scroll()
        # (the browser keeps a mostly sideways drag to its rail: across only)
        self.assertGreater(moved[0] - before[0], 40)
        before = moved
        self.drag([(150, 150), (250, 150)], (-60, -30), self.gesture_time())
        moved = self.viewport_scroll()
        self.assertAlmostEqual(moved[0] - before[0], 60, delta=1)
        self.assertAlmostEqual(moved[1] - before[1], 30, delta=1)
        self.assertAlmostEqual(self.zoom(), 1)
        after("a pan")
        # A double tap again fits the picture; a pinch then doubles the zoom about its centre.
        at = self.gesture_time()
        self.tap(200, 150, at)
        self.tap(200, 150, at + 0.15)
        self.until(lambda: abs(self.zoom() - fitted) < 1e-6, "fitted after a double tap")
        centre = (195, 150)
        under = self.picture_at(*centre)
        at = self.gesture_time()
        self.touch("touchStart", [(155, 150), (235, 150)], at)
        for n in range(1, 5):
            self.touch("touchMove", [(155 - 10 * n, 150), (235 + 10 * n, 150)], at + n / 50)
        self.touch("touchEnd", [], at + 0.2)
        self.assertAlmostEqual(self.zoom(), 2 * fitted, delta=0.001)
        for got, wanted in zip(self.picture_at(*centre), under):
            self.assertAlmostEqual(got, wanted, delta=1.5)
        after("a pinch")
        # The stepper's buttons under a finger: a notch of the wheel each.
        for button, step in (("step-up", 10), ("step-down", 8), ("step-down", 6)):
            rect = self.js("const r = document.getElementById(arguments[0])"
                           ".getBoundingClientRect(); return [r.left + r.width / 2,"
                           "r.top + r.height / 2];", button)
            if not 0 < rect[1] < 844:
                self.js("document.getElementById(arguments[0]).scrollIntoView()", button)
                rect = self.js("const r = document.getElementById(arguments[0])"
                               ".getBoundingClientRect(); return [r.left + r.width / 2,"
                               "r.top + r.height / 2];", button)
            self.tap(*rect, self.gesture_time())
            self.wait_rendered(f"{step},{step},{step},{step},yrb,quantised")
        # The split view's divider follows a finger.
        self.set_value("view", "split")
        self.wait_rendered("6,6,6,6,yrb,split")
        self.js("document.getElementById('zoom-fit').click();"
                "document.getElementById('viewport').scrollIntoView()")
        handle = self.js("const r = document.getElementById('divider').getBoundingClientRect();"
                         "const c = document.getElementById('picture').getBoundingClientRect();"
                         "return [r.left + r.width / 2, r.top + 20, c.width];")
        self.drag([(handle[0], handle[1])], (-handle[2] / 4, 0), self.gesture_time())
        self.assertAlmostEqual(int(self.attribute("#divider", "aria-valuenow")), 25, delta=1)

    # --- the keyboard and screen readers -------------------------------------------------------

    def press(self, *keys):
        ActionChains(self.driver).send_keys(*keys).perform()

    def tab_to(self, element_id):
        """Presses Tab until `element_id` has the focus, as a keyboard user reaches it."""
        for _ in range(60):
            self.press(Keys.TAB)
            if self.js("return document.activeElement.id") == element_id:
                return
        self.fail(f"Tab never reaches #{element_id}")

    def inspected(self):
        block = self.attribute("#inspector", "data-block")
        return None if block is None else tuple(map(int, block.split(",")))

    def test_the_whole_lab_works_from_the_keyboard(self):
        self.open(self.dune_png)
        download = tempfile.mkdtemp(prefix="kvrn-web-download-")
        self.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                    {"behavior": "allow", "downloadPath": download})
        self.js("document.activeElement.blur()")
        self.tab_to("open-sample")
        self.press(Keys.ENTER)
        self.wait_rendered("8,8,8,8,yrb,quantised", START)
        self.tab_to("step-slider")
        self.press(Keys.ARROW_RIGHT)
        self.wait_rendered("9,9,9,9,yrb,quantised")
        self.tab_to("viewport")
        # Enter inspects the block under the middle of what the viewport shows.
        centre = self.js("""
            const v = document.getElementById('viewport').getBoundingClientRect();
            const c = document.getElementById('picture').getBoundingClientRect();
            const x = Math.min(1023, Math.floor((v.left + v.width / 2 - c.left) * 1024 / c.width));
            const y = Math.min(767, Math.floor((v.top + v.height / 2 - c.top) * 768 / c.height));
            return [Math.floor(x / 8), Math.floor(y / 8)];""")
        self.press(Keys.ENTER)
        self.until(lambda: self.inspected() == tuple(centre), "the centre block inspected")
        sample = START_PATH
        for key, (dx, dy) in ((Keys.ARROW_RIGHT, (1, 0)), (Keys.ARROW_UP, (1, -1)),
                              (Keys.ARROW_LEFT, (0, -1)), (Keys.ARROW_DOWN, (0, 0))):
            with self.subTest(key=key):
                self.press(key)
                column, row = centre[0] + dx, centre[1] + dy
                self.until(lambda: self.inspected() == (column, row), f"block {column}, {row}")
                report = json.loads(self.attribute("#inspector", "data-report"))
                expected = json.loads(kvrn("inspect", "--json", "--scales", "9,9,9", sample,
                                           str(column), str(row)))
                del expected["file"], expected["scales"]
                self.assertEqual(self.as_kvrn_inspect_prints(report), expected)
                self.assertEqual(self.attribute("#block-outline", "data-x"), str(8 * column))
        # Page Up and Page Down are a notch of the wheel, Home the middle button.
        for key, step in ((Keys.PAGE_UP, 11), (Keys.PAGE_DOWN, 9), (Keys.HOME, 1),
                          (Keys.PAGE_UP, 3), (Keys.PAGE_UP, 5)):
            self.press(key)
            self.wait_rendered(f"{step},{step},{step},{step},yrb,quantised")
        self.tab_to("view")
        self.press("s")  # the list's first letter: split
        self.wait_rendered("5,5,5,5,yrb,split")
        self.tab_to("divider")
        self.press(Keys.PAGE_UP, Keys.ARROW_RIGHT, Keys.ARROW_RIGHT)
        self.until(lambda: self.attribute("#divider", "aria-valuenow") == "62", "the divider at 62 %")
        quantised = self.path("default-5.kvrn")
        kvrn("encode", "--scales", "5,5,5", sample, quantised)
        kvrn("decode", quantised, self.path("default-5.ppm"))
        original, _ = rgb_of(sample)
        after, _ = rgb_of(self.path("default-5.ppm"))
        shown, _ = self.canvas_rgb()
        cut = round(0.62 * 1024)
        for row in (0, 400, 767):
            at = 3 * 1024 * row
            self.assertEqual(shown[at:at + 3 * cut], original[at:at + 3 * cut])
            self.assertEqual(shown[at + 3 * cut:at + 3 * 1024], after[at + 3 * cut:at + 3 * 1024])
        self.tab_to("save-kvrn")
        self.press(Keys.ENTER)
        saved = os.path.join(download, "ladybird-1024x768.kvrn")
        self.until(lambda: os.path.exists(saved) and os.path.getsize(saved) > 0 and
                   not any(n.endswith(".crdownload") for n in os.listdir(download)),
                   "the saved file")
        self.assertEqual(read(saved), read(quantised))

    def test_the_picture_and_figures_speak_to_screen_readers(self):
        self.open(self.dune_png)
        for settings, name in (
                (dict(step=13), "dune.png, quantised, step 13"),
                (dict(scales=(3, 20, 60), channels="yb"),
                 "dune.png, quantised, scales Y 3, Cr 20, Cb 60, channels Y Cb"),
                (dict(step=7, view="viewer", channels="r"),
                 "dune.png, as kvrn-view shows it, step 7, channels Cr"),
                (dict(step=7, view="error"), "dune.png, error map, step 7")):
            with self.subTest(settings=settings):
                self.apply(**settings)
                self.assertEqual(self.attribute("#picture", "role"), "img")
                self.assertEqual(self.attribute("#picture", "aria-label"), name)
                live = self.attribute('[data-figure="bytes"]', "data-value")
                self.assertEqual(self.js(
                    "const e = document.querySelector('[data-figure=bytes]')"
                    ".closest('[aria-live]'); return [e.getAttribute('aria-live'),"
                    "e.getAttribute('aria-busy'), e.textContent.includes(arguments[0])]", live),
                    ["polite", "false", True])

    WHY = ("floor", "clipping", "metrics", "chroma", "blocks", "truncation")

    def why(self):
        """The explanations beside the figures: name -> text."""
        return dict(self.js("return [...document.querySelectorAll('#why [data-why]')]"
                            ".map((e) => [e.dataset.why, e.textContent])"))

    def open_why(self):
        self.driver.find_element(By.CSS_SELECTOR, "#why summary").click()
        self.until(lambda: self.attribute("#why", "open") is not None, "the texts opened")

    def test_the_why_texts_tell_the_figures_beside_them_as_kvrn_counts_them(self):
        self.open_why()
        self.assertEqual(sorted(self.why()), sorted(self.WHY))
        for name, text in self.why().items():
            self.assertTrue(self.js("return document.querySelector(arguments[0])"
                                    ".getClientRects().length > 0", f'[data-why="{name}"]'), name)
            self.assertNotEqual(text.strip(), "", name)
        # The floor: the photograph's smallest file, and how far its file at step 255 is above.
        floor, at_255 = self.path("floor.kvrn"), self.path("step255.kvrn")
        kvrn("encode", "--step", "65535", START_PATH, floor)
        kvrn("encode", "--step", "255", START_PATH, at_255)
        floor, at_255 = os.path.getsize(floor), os.path.getsize(at_255)
        self.apply(step=255)
        self.assertIn(f"= {floor} bytes", self.why()["floor"])
        self.assertIn(f"The file now, {at_255} bytes, is {at_255 - floor} bytes above it",
                      self.why()["floor"])
        # Clipping: the test chart at step 1, as kvrn encode warns of it.
        chart = os.path.abspath(os.path.join(SAMPLES, "test-chart.png"))
        run = subprocess.run([KVRN, "encode", "--step", "1", chart, self.path("chart-1.kvrn")],
                             capture_output=True, text=True)
        clipped = int(run.stderr.split("warning: ")[1].split()[0])
        self.set_value("pictures", "test-chart.png")
        self.wait_rendered("255,255,255,255,yrb,quantised", "test-chart.png")
        self.apply(step=1)
        self.assertIn(f"These scales clip {clipped} AC coefficients", self.why()["clipping"])
        self.assertEqual(self.axe(), [])
        # A phone upright (the page loaded anew): the texts wrap within the screen.
        self.emulate(390, 844)
        self.open_why()
        self.assertLessEqual(self.js("return document.documentElement.scrollWidth"), 390)
        self.assertEqual(self.axe(), [])
        # Presentation mode: the texts over the picture, large, within the window.
        self.emulate(1280, 800, mobile=False)
        self.open_why()
        self.driver.find_element(By.TAG_NAME, "body").send_keys("p")
        self.until(lambda: "presenting" in self.attribute("body", "class"), "presentation mode")
        box = self.js("const r = document.querySelector('aside')"
                      ".getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom];")
        self.assertGreaterEqual(min(box), 0)
        self.assertLessEqual(box[2], 1280)
        self.assertLessEqual(box[3], 800)
        self.assertGreaterEqual(float(self.style('[data-why="floor"]', "font-size")[:-2]), 24)
        self.assertEqual(self.axe(), [])

    PLOT_STEPS = (1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64)
    PLOT_FIELDS = ("bytes", "bits_per_pixel", "psnr_rgb", "psnr_y")

    def plot_marks(self):
        """The rate-distortion plot's marks once every step is in: step -> data attributes."""
        self.until(lambda: self.js("return document.querySelectorAll('#plot [data-step]')"
                                   ".length") == len(self.PLOT_STEPS), "the plot's every step")
        return self.js("""
            const marks = {};
            for (const m of document.querySelectorAll('#plot [data-step]')) {
                marks[m.dataset.step] = {current: m.dataset.current === 'true',
                    title: m.querySelector('title').textContent,
                    figures: Object.fromEntries(arguments[0].map((f) => [f, m.dataset[f]]))};
            }
            return marks;""", list(self.PLOT_FIELDS))

    def test_the_rate_distortion_plot_holds_kvrn_sweeps_rows_and_marks_the_step_shown(self):
        sweep = {}
        for line in kvrn("sweep", "--steps", ",".join(map(str, self.PLOT_STEPS)),
                         "--qualities", "50", START_PATH).splitlines():
            codec, setting, *figures = line.split(",")
            if codec == "kvrn":
                sweep[setting] = dict(zip(self.PLOT_FIELDS, figures))
        self.assertEqual(sorted(sweep, key=int), [str(s) for s in self.PLOT_STEPS])
        marks = self.plot_marks()
        for step in self.PLOT_STEPS:
            with self.subTest(step=step):
                mark = marks[str(step)]
                self.assertEqual(mark["figures"], sweep[str(step)])
                self.assertEqual(mark["current"], step == 8)
                self.assertIn(f"{sweep[str(step)]['bytes']} bytes", mark["title"])
        # The steps' files leave the worker's module: another view of the step shown counts the
        # file of that step again, not the last step measured.
        self.apply(step=8, view="error")
        self.assertEqual({f: self.figures()[f] for f in self.PLOT_FIELDS}, sweep["8"])
        # The mark follows the step; a step off the curve has a mark of its own, at its figures.
        for step, on_curve in ((24, True), (5, False), (3, True)):
            with self.subTest(step=step):
                self.apply(step=step)
                self.until(lambda: len(self.js(
                    "return [...document.querySelectorAll('#plot [data-current]')]"
                    ".map((m) => m.dataset.step ?? m.dataset.bytes)")) == 1 and
                    self.js("const m = document.querySelector('#plot [data-current]');"
                            "return m.dataset.bytes") == self.figures()["bytes"],
                    f"the mark of step {step}")
                self.assertEqual(self.attribute("#plot [data-current]", "data-step"),
                                 str(step) if on_curve else None)
        # PSNR of RGB instead of Y moves the marks, not their figures.
        y_of_8 = self.attribute('#plot [data-step="8"]', "cy")
        self.set_value("plot-metric", "psnr_rgb")
        self.assertNotEqual(self.attribute('#plot [data-step="8"]', "cy"), y_of_8)
        self.assertIn("PSNR RGB", self.attribute('#plot [data-step="8"]', "aria-label"))
        # KVRN's floor, drawn and labelled, left of every mark.
        self.assertEqual(self.attribute("#plot-floor", "data-bpp"), "1.125")
        self.assertIn("1.125", self.js(
            "return document.getElementById('plot-floor-label').textContent"))
        floor_x = float(self.attribute("#plot-floor line", "x1"))
        self.assertTrue(all(float(self.attribute(f'#plot [data-step="{s}"]', "cx")) > floor_x
                            for s in self.PLOT_STEPS))
        # The saved SVG is an SVG holding the marks; the PNG is a picture of the plot.
        saved = self.fetch("#plot-svg").decode()
        self.assertTrue(saved.startswith("<?xml"), saved[:80])
        self.assertIn('xmlns="http://www.w3.org/2000/svg"', saved)
        for step in self.PLOT_STEPS:
            self.assertIn(f'data-step="{step}"', saved)
            self.assertIn(f'data-bytes="{sweep[str(step)]["bytes"]}"', saved)
        self.js("const link = document.getElementById('plot-png'); link.download = '';"
                "const hold = (e) => { if (e.isTrusted === false && link.href.startsWith('blob:'))"
                " e.preventDefault(); }; link.addEventListener('click', hold); link.click();")
        self.until(lambda: (self.attribute("#plot-png", "href") or "").startswith("blob:"),
                   "the plot's PNG made")
        png = Image.open(io.BytesIO(self.fetch("#plot-png")))
        self.assertEqual(png.size, (960, 600))
        # A new picture, a new curve.
        self.open(self.dune_png)
        dune = self.plot_marks()
        self.assertNotEqual(dune["8"]["figures"]["bytes"], marks["8"]["figures"]["bytes"])

    PLOT_QUALITIES = (10, 20, 30, 40, 50, 60, 70, 75, 80, 85, 90, 95)

    def test_the_plots_jpeg_marks_are_kvrn_sweeps_jpeg_rows(self):
        # The page's JPEG is the lab's code over libjpeg-turbo compiled to WebAssembly without
        # SIMD: its files' bytes and figures must be those of the native tool's, whose libjpeg
        # has SIMD. The dune is 403 x 251, with partial blocks and chroma pairs at its edges.
        for path in (START_PATH, self.dune_png):
            with self.subTest(picture=os.path.basename(path)):
                if path != START_PATH:
                    self.open(path)
                sweep = {}
                for line in kvrn("sweep", "--codecs", "jpeg420,jpeg444", "--qualities",
                                 ",".join(map(str, self.PLOT_QUALITIES)), path).splitlines():
                    codec, setting, *figures = line.split(",")
                    if codec.startswith("jpeg"):
                        sweep[codec, setting] = dict(zip(self.PLOT_FIELDS, figures))
                self.assertEqual(len(sweep), 2 * len(self.PLOT_QUALITIES))
                count = "return document.querySelectorAll('#plot [data-quality]').length"
                self.until(lambda: self.js(count) == len(sweep), "the plot's JPEG marks")
                marks = self.js("""
                    return [...document.querySelectorAll('#plot [data-quality]')].map((m) =>
                        [m.dataset.codec, m.dataset.quality, m.querySelector('title').textContent,
                         Object.fromEntries(arguments[0].map((f) => [f, m.dataset[f]]))]);""",
                                list(self.PLOT_FIELDS))
                self.assertEqual({(c, q): f for c, q, _, f in marks}, sweep)
                for codec, quality, title, figures in marks:
                    self.assertIn(f"quality {quality}: {figures['bytes']} bytes", title)
                self.assertEqual(self.js("return document.getElementById('plot-state')"
                                         ".textContent"), "")
        # Each curve has its colour and its entry in the legend, and the saved plot holds them.
        strokes = self.js("return ['plot-curve', 'plot-curve-jpeg420', 'plot-curve-jpeg444']"
                          ".map((id) => document.getElementById(id).getAttribute('stroke'))")
        self.assertEqual(len(set(strokes)), 3, strokes)
        self.assertEqual(self.js("return [...document.querySelectorAll("
                                 "'#plot-legend [data-codec]')].map((e) => e.textContent)"),
                         ["KVRN", "JPEG 4:2:0", "JPEG 4:4:4"])
        saved = self.fetch("#plot-svg").decode()
        for (codec, quality), figures in sweep.items():
            self.assertRegex(saved, f'data-codec="{codec}" data-quality="{quality}"[^>]* '
                                    f'data-bytes="{figures["bytes"]}"')

    def axe(self):
        """The violations axe-core finds in the page as it is: [rule, impact, [elements]]."""
        if not self.js("return typeof window.axe !== 'undefined'"):
            self.js(read(AXE).decode())
        self.driver.set_script_timeout(WAIT)
        return self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            axe.run(document, {runOnly: {type: 'tag', values: arguments[0]}})
                .then((r) => done(r.violations.map((v) => [v.id, v.impact,
                    v.nodes.slice(0, 4).map((n) => n.target.join(' '))])))
                .catch((e) => done([['axe failed', String(e), []]]));""", AXE_TAGS)

    def test_axe_finds_nothing_in_any_view_with_the_inspector_or_the_tables_open(self):
        self.assertTrue(os.path.exists(AXE), f"axe-core is missing ({AXE}): run scripts/web "
                        "--build")
        for screen in ("desktop", "phone"):
            if screen == "phone":
                self.emulate(390, 844)
            for view in ("quantised", "viewer", "original", "error", "bytes", "split"):
                with self.subTest(screen=screen, view=view):
                    self.apply(step=12, view=view)
                    self.assertEqual(self.axe(), [])
            with self.subTest(screen=screen, state="the inspector open"):
                self.js("document.getElementById('viewport').focus()")
                self.press(Keys.ENTER)
                self.until(lambda: self.inspected() is not None, "a block inspected")
                self.assertEqual(self.axe(), [])
            with self.subTest(screen=screen, state="the rate-distortion plot drawn"):
                self.plot_marks()
                self.js("document.getElementById('plot').scrollIntoView()")
                self.assertEqual(self.axe(), [])
            with self.subTest(screen=screen, state="the table editor open"):
                self.set_value("quantiser", "custom")
                self.wait_tables("custom:" + ".".join(map(str, JPEG_LUMA)) + "/" +
                                 ".".join(map(str, JPEG_CHROMA)), "split")
                self.assertEqual(self.axe(), [])

    def test_first_view_screenshot(self):
        """What a first-time user sees: the sample at step 8 with a block inspected."""
        self.driver.set_window_size(1500, 1300)
        self.driver.get(self.url)
        self.wait_rendered("8,8,8,8,yrb,quantised", START)
        self.click_pixel(740, 380, 1024)
        self.until(lambda: self.attribute("#inspector", "data-block") is not None, "a report")
        time.sleep(0.3)
        os.makedirs(os.path.dirname(os.path.abspath(SCREENSHOT)), exist_ok=True)
        self.driver.save_screenshot(SCREENSHOT)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    KVRN = os.path.abspath(sys.argv[1])
    WEB_DIR = os.path.abspath(sys.argv[2])
    AXE = AXE or os.path.join(os.path.dirname(WEB_DIR), "web-tests", "node_modules", "axe-core",
                              "axe.min.js")
    rest = sys.argv[3:]
    if rest and rest[0].endswith(".png"):
        SCREENSHOT = rest.pop(0)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
