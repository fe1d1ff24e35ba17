// The lab's pool of workers (band_worker.js), used by worker.js for a large picture: each holds a
// band of whole block rows and quantises it, so that a step change on a 12-megapixel photograph
// takes a share of the time on each core. worker.js puts the bands' pictures, block streams and
// sums together; the picture, the file and the figures are those of one worker alone, byte for
// byte, however the rows are shared out.

export const MOST_WORKERS = 8;

// The bands of `blockRows` block rows among at most `count` workers, bottom first, as even as
// whole block rows allow: [{first, last}] in block rows.
export function bandPlan(blockRows, count) {
    const bands = Math.max(1, Math.min(count, blockRows));
    return Array.from({length: bands}, (_, i) => ({
        first: Math.floor(blockRows * i / bands),
        last: Math.floor(blockRows * (i + 1) / bands),
    }));
}

// The picture rows a band of block rows [first, last) quantises and shows, of a picture `height`
// rows high, and those it holds: one block row more on each side where there is one, which the
// SSIM window reaches into (5 rows).
export function bandRows({first, last}, height) {
    const r0 = 8 * first;
    const r1 = Math.min(8 * last, height);
    const lo = Math.max(0, r0 - 8);
    const hi = Math.min(height, r1 + 8);
    return {first: r0, rows: r1 - r0, held: lo, heldRows: hi - lo, below: r0 - lo};
}

export class BandPool {
    // `spawn()` makes a Worker-like object; `size` workers at most are made, as they are needed.
    constructor(size, spawn) {
        this.size = size;
        this.spawn = spawn;
        this.workers = [];
        this.bands = [];
        this.broken = false;
        this.nextId = 1;
        this.expected = new Map();  // `${worker}:${id}:${kind}` -> {resolve, reject}
        this.spare = [];  // each worker's last band picture, handed back to be filled again
    }

    start(index) {
        const worker = this.spawn();
        worker.onmessage = (event) => this.receive(index, event.data);
        worker.onerror = (event) => {
            event.preventDefault?.();
            this.fail(`a worker of the pool ended: ${event.message ?? "out of memory"}`);
        };
        return worker;
    }

    // Every worker ended and every answer awaited refused: the pool is not used again.
    fail(why) {
        this.broken = true;
        for (const worker of this.workers) worker.terminate();
        this.workers = [];
        for (const {reject} of this.expected.values()) reject(new Error(why));
        this.expected.clear();
    }

    receive(index, reply) {
        if (reply.kind === "failed") {
            // Whatever the worker owed for that request is refused.
            for (const [key, {reject}] of this.expected) {
                if (key.startsWith(`${index}:${reply.id}:`)) {
                    this.expected.delete(key);
                    reject(new Error(reply.message));
                }
            }
            return;
        }
        const key = `${index}:${reply.id}:${reply.kind}`;
        const waiting = this.expected.get(key);
        if (waiting === undefined) return;
        this.expected.delete(key);
        waiting.resolve(reply);
    }

    expect(index, id, kind) {
        return new Promise((resolve, reject) => {
            this.expected.set(`${index}:${id}:${kind}`, {resolve, reject});
        });
    }

    // Hands each worker its band of a `width` x `height` picture; `rows(first, count)` gives the
    // picture's rows from `first` up, packed RGB, bottom row first, as a copy it may give away.
    async hold(width, height, rows) {
        if (this.broken) throw new Error("the pool failed before");
        const plan = bandPlan(Math.ceil(height / 8), this.size);
        while (this.workers.length < plan.length) this.workers.push(this.start(this.workers.length));
        this.bands = plan.map((band) => bandRows(band, height));
        this.spare = [];
        this.width = width;
        this.height = height;
        const id = this.nextId++;
        const held = this.bands.map((band, i) => {
            const rgb = rows(band.held, band.heldRows);
            const answer = this.expect(i, id, "held");
            this.workers[i].postMessage({kind: "hold", id, rgb: rgb.buffer, width,
                                         height: band.heldRows, below: band.below,
                                         rows: band.rows}, [rgb.buffer]);
            return answer;
        });
        await Promise.all(held);
    }

    // A band's picture drawn and handed back: to the first worker without one of its size, to be
    // filled again with the next quantisation. False when no worker wants it.
    recycle(buffer) {
        const i = this.bands.findIndex((band, j) => !this.spare[j] &&
                                                    buffer.byteLength === 4 * this.width * band.rows);
        if (i < 0) return false;
        this.spare[i] = buffer;
        return true;
    }

    // Quantises every band at the scales with `channels` on. Returns {bands, sums}, two promises:
    // each band's {rgba, stream, clipped}, and each band's sums, in the order of `this.bands`.
    quantise(y, cr, cb, channels) {
        const id = this.nextId++;
        const pictures = [];
        const sums = [];
        this.bands.forEach((band, i) => {
            pictures.push(this.expect(i, id, "quantised"));
            sums.push(this.expect(i, id, "sums"));
            const reuse = this.spare[i] ?? null;
            this.spare[i] = null;
            this.workers[i].postMessage({kind: "quantise", id, y, cr, cb, channels,
                                         width: this.width, rows: band.rows, reuse},
                                        reuse === null ? [] : [reuse]);
        });
        const bands = Promise.all(pictures);
        const counted = Promise.all(sums);
        // A failure is seen through `bands`; `sums` may then never be awaited.
        counted.catch(() => {});
        return {bands, sums: counted};
    }
}
