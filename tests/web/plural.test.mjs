// The page's counts: one takes the singular, every other count (0 among them) the plural.
import assert from "node:assert/strict";
import {test} from "node:test";

import {countOf} from "../../web/plural.js";

test("a count takes its noun in the singular for 1 only", () => {
    const cases = [
        [[1, "stored value"], "1 stored value"],
        [[2, "stored value"], "2 stored values"],
        [[0, "byte"], "0 bytes"],
        [[1, "byte"], "1 byte"],
        [[1, "block position"], "1 block position"],
        [[64, "entry", "entries"], "64 entries"],
        [[1, "entry", "entries"], "1 entry"],
    ];
    for (const [args, words] of cases) assert.equal(countOf(...args), words);
});
