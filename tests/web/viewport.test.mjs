// The viewport's arithmetic for the keyboard: blocks moved by the arrows, where a block starts,
// and the divider's keys, under Node's test runner.
import assert from "node:assert/strict";
import {test} from "node:test";

import {blockAt, blockOrigin, dividerAfterKey, movedBlock} from "../../web/viewport.js";

test("the arrows move the block one position, held inside the picture", () => {
    // A 403 x 251 picture: 51 block columns, 32 block rows.
    const cases = [
        // from, move, to
        [{column: 10, row: 5}, [1, 0], {column: 11, row: 5}],
        [{column: 10, row: 5}, [0, -1], {column: 10, row: 4}],
        [{column: 0, row: 0}, [-1, 0], {column: 0, row: 0}],
        [{column: 0, row: 0}, [0, -1], {column: 0, row: 0}],
        [{column: 50, row: 31}, [1, 0], {column: 50, row: 31}],
        [{column: 50, row: 31}, [0, 1], {column: 50, row: 31}],
        [{column: 49, row: 30}, [1, 1], {column: 50, row: 31}],
    ];
    for (const [from, move, to] of cases) {
        assert.deepEqual(movedBlock(from, move, 403, 251), to, `${JSON.stringify(from)} ${move}`);
    }
});

test("a block's first pixel is the one blockAt finds it under, the cut top row above the picture",
     () => {
    for (const [width, height] of [[403, 251], [16, 16], [5, 3], [1024, 768]]) {
        const rows = Math.ceil(height / 8);
        for (let row = 0; row < rows; ++row) {
            const {x, y} = blockOrigin(2, row, height);
            assert.equal(x, 16);
            // The block's lowest pixel row is inside the picture and lies in that block.
            assert.deepEqual(blockAt(x, y + 7, height), {column: 2, row}, `${height}, row ${row}`);
            if (row > 0) assert.ok(y >= 0);
        }
        assert.equal(blockOrigin(0, 0, height).y, height - 8 * rows);
    }
});

test("the divider's keys move it by 1 % and 10 %, to the edges with Home and End", () => {
    const cases = [
        // split, key, after
        [0.5, "ArrowRight", 0.51],
        [0.5, "ArrowUp", 0.51],
        [0.5, "ArrowLeft", 0.49],
        [0.5, "ArrowDown", 0.49],
        [0.5, "PageUp", 0.6],
        [0.5, "PageDown", 0.4],
        [0.95, "PageUp", 1],
        [0.005, "ArrowLeft", 0],
        [1, "ArrowRight", 1],
        [0.37, "Home", 0],
        [0.37, "End", 1],
        [0.37, "Enter", null],
        [0.37, "a", null],
    ];
    for (const [split, key, after] of cases) {
        assert.equal(dividerAfterKey(split, key), after, `${split} ${key}`);
    }
});
