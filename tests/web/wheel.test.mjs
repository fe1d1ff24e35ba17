// The wheel's deltas summed into the viewer's notches, under Node's test runner.
import assert from "node:assert/strict";
import {test} from "node:test";

import {MAX_SCALE} from "../../web/state.js";
import {PAUSE_MS, WheelNotches, stepAfterNotches} from "../../web/wheel.js";

const PIXELS = 0;
const LINES = 1;
const PAGES = 2;

// `count` events of `deltaY` in `mode`, `gap` milliseconds apart from `start`.
function events(count, deltaY, mode = PIXELS, gap = 16, start = 0) {
    return Array.from({length: count}, (_, i) => [deltaY, mode, start + i * gap]);
}

// The step after the events, through one accumulator as the viewport holds it.
function stepAfter(step, list) {
    const notches = new WheelNotches();
    for (const [deltaY, mode, time] of list) {
        step = stepAfterNotches(step, notches.add(deltaY, mode, time));
    }
    return step;
}

test("deltas add up to notches of 2 steps, in the viewer's directions", () => {
    const cases = [
        // what, step, events, step after
        ["a mouse notch of 100 pixels away", 8, events(1, -100), 10],
        ["a mouse notch of 100 pixels towards the user", 8, events(1, 100), 6],
        ["Chromium's notch of 120 pixels: one notch", 8, events(1, -120), 10],
        ["five of 120 pixels: the fifths carry into a sixth notch", 8, events(5, -120), 20],
        ["30 trackpad events of 4 pixels: one notch, 20 pixels left", 8, events(30, -4), 10],
        ["24 of 4 pixels fall short of a notch", 8, events(24, -4), 8],
        ["25 of 4 pixels make it exactly", 8, events(25, 4), 6],
        ["3 lines are a notch", 8, events(1, -3, LINES), 10],
        ["one line at a time, three of them", 8, events(3, 1, LINES), 6],
        ["2 lines are not", 8, events(2, -1, LINES), 8],
        ["a page is a notch", 8, events(1, -1, PAGES), 10],
        ["300 pixels at once: three notches", 8, events(1, -300), 14],
        ["fractional deltas of a scaled screen: 3 x 33.333 make a notch", 8,
         events(3, -100 / 3), 10],
        ["no delta moves nothing", 8, events(10, 0), 8],
    ];
    for (const [what, step, list, after] of cases) {
        assert.equal(stepAfter(step, list), after, what);
    }
});

test("the remainder is dropped when the direction changes or the wheel pauses", () => {
    const cases = [
        // what, events, step after (from 20)
        ["80 up, then 100 down: a notch down, the 80 not taken off it",
         [[-80, PIXELS, 0], [100, PIXELS, 10]], 18],
        ["120 up leaves 20 up; 120 down drops it, and its own 20 and 90 more make a notch",
         [[-120, PIXELS, 0], [120, PIXELS, 10], [90, PIXELS, 20]], 18],
        ["a pause after 80 pixels: the next 80 start afresh",
         [[-80, PIXELS, 0], [-80, PIXELS, 1 + PAUSE_MS]], 20],
        ["no pause: 80 and 80 make a notch", [[-80, PIXELS, 0], [-80, PIXELS, PAUSE_MS]], 22],
        ["a slow trackpad, 4 pixels every 600 ms, never moves", events(100, -4, PIXELS, 600), 20],
    ];
    for (const [what, list, after] of cases) {
        assert.equal(stepAfter(20, list), after, what);
    }
});

test("notches hold the step to 1..65535 as single ones do", () => {
    const cases = [
        // step, notches, step after
        [2, 1, 1],
        [1, 1, 1],
        [5, 10, 1],
        [MAX_SCALE - 1, -1, MAX_SCALE],
        [MAX_SCALE - 3, -5, MAX_SCALE],
        [8, 0, 8],
        [8, -1e9, MAX_SCALE],
        [MAX_SCALE, 1e9, 1],
    ];
    for (const [step, notches, after] of cases) {
        assert.equal(stepAfterNotches(step, notches), after, `step ${step}, ${notches} notches`);
    }
});
