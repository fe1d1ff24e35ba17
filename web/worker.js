// The lab's work, off the page's thread: opening pictures, quantising them with the codec
// (kvrn-lab.wasm, built from web/lab.cpp and the codec), the maps, the figures and the block
// reports. Messages in: open, render, inspect. Messages out: opened, shown, figures, report,
// failed.
importScripts("kvrn-lab.js");

// Pictures over this many pixels are refused before they are decoded.
const MAX_PIXELS = 64 * 1024 * 1024;
const MAX_SIDE = 65535;
const STATUS_TOO_LARGE = 4;
const STATUS_NO_MEMORY = 6;

let lab = null;
const ready = createLab().then((module) => {
    lab = module;
});

let opened = null;  // {name, width, height}
let quantisedFor = null;  // the key of the scales and channels the file was made with
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

function statusText(status) {
    return lab.UTF8ToString(lab._lab_status_text(status));
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

function copyIn(bytes) {
    const pointer = lab._malloc(Math.max(bytes.length, 1));
    if (pointer === 0) return 0;
    lab.HEAPU8.set(bytes, pointer);
    return pointer;
}

async function openKvrn(name, bytes) {
    const pointer = copyIn(bytes);
    if (pointer === 0) return {error: `${name}: not enough memory to read it`};
    const status = lab._lab_open_kvrn(pointer, bytes.length, MAX_PIXELS);
    lab._free(pointer);
    if (status === STATUS_TOO_LARGE) {
        const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
        return {error: tooLarge(name, view.getUint16(4, true), view.getUint16(6, true)) ??
                           `${name}: too large`};
    }
    if (status !== 0) return {error: `${name}: ${statusText(status)}`};
    return {missing: lab._lab_missing_blocks(), needed: lab._lab_blocks_needed()};
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
    const pointer = copyIn(pixels);
    if (pointer === 0) return {error: `${name}: not enough memory to hold it`};
    const status = lab._lab_open_rgba(pointer, canvas.width, canvas.height);
    lab._free(pointer);
    if (status !== 0) return {error: `${name}: ${statusText(status)}`};
    return {missing: 0, needed: 0};
}

function rgba(which) {
    const pointer = lab._lab_rgba(which);
    const length = 4 * opened.width * opened.height;
    return new Uint8ClampedArray(lab.HEAPU8.buffer, pointer, length).slice();
}

const VIEW_PICTURES = {original: 0, quantised: 1, viewer: 1, error: 2, bytes: 2, split: 1};

function render(s) {
    // Where the time goes, for scripts/bench-web: milliseconds of each stage.
    const timings = {};
    let mark = performance.now();
    const lap = (stage) => {
        const now = performance.now();
        timings[stage] = now - mark;
        mark = now;
    };
    const key = `${s.y},${s.cr},${s.cb},${s.channels},${s.quantiser}`;
    if (quantisedFor !== key) {
        const status = s.tables === null ? lab._lab_quantise(s.y, s.cr, s.cb, s.channels)
                                         : quantiseByTables(s.tables, s.channels);
        if (status !== 0) {
            quantisedFor = null;
            return {error: `cannot quantise the picture: ${statusText(status)}`};
        }
        quantisedFor = key;
        figuresFor = null;
    }
    lap("quantise");
    if (s.view === "viewer") {
        // The shown picture is the viewer's now; the next quantised view makes it again.
        quantisedFor = null;
        const status = lab._lab_viewer(s.step, s.channels);
        if (status !== 0) return {error: `cannot preview the picture: ${statusText(status)}`};
    } else if (s.view === "error") {
        lab._lab_error_map(s.gain);
    } else if (s.view === "bytes") {
        lab._lab_bytes_map();
    }
    lap("view");
    const message = {
        type: "shown",
        settings: s,
        picture: rgba(VIEW_PICTURES[s.view]),
        file: new Uint8Array(lab.HEAPU8.buffer, lab._lab_file(), lab._lab_file_size()).slice(),
        timings,
    };
    if (s.view === "split") message.original = rgba(0);
    lap("rgba");
    return message;
}

function quantiseByTables(tables, channels) {
    const pointer = lab._malloc(tables.byteLength);
    if (pointer === 0) return STATUS_NO_MEMORY;
    new Int32Array(lab.HEAPU8.buffer, pointer, tables.length).set(tables);
    const status = lab._lab_quantise_tables(pointer, channels);
    lab._free(pointer);
    return status;
}

function figures(s) {
    const key = `${s.y},${s.cr},${s.cb},${s.quantiser}`;
    if (figuresFor === key) return null;
    const start = performance.now();
    const [bytes, bitsPerPixel, psnrRgb, psnrY, ssimY, clipped] =
        lab.UTF8ToString(lab._lab_figures()).split(" ");
    figuresFor = key;
    return {
        type: "figures",
        settings: s,
        milliseconds: performance.now() - start,
        figures: {
            bytes,
            bits_per_pixel: bitsPerPixel,
            psnr_rgb: psnrRgb,
            psnr_y: psnrY,
            ssim_y: ssimY,
            clipped,
        },
    };
}

function inspect(m) {
    const pointer = lab._lab_inspect(m.column, m.row, m.y, m.cr, m.cb);
    if (pointer === 0) return {type: "report", report: null};
    const words = new Int32Array(lab.HEAPU8.buffer, pointer, 1551).slice();
    const zigzag = Array.from({length: 64}, (_, n) => lab._lab_zigzag_index(n));
    return {type: "report", request: m, words, zigzag};
}

// One message at a time, in order: an open that waits for the browser's decoder finishes before
// the renders sent after it start.
let queue = ready;
onmessage = (event) => {
    const m = event.data;
    queue = queue.then(() => handle(m)).catch((e) => {
        postMessage({type: "failed", message: `the lab failed: ${e}`, open: m.type === "open"});
    });
};

async function handle(m) {
    if (m.type === "open") {
        const bytes = new Uint8Array(m.buffer);
        const isKvrn = bytes.length >= 4 && bytes[0] === 0x4e && bytes[1] === 0x52 &&
                       bytes[2] === 0x56 && bytes[3] === 0x4b;
        const result = isKvrn ? await openKvrn(m.name, bytes) : await openPicture(m.name, bytes);
        if (result.error) {
            postMessage({type: "failed", message: result.error, open: true});
            return;
        }
        opened = {name: m.name, width: lab._lab_width(), height: lab._lab_height()};
        quantisedFor = null;
        figuresFor = null;
        postMessage({type: "opened", ...opened, kvrn: isKvrn, quiet: m.quiet === true, ...result});
    } else if (m.type === "render") {
        if (opened === null) return;
        const shown = render(m.settings);
        if (shown.error) {
            postMessage({type: "failed", message: shown.error});
            return;
        }
        const transfer = [shown.picture.buffer, shown.file.buffer];
        if (shown.original) transfer.push(shown.original.buffer);
        postMessage(shown, transfer);
        // The figures follow the picture: the page shows it without waiting for the SSIM.
        const counted = figures(m.settings);
        if (counted !== null) postMessage(counted);
        else postMessage({type: "figures", settings: m.settings, figures: null});
    } else if (m.type === "inspect") {
        if (opened === null) return;
        postMessage(inspect(m));
    }
}
