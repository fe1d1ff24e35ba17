// The lab's state in the address's fragment: what is written is read back the same, and what is
// unsound in an address typed or cut short is left out, not half-applied.
import assert from "node:assert/strict";
import {test} from "node:test";

import {fragmentOf, parseFragment} from "../../web/fragment.js";

const BASE = {picture: "ladybird-1024x768.jpg", step: 8, scales: [8, 8, 8], linked: true,
              quantiser: "scales", quality: 50, letters: "yrb", view: "quantised", zoom: 0.875,
              x: 512, y: 384, block: {column: 3, row: 47}};

test("every state's fragment is read back as it was", () => {
    const cases = [
        [{}, "picture=ladybird-1024x768.jpg&step=8&channels=yrb&view=quantised&zoom=0.875&x=512&" +
             "y=384&block=3,47"],
        [{linked: false, scales: [3, 20, 60]}, "scales=3,20,60"],
        [{quantiser: "jpeg", quality: 75}, "table=jpeg:75"],
        [{letters: ""}, "channels=&"],
        [{letters: "rb", view: "split"}, "channels=rb&view=split"],
        [{picture: null, block: null}, "step=8&channels"],
        [{zoom: 2 / 3}, "zoom=0.667"],
        [{view: "bytes", bytesScale: "fixed"}, "view=bytes&bytes-scale=fixed&zoom"],
        [{view: "error", bytesScale: "fixed"}, "view=error&zoom"],
    ];
    for (const [change, expected] of cases) {
        const s = {...BASE, ...change};
        const fragment = fragmentOf(s);
        assert.ok(fragment.includes(expected), `${fragment} holds ${expected}`);
        const back = parseFragment(`#${fragment}`);
        assert.equal(back.picture, s.picture ?? undefined);
        assert.equal(back.letters, s.letters);
        assert.equal(back.view, s.view);
        assert.equal(back.bytesScale, s.view === "bytes" ? s.bytesScale : undefined);
        assert.equal(back.zoom, Math.round(s.zoom * 1000) / 1000);
        assert.deepEqual([back.x, back.y], [s.x, s.y]);
        assert.deepEqual(back.block, s.block ?? undefined);
        if (s.quantiser === "jpeg") assert.equal(back.quality, s.quality);
        else if (s.linked) assert.equal(back.step, s.step);
        else assert.deepEqual(back.scales, s.scales);
    }
});

test("unsound fields are left out, the sound ones kept", () => {
    const cases = [
        ["step=0", {}],
        ["step=65536", {}],
        ["step=8.5", {}],
        ["step=-3&view=error", {view: "error"}],
        ["scales=1,2", {}],
        ["scales=1,2,70000", {}],
        ["table=jpeg:0&step=4", {step: 4}],
        ["table=jpeg:101", {}],
        ["table=mine:50", {}],
        ["channels=yy", {}],
        ["channels=by", {}],
        ["view=map", {}],
        ["view=bytes&bytes-scale=own", {view: "bytes"}],
        ["zoom=-1", {}],
        ["zoom=1e9", {zoom: 32}],
        ["x=5", {}],
        ["x=5&y=six", {}],
        ["block=1", {}],
        ["block=1,2,3", {}],
        ["picture=../../etc/passwd", {}],
        ["picture=<script>", {}],
        ["", {}],
    ];
    for (const [fragment, expected] of cases) {
        assert.deepEqual(parseFragment(`#${fragment}`), expected, fragment);
    }
});
