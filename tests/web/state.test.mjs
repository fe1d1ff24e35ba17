// The lab page's settings as its controls change them, run under Node's test runner.
import assert from "node:assert/strict";
import {test} from "node:test";

import {LabState, MAX_SCALE, channelMask, clampScale, clampZoom, renderedKey, stepAfterWheel}
    from "../../web/state.js";
import {blockAt} from "../../web/viewport.js";

test("a wheel notch moves the step by two, held to 1..65535", () => {
    const cases = [
        // step, deltaY, step after
        [8, -100, 10],
        [8, 100, 6],
        [8, -3, 10],  // a notch however small its delta
        [8, 0, 8],
        [2, 100, 1],
        [1, 100, 1],
        [MAX_SCALE - 1, -100, MAX_SCALE],
        [MAX_SCALE, -100, MAX_SCALE],
    ];
    for (const [step, deltaY, after] of cases) {
        assert.equal(stepAfterWheel(step, deltaY), after, `step ${step}, deltaY ${deltaY}`);
    }
});

test("linked scales follow the step; a scale set apart unlinks them", () => {
    const cases = [
        {
            what: "linked: the step sets the three",
            act: (s) => s.setStep(20),
            step: 20, scales: [20, 20, 20], linked: true,
        },
        {
            what: "a scale of its own unlinks",
            act: (s) => s.setScale(1, 30),
            step: 8, scales: [8, 30, 8], linked: false,
        },
        {
            what: "a scale set to the step keeps them linked",
            act: (s) => s.setScale(2, 8),
            step: 8, scales: [8, 8, 8], linked: true,
        },
        {
            what: "unlinked: the step leaves the scales",
            act: (s) => {
                s.setScale(0, 3);
                s.setStep(40);
            },
            step: 40, scales: [3, 8, 8], linked: false,
        },
        {
            what: "linking again brings the scales to the step",
            act: (s) => {
                s.setScale(0, 3);
                s.setStep(40);
                s.setLinked(true);
            },
            step: 40, scales: [40, 40, 40], linked: true,
        },
        {
            what: "a file's equal scales link, at its step",
            act: (s) => assert.equal(s.adoptFileScales([12, 12, 12]), true),
            step: 12, scales: [12, 12, 12], linked: true,
        },
        {
            what: "a file's different scales unlink and leave the step",
            act: (s) => assert.equal(s.adoptFileScales([4, 9, 9]), true),
            step: 8, scales: [4, 9, 9], linked: false,
        },
        {
            what: "a file's scale of 0 changes nothing",
            act: (s) => assert.equal(s.adoptFileScales([0, 9, 9]), false),
            step: 8, scales: [8, 8, 8], linked: true,
        },
    ];
    for (const c of cases) {
        const s = new LabState();
        c.act(s);
        assert.deepEqual({step: s.step, scales: s.scales, linked: s.linked},
                         {step: c.step, scales: c.scales, linked: c.linked}, c.what);
    }
});

test("the file's scales are copied, not shared", () => {
    const s = new LabState();
    const scales = [5, 6, 7];
    s.adoptFileScales(scales);
    s.setScale(0, 9);
    assert.deepEqual(scales, [5, 6, 7]);
});

test("channel letters make the codec's mask", () => {
    const bits = {y: 1, cr: 2, cb: 4};
    const cases = [["yrb", 7], ["y", 1], ["r", 2], ["b", 4], ["rb", 6], ["by", 5], ["", 0]];
    for (const [letters, mask] of cases) {
        assert.equal(channelMask(letters, bits), mask, letters);
    }
    // The bits are the module's, whatever they are.
    assert.equal(channelMask("yb", {y: 16, cr: 32, cb: 64}), 80);
    assert.throws(() => channelMask("g", bits));
});

test("the channels switched by the keys reach the render's settings and key", () => {
    const cases = [[[], "yrb"], [["r"], "yb"], [["y", "b"], "r"], [["y", "r", "b"], ""],
                   [["r", "r"], "yrb"]];
    for (const [keys, letters] of cases) {
        const s = new LabState();
        for (const key of keys) s.toggleChannel(key);
        const settings = s.renderSettings();
        assert.equal(settings.letters, letters, keys.join(""));
        assert.equal(renderedKey(settings), `8,8,8,8,${letters},quantised`);
    }
});

test("scales typed in are rounded and held to 1..65535", () => {
    const cases = [["8", 8], ["8.4", 8], ["0", 1], ["-5", 1], ["70000", MAX_SCALE], ["x", null],
                   ["", 1]];
    for (const [typed, scale] of cases) assert.equal(clampScale(typed), scale, typed);
});

test("the zoom stays within 1/32 and 32", () => {
    for (const [zoom, held] of [[1, 1], [64, 32], [1 / 64, 1 / 32], [0.5, 0.5]]) {
        assert.equal(clampZoom(zoom), held);
    }
});

test("tables reach the render only in the table modes", () => {
    const s = new LabState();
    assert.equal(s.renderSettings().tables, null);
    assert.equal(s.renderSettings().quantiser, "scales");
    s.setQuantiser("jpeg");
    s.quality = 50;
    const jpeg = s.renderSettings();
    assert.equal(jpeg.quantiser, "jpeg:50");
    // Y, then the chroma table for Cr and again for Cb.
    assert.equal(jpeg.tables.length, 192);
    assert.deepEqual(Array.from(jpeg.tables.subarray(64, 128)),
                     Array.from(jpeg.tables.subarray(128, 192)));
    // Tables of one's own start from the JPEG tables shown.
    s.quality = 90;
    s.setQuantiser("custom");
    assert.deepEqual(Array.from(s.renderSettings().tables), Array.from(
        (() => {
            const t = new LabState();
            t.setQuantiser("jpeg");
            t.quality = 90;
            return t.renderSettings().tables;
        })()));
});

test("blocks are counted from the bottom-left: the top row may be cut", () => {
    // A picture 20 pixels high has block rows of 4, 8 and 8 pixels from the top.
    const cases = [
        [0, 0, 20, {column: 0, row: 0}],
        [7, 3, 20, {column: 0, row: 0}],
        [8, 4, 20, {column: 1, row: 1}],
        [15, 11, 20, {column: 1, row: 1}],
        [16, 12, 20, {column: 2, row: 2}],
        [3, 19, 20, {column: 0, row: 2}],
        [0, 0, 16, {column: 0, row: 0}],
        [0, 8, 16, {column: 0, row: 1}],
        [0, 0, 1, {column: 0, row: 0}],
    ];
    for (const [x, y, height, block] of cases) {
        assert.deepEqual(blockAt(x, y, height), block, `${x}, ${y} of ${height}`);
    }
});
