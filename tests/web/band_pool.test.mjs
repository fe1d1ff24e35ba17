// How the pool shares a picture's block rows out, and what it does when a worker fails, with a
// stand-in for the Worker that records what it is sent and answers when told to.
import assert from "node:assert/strict";
import {test} from "node:test";

import {BandPool, bandPlan, bandRows} from "../../web/band_pool.js";
import {FakeWorker} from "./fake_worker.mjs";

test("bands cover every row once, whole block rows, as even as they go", () => {
    for (const height of [1, 7, 8, 9, 16, 17, 20, 251, 3000]) {
        for (const workers of [1, 2, 3, 5, 8]) {
            const blockRows = Math.ceil(height / 8);
            const plan = bandPlan(blockRows, workers);
            assert.equal(plan.length, Math.min(workers, blockRows), `${height} rows, ${workers}`);
            const sizes = plan.map((b) => b.last - b.first);
            assert.ok(Math.max(...sizes) - Math.min(...sizes) <= 1, `${sizes}`);
            let next = 0;
            for (const band of plan) {
                const rows = bandRows(band, height);
                assert.equal(rows.first, next, `${height} rows, ${workers} workers: no gap`);
                next = rows.first + rows.rows;
                // A block row of halo on each side where the picture goes on, which the SSIM
                // window's 5 rows fit in, and the rows held are the picture's.
                assert.equal(rows.below, Math.min(8, rows.first));
                assert.equal(rows.held, rows.first - rows.below);
                const above = rows.held + rows.heldRows - next;
                assert.equal(above, Math.min(8, height - next));
                assert.equal(rows.first % 8, 0);
            }
            assert.equal(next, height);
        }
    }
});

function pool(size) {
    const workers = [];
    const made = new BandPool(size, () => {
        const worker = new FakeWorker();
        workers.push(worker);
        return worker;
    });
    return {made, workers};
}

async function held(size, width, height) {
    const {made, workers} = pool(size);
    const holding = made.hold(width, height, (first, count) => new Uint8Array(3 * width * count));
    for (const worker of workers) worker.reply({kind: "held", id: worker.sent[0].message.id});
    await holding;
    return {made, workers};
}

test("each worker gets its rows with their halo, and its band picture back to fill", async () => {
    const {made, workers} = await held(3, 5, 40);
    assert.equal(workers.length, 3);
    assert.deepEqual(workers.map((w) => [w.sent[0].message.below, w.sent[0].message.rows,
                                         w.sent[0].message.height]),
                     [[0, 8, 16], [8, 16, 32], [8, 16, 24]]);
    const first = made.quantise(4, 4, 4, 7);
    workers.forEach((w, i) => {
        const {id, rows} = w.sent[1].message;
        assert.equal(w.sent[1].message.reuse, null);
        w.reply({kind: "quantised", id, rgba: new Uint8ClampedArray(4 * 5 * rows), stream: [],
                 clipped: i});
        w.reply({kind: "sums", id, sums: new Float64Array(2 + 2 * rows)});
    });
    const bands = await first.bands;
    assert.equal((await first.sums).length, 3);
    // The bands' pictures come back from the page in any order; each goes to a worker whose band
    // is that size, once.
    assert.equal(made.recycle(bands[2].rgba.buffer), true);
    assert.equal(made.recycle(bands[0].rgba.buffer), true);
    assert.equal(made.recycle(bands[1].rgba.buffer), true);
    assert.equal(made.recycle(new ArrayBuffer(4 * 5 * 16)), false);
    made.quantise(4, 4, 4, 7);
    assert.deepEqual(workers.map((w) => w.sent[2].message.reuse?.byteLength),
                     [4 * 5 * 8, 4 * 5 * 16, 4 * 5 * 16]);
});

test("a worker that fails refuses its answers; one that ends breaks the pool", async () => {
    const {made, workers} = await held(2, 3, 20);
    const asked = made.quantise(2, 2, 2, 7);
    workers[0].reply({kind: "failed", id: workers[0].sent[1].message.id, message: "no room"});
    await assert.rejects(asked.bands, /no room/);
    await assert.rejects(asked.sums, /no room/);

    const again = made.quantise(2, 2, 2, 7);
    const prevented = workers[1].crash("out of memory");
    await assert.rejects(again.bands, /out of memory/);
    assert.ok(prevented);
    assert.ok(made.broken);
    assert.ok(workers.every((w) => w.terminated));
    await assert.rejects(made.hold(3, 20, () => new Uint8Array(0)), /failed before/);
});
