// What the picture makes of touches: taps, double taps and the scroll that keeps a pinch's
// centre on the same picture pixel, under Node's test runner.
import assert from "node:assert/strict";
import {test} from "node:test";

import {centroid, isDoubleTap, isTap, scrollKeeping, spread} from "../../web/touch.js";

test("a tap is short and still; a double tap's second tap comes soon and near", () => {
    const start = {x: 100, y: 100, time: 1000};
    const taps = [
        // end, a tap
        [{x: 100, y: 100, time: 1050}, true],
        [{x: 106, y: 107, time: 1050}, true],   // 9.2 pixels: a finger's wobble
        [{x: 108, y: 106, time: 1050}, false],  // 10 pixels: a drag
        [{x: 100, y: 100, time: 1499}, true],
        [{x: 100, y: 100, time: 1500}, false],  // a press held
    ];
    for (const [end, tap] of taps) assert.equal(isTap(start, end), tap, JSON.stringify(end));
    const doubles = [
        // previous, tap, a double tap
        [null, start, false],
        [{x: 100, y: 100, time: 800}, start, true],
        [{x: 120, y: 118, time: 800}, start, true],
        [{x: 130, y: 100, time: 800}, start, false],
        [{x: 100, y: 100, time: 700}, start, false],
    ];
    for (const [previous, tap, double] of doubles) {
        assert.equal(isDoubleTap(previous, tap), double, JSON.stringify(previous));
    }
});

test("the scroll after a zoom keeps the picture pixel under the same point", () => {
    const cases = [
        // picture pixel, zoom, screen point, scroll
        [{x: 512, y: 384}, 1, {x: 195, y: 150}, {left: 317, top: 234}],
        [{x: 512, y: 384}, 2, {x: 195, y: 150}, {left: 829, top: 618}],
        [{x: 10, y: 20}, 0.5, {x: 40, y: 30}, {left: -35, top: -20}],
    ];
    for (const [picture, zoom, screen, scroll] of cases) {
        assert.deepEqual(scrollKeeping(picture, zoom, screen), scroll);
        // And back: the pixel under the point at that scroll.
        assert.equal((scroll.left + screen.x) / zoom, picture.x);
        assert.equal((scroll.top + screen.y) / zoom, picture.y);
    }
    assert.deepEqual(centroid([{x: 0, y: 10}, {x: 100, y: 30}]), {x: 50, y: 20});
    assert.equal(spread({x: 0, y: 0}, {x: 30, y: 40}), 50);
});
