#!/usr/bin/python3
"""How fast the lab page answers, in headless Chromium: prints figures, asserts nothing.

Usage: bench_lab.py WEB_DIR PHOTO.jpg

Serves WEB_DIR (scripts/web --build) on a free local port and measures, in the page's own clock
(performance.now), from the moment a control's input event fires or the file is chosen until the
canvas carries the new data-rendered attribute (the picture drawn) and until the figures are
current:
  - step changes on the picture the page opens with (the 1024 x 768 ladybird), the quantised view;
  - opening PHOTO.jpg and showing it (the browser's JPEG decoder, the codec's quantisation);
  - step changes on PHOTO.jpg;
and, after each picture's figures, how long the rate-distortion plot's 12 steps take (waited for
before the step changes, which then have the worker to themselves);
each with one worker (?workers=1) and with the page's pool of one worker a processor, alternately.
"""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "web"))
import test_lab  # noqa: E402  (the page's server and browser, shared with the tests)

STEP_CHANGE = """
const [step, done] = [arguments[0], arguments[arguments.length - 1]];
const canvas = document.getElementById('picture');
const figures = document.getElementById('figures');
const key = `${step},${step},${step},${step},yrb,quantised`;
const scales = `${canvas.dataset.picture}:${step},${step},${step}`;
let shown = null;
let t0 = 0;
const check = (observer) => {
    const now = performance.now();
    if (shown === null && canvas.dataset.rendered === key) shown = now - t0;
    if (shown !== null && figures.dataset.for === scales) {
        observer.disconnect();
        done([shown, now - t0, window.labTimings]);
    }
};
const observer = new MutationObserver(() => check(observer));
observer.observe(document.body, {attributes: true, subtree: true});
const input = document.getElementById('step');
input.value = String(step);
t0 = performance.now();
input.dispatchEvent(new Event('input'));
"""

WATCH_OPEN = """
const name = arguments[0];
window.benchOpen = {};
document.getElementById('open').addEventListener('change', () => {
    window.benchOpen.chosen = performance.now();
}, {capture: true, once: true});
const canvas = document.getElementById('picture');
const observer = new MutationObserver(() => {
    if (canvas.dataset.picture === name && canvas.dataset.rendered !== undefined) {
        window.benchOpen.shown = performance.now();
        observer.disconnect();
    }
});
observer.observe(canvas, {attributes: true});
"""


def wait(driver, script, timeout=120):
    from selenium.webdriver.support.ui import WebDriverWait
    return WebDriverWait(driver, timeout, poll_frequency=0.02).until(
        lambda d: d.execute_script(script))


def step_changes(driver, steps):
    driver.set_script_timeout(120)
    times = [driver.execute_async_script(STEP_CHANGE, step) for step in steps]
    stages = {}
    for t in times:
        for stage, ms in (t[2] or {}).items():
            stages.setdefault(stage, []).append(ms)
    print("    stages (median ms): " + ", ".join(f"{stage} {statistics.median(ms):.0f}"
                                               for stage, ms in stages.items()))
    return [t[0] for t in times], [t[1] for t in times]


def report(what, shown, counted):
    print(f"{what}: picture shown median {statistics.median(shown):.0f} ms "
          f"(min {min(shown):.0f}, max {max(shown):.0f}); figures median "
          f"{statistics.median(counted):.0f} ms (min {min(counted):.0f}, max {max(counted):.0f}); "
          f"{len(shown)} step changes")


def open_photo(driver, photo):
    """Opens PHOTO in the page; returns (chosen-to-shown ms, width, height) once its figures are in."""
    name = os.path.basename(photo)
    driver.execute_script(WATCH_OPEN, name)
    driver.find_element("id", "open").send_keys(photo)
    wait(driver, "return window.benchOpen.shown !== undefined")
    opened = driver.execute_script("return window.benchOpen.shown - window.benchOpen.chosen")
    size = driver.execute_script(
        "const c = document.getElementById('picture'); return [c.width, c.height];")
    wait(driver, "const c = document.getElementById('picture');"
                 "return document.getElementById('figures').dataset.for"
                 " === `${c.dataset.picture}:` + c.dataset.rendered.split(',').slice(1, 4)"
                 ".join(',')")
    return opened, size[0], size[1]


def plot_drawn(driver, what):
    """Waits for the rate-distortion plot's every step after the picture's figures; prints how
    long the steps took, so that the step changes measured next do not share the worker with it."""
    wait(driver, "const c = document.getElementById('picture');"
                 "return c.dataset.rendered !== undefined &&"
                 " document.getElementById('figures').dataset.for"
                 " === `${c.dataset.picture}:` + c.dataset.rendered.split(',').slice(1, 4)"
                 ".join(',')")
    start = time.monotonic()
    wait(driver, "return document.querySelectorAll('#plot [data-step]').length === 12")
    print(f"    {what}: the rate-distortion plot's 12 steps "
          f"{1000 * (time.monotonic() - start):.0f} ms after the figures")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    web_dir, photo = (os.path.abspath(a) for a in sys.argv[1:])
    server = test_lab.serve(web_dir)
    driver = test_lab.start_driver()
    base = f"http://127.0.0.1:{server.server_address[1]}/"
    name = os.path.basename(photo)
    pool = min(os.cpu_count() or 1, 8)
    # One worker (?workers=1) against the page's default pool of one worker a processor,
    # alternately, twice each; the medians are over both runs of each.
    runs = [("one worker", "?workers=1"), (f"pool of {pool}", "")] * 2
    figures = {}
    try:
        version = subprocess.run(["/usr/bin/chromium", "--version"], capture_output=True,
                                 text=True).stdout.strip()
        print(f"{version}, headless; {os.cpu_count()} processors")
        for label, query in runs:
            print(f"  {label}:")
            driver.get(base + query)
            wait(driver, "return document.getElementById('picture').dataset.rendered"
                         " !== undefined")
            plot_drawn(driver, "ladybird-1024x768.jpg")
            # The first renders warm the WebAssembly code up; they are not counted.
            step_changes(driver, [9, 10])
            sample = step_changes(driver, list(range(11, 41)))
            opened, width, height = open_photo(driver, photo)
            bands = driver.execute_script(
                "return document.getElementById('picture').dataset.bands")
            print(f"    {name}: chosen to shown {opened:.0f} ms; {bands} band(s)")
            plot_drawn(driver, name)
            steps = step_changes(driver, list(range(20, 27)))
            for what, (shown, counted) in (("ladybird-1024x768.jpg, 1024 x 768", sample),
                                           (f"{name}, {width} x {height}", steps)):
                entry = figures.setdefault((what, label), ([], []))
                entry[0].extend(shown)
                entry[1].extend(counted)
        print()
        for (what, label), (shown, counted) in sorted(figures.items()):
            report(f"{what}, {label}", shown, counted)
    finally:
        driver.quit()
        server.shutdown()


if __name__ == "__main__":
    main()
