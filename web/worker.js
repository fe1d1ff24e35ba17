// The lab's work, off the page's thread, in a module worker: opening pictures, quantising them
// with the codec (lab_module.js), the maps, the figures and the block reports. Requests in (each
// with an id): open, render, inspect, point (a KVRN step or a JPEG quality of the rate-distortion
// plot) and others.
// Replies out, each naming the request it answers and marking its last: opened, shown, figures,
// report, point, failed (and none, for a request with no picture open).
import {BandPool, MOST_WORKERS} from "./band_pool.js";
import {loadLab} from "./lab_module.js";
import {channelMask} from "./state.js";
import {JPEG_CHROMA, JPEG_LUMA, scaledTable} from "./tables.js";
import {SEARCHES, firstFitting} from "./target.js";

// Pictures over this many pixels are refused before they are decoded.
const MAX_PIXELS = 64 * 1024 * 1024;
const MAX_SIDE = 65535;

let lab = null;
const ready = loadLab().then((module) => {
    lab = module;
});

// The pool of workers that quantise a large picture band by band: as many as the processors, at
// most 8. An open request may name the number (`workers`, from the page's `?workers=N`), which
// then also uses the pool for any picture of two block rows or more: the tests and benchmarks do.
const DEFAULT_POOL = Math.min(navigator.hardwareConcurrency || 1, MOST_WORKERS);
// Below a megapixel the pool's messages cost about what it saves.
const POOL_PIXELS = 1 << 20;
let pool = null;
let pooled = false;  // the picture open is held by the pool

let opened = null;  // {name, width, height}
let ownScales = null;  // [y, cr, cb] of a whole KVRN file opened

// Pictures the page has drawn and handed back, to be filled again: a new buffer of a large
// picture's size costs more in page faults than copying the picture into it.
const spares = [];
const MOST_SPARES = 3;

function takeBuffer(bytes) {
    const i = spares.findIndex((buffer) => buffer.byteLength === bytes);
    return i < 0 ? new Uint8ClampedArray(bytes) : new Uint8ClampedArray(spares.splice(i, 1)[0]);
}
let quantisedFor = null;  // the key of the scales and channels the file was made with
let ramp = null;  // the maps' colour ramp, for the colour bars
let figuresFor = null;

// The size a PNG, JPEG, WebP, GIF or BMP header gives, or null; read before decoding so that a huge picture
// is refused without the memory it would take.
function headerSize(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const png = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
    if (bytes.length >= 24 && png.every((b, i) => bytes[i] === b)) {
        return {width: view.getUint32(16), height: view.getUint32(20)};
    }
    if (bytes.length >= 4 && bytes[0] === 0xff && bytes[1] === 0xd8) {
        // The first start-of-frame marker of a JPEG.
        let at = 2;
        while (at + 9 < bytes.length) {
            if (bytes[at] !== 0xff) return null;
            const marker = bytes[at + 1];
            if (marker === 0xff) {
                at += 1;
                continue;
            }
            const length = view.getUint16(at + 2);
            if (marker >= 0xc0 && marker <= 0xcf && marker !== 0xc4 && marker !== 0xc8 &&
                marker !== 0xcc) {
                return {width: view.getUint16(at + 7), height: view.getUint16(at + 5)};
            }
            at += 2 + length;
        }
        return null;
    }
    if (bytes.length >= 30 && String.fromCharCode(...bytes.subarray(0, 4)) === "RIFF" &&
        String.fromCharCode(...bytes.subarray(8, 12)) === "WEBP") {
        const chunk = String.fromCharCode(...bytes.subarray(12, 16));
        if (chunk === "VP8X") {
            const w = 1 + (bytes[24] | (bytes[25] << 8) | (bytes[26] << 16));
            const h = 1 + (bytes[27] | (bytes[28] << 8) | (bytes[29] << 16));
            return {width: w, height: h};
        }
        if (chunk === "VP8L" && bytes[20] === 0x2f) {
            const bits = view.getUint32(21, true);
            return {width: 1 + (bits & 0x3fff), height: 1 + ((bits >>> 14) & 0x3fff)};
        }
        if (chunk === "VP8 ") {
            return {width: view.getUint16(26, true) & 0x3fff,
                    height: view.getUint16(28, true) & 0x3fff};
        }
    }
    if (bytes.length >= 10 && String.fromCharCode(...bytes.subarray(0, 3)) === "GIF") {
        return {width: view.getUint16(6, true), height: view.getUint16(8, true)};
    }
    if (bytes.length >= 26 && bytes[0] === 0x42 && bytes[1] === 0x4d) {
        return {width: Math.abs(view.getInt32(18, true)), height: Math.abs(view.getInt32(22, true))};
    }
    return null;
}

