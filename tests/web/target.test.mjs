// The target size's bisection, held to an exhaustive search, under Node's test runner.
import assert from "node:assert/strict";
import {test} from "node:test";

import {SEARCHES, firstFitting, limitBytes} from "../../web/target.js";

// Sizes falling with the setting's index as a file's fall with the step: long flat runs (the
// sizes of large steps, where nothing but the DC is left) and steep early falls.
function sizesOf(count, seed) {
    let x = seed;
    const random = () => {
        x = (x * 1103515245 + 12345) % 2147483648;
        return x / 2147483648;
    };
    const sizes = [];
    let size = 200000;
    for (let i = 0; i < count; ++i) {
        if (random() < 0.3) size -= Math.floor(random() * (i < 50 ? 20000 : 50));
        sizes.push(Math.max(1000, size));
    }
    return sizes;
}

test("the first setting that fits is what an exhaustive search finds", () => {
    for (const [name, count] of [["step", 65535], ["quality", 100], ["one", 1], ["two", 2]]) {
        for (let seed = 1; seed <= 20; ++seed) {
            const sizes = sizesOf(count, seed);
            const limits = [sizes[0], sizes[0] + 1, sizes[count - 1], sizes[count - 1] - 1, 0,
                            sizes[Math.floor(count / 3)], sizes[Math.floor(count / 3)] - 1];
            for (const limit of limits) {
                let asked = 0;
                const found = firstFitting(count, (i) => {
                    ++asked;
                    return sizes[i];
                }, limit);
                const first = sizes.findIndex((s) => s <= limit);
                assert.equal(found.index, first === -1 ? null : first,
                             `${name}, seed ${seed}, limit ${limit}`);
                // Bisection: at most two ends and log2(count) middles.
                assert.ok(asked <= 2 + Math.ceil(Math.log2(count)), `${asked} sizes asked`);
            }
        }
    }
});

test("steps count up from 1, qualities down from 100; limits in bytes or bits per pixel", () => {
    assert.deepEqual([0, 1, 65534].map(SEARCHES.step.setting), [1, 2, 65535]);
    assert.deepEqual([0, 1, 99].map(SEARCHES.quality.setting), [100, 99, 1]);
    assert.equal(limitBytes(20000.7, "bytes", 1), 20000);
    // 2 bits per pixel of 403 x 251 pixels: floor(2 * 101153 / 8) bytes.
    assert.equal(limitBytes(2, "bpp", 403 * 251), 25288);
    assert.equal(limitBytes(1.125, "bpp", 64), 9);
});
