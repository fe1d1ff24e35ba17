// The rate-distortion plot's axes and path, under Node's test runner.
import assert from "node:assert/strict";
import {test} from "node:test";

import {CODECS, FLOOR_BPP, QUALITIES, STEPS, curvePath, domains, linearTicks, logTicks, markPath,
        pointsToMeasure, scale} from "../../web/plot_scales.js";

test("the steps are kvrn sweep's and the floor is 9 bytes a block position", () => {
    assert.deepEqual(STEPS, [1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64]);
    assert.deepEqual(QUALITIES, [10, 20, 30, 40, 50, 60, 70, 75, 80, 85, 90, 95]);
    assert.equal(FLOOR_BPP, 1.125);
});

test("KVRN's curve is measured whole before JPEG's, each point once", () => {
    const points = pointsToMeasure();
    assert.deepEqual(points.slice(0, STEPS.length).map((p) => [p.codec, p.setting]),
                     STEPS.map((s) => ["kvrn", s]));
    assert.deepEqual(CODECS.map((c) => c.codec), ["kvrn", "jpeg420", "jpeg444"]);
    assert.equal(points.length, STEPS.length + 2 * QUALITIES.length);
    assert.equal(new Set(points.map((p) => `${p.codec} ${p.setting}`)).size, points.length);
    assert.equal(new Set(CODECS.map((c) => c.shape)).size, CODECS.length);
});

test("a mark's corners lie at its radius around its centre, closed", () => {
    for (const shape of ["triangle", "diamond"]) {
        const d = markPath(shape, 100, 50, 4);
        assert.ok(d.startsWith("M100.00,46.00") && d.endsWith("Z"), d);
        const corners = [...d.matchAll(/(-?[\d.]+),(-?[\d.]+)/g)].map((m) => [+m[1], +m[2]]);
        assert.equal(corners.length, shape === "triangle" ? 3 : 4, d);
        for (const [x, y] of corners) {
            assert.ok(Math.abs(Math.hypot(x - 100, y - 50) - 4) < 0.01, `${shape}: ${x},${y}`);
        }
    }
});

test("scales map the domain's ends to the range's, a log scale by ratios", () => {
    const cases = [
        // domain, range, log, [input, expected]...
        [[1, 100], [0, 200], true, [[1, 0], [10, 100], [100, 200], [1000, 300]]],
        [[0.5, 8], [50, 450], true, [[2, 250], [0.5, 50], [8, 450]]],
        [[20, 50], [300, 0], false, [[20, 300], [35, 150], [50, 0]]],
        [[5, 5], [10, 30], false, [[5, 20]]],
    ];
    for (const [domain, range, log, pairs] of cases) {
        const f = scale(domain, range, log);
        for (const [input, expected] of pairs) {
            assert.ok(Math.abs(f(input) - expected) < 1e-9,
                      `${domain} -> ${range} (${log ? "log" : "linear"}): ${input} gave ` +
                      `${f(input)}, not ${expected}`);
        }
    }
});

test("ticks are round values inside the domain, thinned to the most asked", () => {
    const cases = [
        [logTicks, [0.9, 12], 8, [1, 2, 5, 10]],
        [logTicks, [0.05, 30], 8, [0.05, 0.1, 0.5, 1, 5, 10]],
        [logTicks, [0.1, 30], 8, [0.1, 0.2, 0.5, 1, 2, 5, 10, 20]],
        [logTicks, [0.3, 60], 6, [0.5, 1, 5, 10, 50]],
        [logTicks, [0.01, 1000], 8, [0.01, 0.1, 1, 10, 100, 1000]],
        [logTicks, [3, 4], 8, []],
        [linearTicks, [20, 50], 6, [20, 25, 30, 35, 40, 45, 50]],
        [linearTicks, [20, 50], 8, [20, 25, 30, 35, 40, 45, 50]],
        [linearTicks, [25, 30], 6, [25, 26, 27, 28, 29, 30]],
        [linearTicks, [0.1, 0.35], 5, [0.1, 0.15, 0.2, 0.25, 0.3, 0.35]],
    ];
    for (const [ticks, domain, most, expected] of cases) {
        assert.deepEqual(ticks(...domain, most), expected, `${ticks.name}(${domain}, ${most})`);
    }
});

test("the domains hold every point and the floor, PSNR in whole 5 dB bands", () => {
    const points = [{bpp: 9.5, psnr: 51.2}, {bpp: 2.1, psnr: 35.2}, {bpp: 1.2, psnr: 27.9},
                    {bpp: 3, psnr: Infinity}];
    const {x, y} = domains(points);
    assert.ok(x[0] < FLOOR_BPP && x[1] > 9.5, `x ${x}`);
    assert.deepEqual(y, [25, 55]);
    // A picture whose every file is above the floor still shows the floor.
    assert.ok(domains([{bpp: 4, psnr: 40}]).x[0] < FLOOR_BPP);
    assert.deepEqual(domains([{bpp: 4, psnr: 40}]).y, [40, 45]);
    assert.deepEqual(domains([]).y, [20, 50]);
});

test("the path moves to the first point and draws lines to the rest", () => {
    assert.equal(curvePath([]), "");
    assert.equal(curvePath([[1, 2]]), "M1.00,2.00");
    assert.equal(curvePath([[10.125, 20], [30, 40.5], [5, 6]]),
                 "M10.13,20.00L30.00,40.50L5.00,6.00");
});