function tooLarge(name, width, height) {
    if (width * height > MAX_PIXELS) {
        return `${name}: ${width} x ${height} pixels is more than the lab's 64 megapixels`;
    }
    if (width > MAX_SIDE || height > MAX_SIDE) {
        return `${name}: ${width} x ${height} pixels: a KVRN picture is at most 65535 pixels a side`;
    }
    return null;
}

function openKvrn(name, bytes, header) {
    const pointer = lab.copyIn(bytes);
    if (pointer === 0) return {error: `${name}: not enough memory to read it`};
    const status = lab.call("open_kvrn", pointer, bytes.length, MAX_PIXELS);
    lab.free(pointer);
    if (status === lab.status.too_large) {
        return {error: tooLarge(name, header.width, header.height) ?? `${name}: too large`};
    }
    if (status !== lab.status.ok) return {error: `${name}: ${lab.statusText(status)}`};
    return {missing: lab.call("missing_blocks"), needed: lab.call("blocks_needed"),
            scales: [header.y_scale, header.cr_scale, header.cb_scale]};
}

async function openPicture(name, bytes) {
    const size = headerSize(bytes);
    if (size !== null) {
        const refusal = tooLarge(name, size.width, size.height);
        if (refusal !== null) return {error: refusal};
    }
    let bitmap;
    try {
        bitmap = await createImageBitmap(new Blob([bytes]), {
            imageOrientation: "from-image",
            premultiplyAlpha: "none",
            colorSpaceConversion: "none",
        });
    } catch (e) {
        return {error: `${name}: not a picture this browser can read, nor a KVRN file ` +
                       `(it may be damaged)`};
    }
    const refusal = tooLarge(name, bitmap.width, bitmap.height);
    if (refusal !== null) {
        bitmap.close();
        return {error: refusal};
    }
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = canvas.getContext("2d", {willReadFrequently: true});
    context.drawImage(bitmap, 0, 0);
    const pixels = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    bitmap.close();
    const pointer = lab.copyIn(pixels);
    if (pointer === 0) return {error: `${name}: not enough memory to hold it`};
    const status = lab.call("open_rgba", pointer, canvas.width, canvas.height);
    lab.free(pointer);
    if (status !== lab.status.ok) return {error: `${name}: ${lab.statusText(status)}`};
    return {missing: 0, needed: 0, scales: null};
}

// The picture each view shows, by the module's picture kinds.
const VIEW_PICTURES = {original: "original", quantised: "shown", viewer: "shown", error: "map",
                       bytes: "map", split: "shown"};

function render(s) {
    // Where the time goes, for scripts/bench-web: milliseconds of each stage.
    const timings = {};
    let mark = performance.now();
    const lap = (stage) => {
        const now = performance.now();
        timings[stage] = now - mark;
        mark = now;
    };
    const channels = channelMask(s.letters, lab.channels);
    const key = `${s.y},${s.cr},${s.cb},${channels},${s.quantiser}`;
    if (quantisedFor !== key) {
        const status = s.tables === null ? lab.call("quantise", s.y, s.cr, s.cb, channels)
                                         : quantiseByTables(s.tables, channels);
        if (status !== lab.status.ok) {
            quantisedFor = null;
            return {error: `cannot quantise the picture: ${lab.statusText(status)}`};
        }
        quantisedFor = key;
        figuresFor = null;
    }
    lap("quantise");
    let bar = null;
    if (s.view === "viewer") {
        // The shown picture is the viewer's now; the next quantised view makes it again.
        quantisedFor = null;
        const status = lab.call("viewer", s.step, channels);
        if (status !== lab.status.ok) {
            return {error: `cannot preview the picture: ${lab.statusText(status)}`};
        }
    } else if (s.view === "error") {
        lab.call("error_map", s.gain);
        bar = lab.mapBar();
    } else if (s.view === "bytes") {
        lab.call("bytes_map", s.bytesScale === "auto" ? 1 : 0);
        bar = lab.mapBar();
    }
    if (bar !== null) {
        ramp ??= lab.ramp();
        bar.ramp = ramp;
    }
    lap("view");
    const {width, height} = opened;
    const message = {
        type: "shown",
        picture: lab.rgba(VIEW_PICTURES[s.view], width, height, takeBuffer(4 * width * height)),
        file: [lab.file()],
        bar,
        timings,
    };
    if (s.view === "split") {
        message.original = lab.rgba("original", width, height, takeBuffer(4 * width * height));
    }
    lap("rgba");
    return message;
}

function quantiseByTables(tables, channels) {
    const pointer = lab.copyIn(new Uint8Array(tables.buffer, tables.byteOffset, tables.byteLength));
    if (pointer === 0) return lab.status.no_memory;
    const status = lab.call("quantise_tables", pointer, channels);
    lab.free(pointer);
    return status;
}

function figures(s) {
    const key = `${s.y},${s.cr},${s.cb},${s.quantiser}`;
    if (figuresFor === key) return {type: "figures", figures: null};
    const start = performance.now();
    const counted = lab.figures();
    figuresFor = key;
    return {type: "figures", milliseconds: performance.now() - start, figures: counted};
}

// A side of the split view with settings of its own: the picture quantised by its scales or by
// JPEG's tables at its quality, all channels, and its figures. The next render quantises again.
function side(m) {
    const {width, height} = opened;
    const all = lab.channels.y | lab.channels.cr | lab.channels.cb;
    quantisedFor = null;
    figuresFor = null;
    const status = m.kind === "table"
        ? quantiseByTables(tablesOfQuality(m.quality), all)
        : lab.call("quantise", m.y, m.cr, m.cb, all);
    if (status !== lab.status.ok) {
        return {type: "failed", message: `cannot quantise the picture: ${lab.statusText(status)}`};
    }
    return {type: "side", picture: lab.rgba("shown", width, height), figures: lab.figures()};
}

function tablesOfQuality(q) {
    const luma = scaledTable(JPEG_LUMA, q);
    const chroma = scaledTable(JPEG_CHROMA, q);
    return Int32Array.from([...luma, ...chroma, ...chroma]);
}

// The target size: the first step (or quality) of its search whose file is at most `limit`
// bytes. Sizing by tables quantises the picture, so the next render quantises it again.
function fit(m) {
    const search = SEARCHES[m.search];
    let size;
    if (m.search === "step") {
        size = (i) => lab.call("file_size_at", search.setting(i));
    } else {
        quantisedFor = null;
        size = (i) => {
            const tables = tablesOfQuality(search.setting(i));
            return quantiseByTables(tables, lab.channels.y | lab.channels.cr | lab.channels.cb) ===
                           lab.status.ok
                       ? lab.call("file_size")
                       : Infinity;
        };
    }
    const {index, sizes} = firstFitting(search.count, size, m.limit);
    return {type: "fitted", setting: index === null ? null : search.setting(index),
            bytes: index === null ? null : sizes.get(index),
            smallest: sizes.get(search.count - 1), best: search.setting(search.count - 1)};
}

// The rate-distortion plot's point of `codec` at `setting`, from this worker's own module (a
// picture the pool holds is still open here), as `kvrn sweep` counts them: for "kvrn" the file at
// that step on every channel (the next render quantises again), for "jpeg420" and "jpeg444" the
// baseline JPEG file at that quality, which leaves the page's file as it is.
function point(codec, setting) {
    if (codec === "jpeg420" || codec === "jpeg444") {
        const record = lab.call("jpeg_figures", setting, codec === "jpeg420" ? 1 : 0);
        return {type: "point", codec, setting, figures: lab.readFigures(record)};
    }
    quantisedFor = null;
    figuresFor = null;
    const all = lab.channels.y | lab.channels.cr | lab.channels.cb;
    const ok = lab.call("quantise", setting, setting, setting, all) === lab.status.ok;
    return {type: "point", codec: "kvrn", setting, figures: ok ? lab.figures() : null};
}

// Hands the picture open to the pool when it is worth it (`workers` as the open request asks);
// false when this worker does it alone.
async function holdInPool(width, height, workers) {
    const size = workers ? Math.min(workers, MOST_WORKERS) : DEFAULT_POOL;
    if (size < 2 || height <= 8 || (!workers && width * height < POOL_PIXELS)) return false;
    if (pool !== null && (pool.size !== size || pool.broken)) {
        pool.fail("the pool is made again");
        pool = null;
    }
    pool ??= new BandPool(size, () => new Worker("band_worker.js", {type: "module"}));
    try {
        await pool.hold(width, height, (first, count) => lab.originalRows(first, count, width));
        return true;
    } catch (e) {
        return false;
    }
}

// The views the pool makes: the file quantised at the scales, shown, measured and kept to save.
function pooledView(s) {
    const own = ownScales !== null && s.y === ownScales[0] && s.cr === ownScales[1] &&
                s.cb === ownScales[2];
    return s.tables === null && !own && (s.view === "quantised" || s.view === "split");
}

// A render by the pool's workers: the picture as soon as every band's is in, then the figures
// from the bands' sums. False when the pool failed and nothing was sent.
async function renderByBands(m) {
    const s = m.settings;
    const {width, height} = opened;
    const start = performance.now();
    const asked = pool.quantise(s.y, s.cr, s.cb, channelMask(s.letters, lab.channels));
    let bands;
    try {
        bands = await asked.bands;
    } catch (e) {
        return false;
    }
    const quantised = performance.now();
    // This worker's own module holds no quantised picture now: its views make one again.
    quantisedFor = null;
    figuresFor = null;
    // The file in parts, the header and the bands' block streams in order, which the page saves
    // as they are: put together here, a large picture's file would cost page faults on every step.
    const file = [lab.fileHeader(s.y, s.cr, s.cb), ...bands.map((band) => band.stream)];
    const clipped = bands.reduce((sum, band) => sum + band.clipped, 0);
    const bytes = file.reduce((sum, part) => sum + part.length, 0);
    // The bands go to the page as they are, each with the canvas row it starts at (top row
    // first: a band's rows end `first + rows` rows from the bottom).
    const shownBands = pool.bands.map((band, i) => ({rgba: bands[i].rgba,
                                                     top: height - band.first - band.rows}));
    const message = {type: "shown", bands: shownBands, file, timings: {}};
    if (s.view === "split") {
        message.original = lab.rgba("original", width, height, takeBuffer(4 * width * height));
    }
    // The slowest band's own time in the codec and in copying its rows out, for scripts/bench-web.
    const slowest = (stage) => Math.max(...bands.map((b) => b.timings[stage]));
    message.timings = {quantise: quantised - start, band: slowest("band"),
                       copy: slowest("copy"), view: 0, rgba: performance.now() - quantised};
    const transfer = [...file, ...shownBands.map((band) => band.rgba)].map((part) => part.buffer);
    if (message.original) transfer.push(message.original.buffer);
    reply(m, message, false, transfer);

    let sums;
    try {
        sums = await asked.sums;
    } catch (e) {
        // The pool failed after the picture: the same file measured by this worker alone.
        pooled = false;
        const again = render(s);
        reply(m, again.error ? {type: "failed", message: again.error} : figures(s), true);
        return true;
    }
    const rows = new Float64Array(2 * height);
    let sseRgb = 0;
    let maxError = 0;
    pool.bands.forEach((band, i) => {
        const counted = sums[i].sums;
        sseRgb += counted[0];
        maxError = Math.max(maxError, counted[1]);
        rows.set(counted.subarray(2, 2 + band.rows), band.first);
        rows.set(counted.subarray(2 + band.rows, 2 + 2 * band.rows), height + band.first);
    });
    const figures = lab.figuresOfSums(rows, sseRgb, maxError, bytes, clipped);
    reply(m, {type: "figures", milliseconds: performance.now() - start, figures}, true);
    return true;
}

// One request at a time, in order: an open that waits for the browser's decoder finishes before
// the renders sent after it start.
let queue = ready;
onmessage = (event) => {
    const m = event.data;
    if (m.kind === "recycle") {
        // A band's picture goes back to its worker, any other to the spares.
        if (pool === null || !pool.recycle(m.buffer)) {
            spares.push(m.buffer);
            if (spares.length > MOST_SPARES) spares.shift();
        }
        return;
    }
    queue = queue.then(() => handle(m)).catch((e) => {
        postMessage({type: "failed", request: m.id, last: true, message: `the lab failed: ${e}`});
    });
};

// Posts a reply to request `m`; `last` when no other follows.
function reply(m, message, last, transfer = []) {
    postMessage({...message, request: m.id, last}, transfer);
}

async function handle(m) {
    if (m.kind === "open") {
        const bytes = new Uint8Array(m.buffer);
        const header = lab.readHeader(bytes);
        if (header === null) {
            reply(m, {type: "failed", message: `${m.name}: not enough memory to read it`}, true);
            return;
        }
        const result = header.kvrn ? openKvrn(m.name, bytes, header)
                                   : await openPicture(m.name, bytes);
        if (result.error) {
            reply(m, {type: "failed", message: result.error}, true);
            return;
        }
        opened = {name: m.name, width: lab.call("width"), height: lab.call("height")};
        // A whole KVRN file is itself at its own scales, which the pool (quantising the decoded
        // picture again) would not give.
        ownScales = result.scales !== null && result.missing === 0 ? result.scales : null;
        quantisedFor = null;
        figuresFor = null;
        pooled = await holdInPool(opened.width, opened.height, m.workers);
        reply(m, {type: "opened", ...opened, ...result, bands: pooled ? pool.bands.length : 1},
              true);
    } else if (m.kind === "render") {
        if (opened === null) {
            reply(m, {type: "none"}, true);
            return;
        }
        if (pooled && pooledView(m.settings)) {
            if (await renderByBands(m)) return;
            pooled = false;  // the pool failed: this worker alone from now on
        }
        const shown = render(m.settings);
        if (shown.error) {
            reply(m, {type: "failed", message: shown.error}, true);
            return;
        }
        const transfer = [shown.picture.buffer, shown.file[0].buffer];
        if (shown.original) transfer.push(shown.original.buffer);
        reply(m, shown, false, transfer);
        // The figures follow the picture: the page shows it without waiting for the SSIM.
        reply(m, figures(m.settings), true);
    } else if (m.kind === "side:left" || m.kind === "side:right") {
        const answer = opened === null ? {type: "none"} : side(m.settings);
        reply(m, answer, true, answer.picture ? [answer.picture.buffer] : []);
    } else if (m.kind === "fit") {
        reply(m, opened === null ? {type: "none"} : fit(m), true);
    } else if (m.kind === "point") {
        reply(m, opened === null ? {type: "none"} : point(m.codec, m.setting), true);
    } else if (m.kind === "inspect") {
        const report = opened === null ? null
            : m.tables ? lab.inspectTables(m.column, m.row, m.tables)
            : lab.inspect(m.column, m.row, m.y, m.cr, m.cb);
        reply(m, {type: "report", report, zigzag: report === null ? null : lab.zigzag()}, true);
    }
}

