// The lab page: controls, the picture and its views, the figures and the inspector. The codec
// runs in worker.js; this thread only draws what it answers.
import {parseReport, showReport} from "./inspector.js";
import {JPEG_CHROMA, JPEG_LUMA, scaledTable, tableGrid} from "./tables.js";

const $ = (selector) => document.querySelector(selector);
const MAX_SCALE = 65535;
const SAMPLE = "default.kvrn";

const canvas = $("#picture");
const context = canvas.getContext("2d");
const viewport = $("#viewport");
const message = $("#message");

let worker = startWorker();
let kept = null;  // the bytes and name of the picture open, to open again in a new worker

const state = {
    step: 8,
    scales: [8, 8, 8],
    linked: true,
    channels: {y: true, r: true, b: true},
    view: "quantised",
    gain: 8,
    zoom: 1,
    split: 0.5,  // the divider's place, as a share of the width
    quantiser: "scales",  // or "jpeg" (the example tables at `quality`) or "custom"
    quality: 50,
    custom: {luma: [...JPEG_LUMA], chroma: [...JPEG_CHROMA]},
};

let picture = null;    // {name, width, height} of the picture open
let opening = false;   // a picture is being opened: no renders until it is
let busy = false;      // a render is in the worker
let wanted = false;    // the settings changed since the last render was sent
let last = null;       // the last picture shown: {settings, picture, original}
let selected = null;   // the block inspected: {column, row}
let inspectedFor = ""; // the scales and picture of the report shown
let pngFor = "";       // the render the PNG link holds

function letters(channels) {
    return (channels.y ? "y" : "") + (channels.r ? "r" : "") + (channels.b ? "b" : "");
}

function mask(channels) {
    return (channels.y ? 1 : 0) | (channels.r ? 2 : 0) | (channels.b ? 4 : 0);
}

// The luma and chroma tables of the table mode, or null when the scales quantise.
function tables() {
    if (state.quantiser === "jpeg") {
        return {luma: scaledTable(JPEG_LUMA, state.quality),
                chroma: scaledTable(JPEG_CHROMA, state.quality)};
    }
    return state.quantiser === "custom" ? state.custom : null;
}

// What quantises, in words for the data attributes: "scales", "jpeg:QUALITY" or "custom:" and
// the 128 entries of the luma and chroma tables.
function quantiserLabel() {
    if (state.quantiser === "jpeg") return `jpeg:${state.quality}`;
    if (state.quantiser === "custom") {
        return `custom:${state.custom.luma.join(".")}/${state.custom.chroma.join(".")}`;
    }
    return "scales";
}

function settings() {
    const [y, cr, cb] = state.scales;
    const t = tables();
    return {
        step: state.step, y, cr, cb, channels: mask(state.channels),
        letters: letters(state.channels), view: state.view, gain: state.gain,
        quantiser: quantiserLabel(),
        tables: t === null ? null : Int32Array.from([...t.luma, ...t.chroma, ...t.chroma]),
    };
}

function renderedKey(s) {
    return `${s.step},${s.y},${s.cr},${s.cb},${s.letters},${s.view}`;
}

function say(text, kind = "") {
    message.textContent = text;
    message.className = kind;
}

// --- talking to the worker -------------------------------------------------------------------

function requestRender() {
    wanted = true;
    pump();
}

function pump() {
    if (busy || opening || picture === null || !wanted) return;
    wanted = false;
    busy = true;
    $("#figures-state").textContent = "(counting)";
    worker.postMessage({type: "render", settings: settings()});
}

async function openFile(file) {
    let buffer;
    try {
        buffer = await file.arrayBuffer();
    } catch (e) {
        say(`${file.name}: cannot be read`, "error");
        return;
    }
    openBytes(file.name, buffer);
}

function openBytes(name, buffer) {
    opening = true;
    say(`Opening ${name}…`);
    pendingHeader = buffer.byteLength >= 14 ? new DataView(buffer.slice(0, 14)) : null;
    pendingFile = {name, buffer: buffer.slice(0)};
    worker.postMessage({type: "open", name, buffer}, [buffer]);
}

let pendingHeader = null;
let pendingFile = null;

function startWorker() {
    const w = new Worker("worker.js");
    w.onmessage = (event) => {
        const m = event.data;
        if (m.type === "opened") opened(m);
        else if (m.type === "shown") shown(m);
        else if (m.type === "figures") counted(m);
        else if (m.type === "report") reported(m);
        else if (m.type === "failed") failed(m);
    };
    // A worker that ends (out of memory, most likely) is replaced, and the picture that was open
    // is opened again in the new one, with the settings as they are.
    w.onerror = (event) => {
        event.preventDefault();
        w.terminate();
        worker = startWorker();
        busy = false;
        opening = false;
        const what = pendingFile !== null && pendingFile !== kept ? pendingFile.name : "the picture";
        say(`The lab ran out of room with ${what}: ${event.message}. The picture shown stays.`,
            "error");
        if (kept !== null) {
            pendingFile = kept;
            opening = true;
            const buffer = kept.buffer.slice(0);
            worker.postMessage({type: "open", name: kept.name, buffer, quiet: true}, [buffer]);
        }
    };
    return w;
}

function opened(m) {
    opening = false;
    kept = pendingFile;
    if (m.quiet) {
        // The same picture again, in a new worker: only the render is missing.
        requestRender();
        return;
    }
    picture = {name: m.name, width: m.width, height: m.height};
    // A KVRN file opens at its own scales, so that its quantised view is the file itself.
    if (m.kvrn && pendingHeader !== null) {
        const scales = [8, 10, 12].map((at) => pendingHeader.getUint16(at, true));
        if (scales.every((s) => s >= 1)) {
            state.scales = scales;
            state.linked = scales[0] === scales[1] && scales[1] === scales[2];
            if (state.linked) state.step = scales[0];
            syncControls();
        }
    }
    canvas.width = m.width;
    canvas.height = m.height;
    canvas.dataset.picture = m.name;
    delete canvas.dataset.rendered;
    last = null;
    selected = null;
    inspectedFor = "";
    $("#block-outline").hidden = true;
    $("#inspector").querySelectorAll(".report").forEach((e) => e.remove());
    delete $("#inspector").dataset.block;
    delete $("#inspector").dataset.report;
    const base = m.name.replace(/\.[^.]*$/, "") || "picture";
    $("#save-kvrn").download = `${base}.kvrn`;
    $("#save-png").download = `${base}-lab.png`;
    const blocks = Math.ceil(m.width / 8) * Math.ceil(m.height / 8);
    $("#picture-info").textContent = `${m.name}: ${m.width} × ${m.height} pixels, ${blocks} ` +
                                     `block positions`;
    if (m.missing > 0) {
        say(`${m.name}: the stream ends early: ${m.missing} of ${m.needed} blocks are missing ` +
            `(shown as decoded from what is there)`, "warning");
    } else {
        say("");
    }
    zoomToFit();
    requestRender();
}

function failed(m) {
    if (m.open) opening = false;
    else busy = false;
    say(m.open ? `${m.message}. The picture shown stays.` : m.message, "error");
    pump();
}

function draw() {
    if (last === null) return;
    const {width, height} = picture;
    let pixels = last.picture;
    if (last.original) {
        // Original to the left of the divider, quantised to the right.
        pixels = new Uint8ClampedArray(last.picture);
        const cut = Math.round(state.split * width);
        for (let y = 0; y < height; ++y) {
            const row = 4 * y * width;
            pixels.set(last.original.subarray(row, row + 4 * cut), row);
        }
    }
    context.putImageData(new ImageData(pixels, width, height), 0, 0);
    placeOverlays();
}

function shown(m) {
    last = m;
    const start = performance.now();
    draw();
    window.labTimings = {...m.timings, draw: performance.now() - start};
    canvas.dataset.quantiser = m.settings.quantiser;
    canvas.dataset.rendered = renderedKey(m.settings);
    const link = $("#save-kvrn");
    if (link.href.startsWith("blob:")) URL.revokeObjectURL(link.href);
    if (m.settings.tables === null) {
        link.href = URL.createObjectURL(new Blob([m.file], {type: "application/octet-stream"}));
        link.removeAttribute("aria-disabled");
    } else {
        // A KVRN file cannot carry a table: nothing to save.
        link.removeAttribute("href");
        link.setAttribute("aria-disabled", "true");
    }
    const save = $("#save-png");
    if (save.href.startsWith("blob:")) URL.revokeObjectURL(save.href);
    save.href = "#";
    pngFor = "";
    $("#legend").textContent = LEGENDS[m.settings.view](m.settings);
    const scalesKey = `${picture.name}:${m.settings.y},${m.settings.cr},${m.settings.cb}`;
    if (selected !== null && inspectedFor !== scalesKey) inspect(selected.column, selected.row);
}

const LEGENDS = {
    quantised: () => "What a KVRN file of the picture at these scales decodes to.",
    viewer: (s) => `What kvrn-view's window shows at step ${s.step}: every whole 8×8 block ` +
                   "re-encoded, the strips beyond them white. The figures are those of the " +
                   "KVRN file at the scales.",
    original: () => "The picture as opened.",
    error: (s) => `Black where the file decodes to the picture; otherwise the largest ` +
                  `difference of R, G and B times ${s.gain}, from violet (small) through red ` +
                  `and amber to pale yellow (${Math.ceil(255 / s.gain)} levels or more).`,
    bytes: () => "Each 8×8 block coloured by the coded bytes of its Y, Cr and Cb blocks: 9 " +
                 "black, through violet, red and amber, to 195 pale yellow.",
    split: () => "Original to the left of the divider, quantised to the right; drag the " +
                 "divider.",
};

function counted(m) {
    busy = false;
    if (window.labTimings !== undefined) window.labTimings.figures = m.milliseconds ?? 0;
    if (m.figures !== null) {
        for (const [name, value] of Object.entries(m.figures)) {
            const e = document.querySelector(`[data-figure="${name}"]`);
            e.dataset.value = value;
            e.textContent = value;
        }
    }
    const s = m.settings;
    $("#figures").dataset.for = s.tables === null ? `${picture.name}:${s.y},${s.cr},${s.cb}`
                                                  : `${picture.name}:${s.quantiser}`;
    $("#figures-state").textContent = "";
    pump();
}

function inspect(column, row) {
    selected = {column, row};
    const [y, cr, cb] = state.scales;
    inspectedFor = `${picture.name}:${y},${cr},${cb}`;
    worker.postMessage({type: "inspect", column, row, y, cr, cb});
}

function reported(m) {
    if (m.words === undefined) return;
    const report = parseReport(m.words);
    const note = state.quantiser === "scales" ? ""
        : "The block as the scales quantise it: the tables are not part of the report.";
    showReport($("#inspector"), report, m.zigzag, [m.request.y, m.request.cr, m.request.cb], note);
    $("#inspector").dataset.scales = `${m.request.y},${m.request.cr},${m.request.cb}`;
    const outline = $("#block-outline");
    outline.dataset.x = report.first_pixel_column;
    outline.dataset.y = report.first_pixel_row;
    outline.dataset.w = report.pixel_columns;
    outline.dataset.h = report.pixel_rows;
    outline.hidden = false;
    placeOverlays();
}

// --- the controls ----------------------------------------------------------------------------

function clampScale(value) {
    const n = Math.round(Number(value));
    if (!Number.isFinite(n)) return null;
    return Math.min(MAX_SCALE, Math.max(1, n));
}

function syncControls() {
    $("#step").value = state.step;
    $("#step-slider").value = Math.min(255, state.step);
    $("#scale-y").value = state.scales[0];
    $("#scale-cr").value = state.scales[1];
    $("#scale-cb").value = state.scales[2];
    $("#link-scales").checked = state.linked;
    $("#channel-y").checked = state.channels.y;
    $("#channel-cr").checked = state.channels.r;
    $("#channel-cb").checked = state.channels.b;
    $("#view").value = state.view;
    $("#gain").value = state.gain;
    $("#gain-label").hidden = state.view !== "error";
    $("#quantiser").value = state.quantiser;
    $("#quality").value = state.quality;
    $("#quality-label").hidden = state.quantiser !== "jpeg";
    $("#tables").hidden = state.quantiser === "scales";
    const t = tables();
    if (t !== null) {
        lumaGrid.set(t.luma, state.quantiser === "custom");
        chromaGrid.set(t.chroma, state.quantiser === "custom");
    }
}

const lumaGrid = tableGrid($("#table-luma"), "table-luma", (table) => {
    state.custom.luma = table;
    requestRender();
});
const chromaGrid = tableGrid($("#table-chroma"), "table-chroma", (table) => {
    state.custom.chroma = table;
    requestRender();
});

$("#quantiser").addEventListener("input", () => {
    const next = $("#quantiser").value;
    // Tables of one's own start from the tables shown.
    if (next === "custom" && state.quantiser === "jpeg") {
        state.custom = {luma: scaledTable(JPEG_LUMA, state.quality),
                        chroma: scaledTable(JPEG_CHROMA, state.quality)};
    }
    state.quantiser = next;
    syncControls();
    requestRender();
});

$("#quality").addEventListener("input", () => {
    const quality = Math.round(Number($("#quality").value));
    if (quality >= 1 && quality <= 100 && String(quality) === $("#quality").value.trim()) {
        state.quality = quality;
        syncControls();
        requestRender();
    }
});

function setStep(step) {
    state.step = step;
    if (state.linked) state.scales = [step, step, step];
    syncControls();
    requestRender();
}

$("#step").addEventListener("input", () => {
    const step = clampScale($("#step").value);
    if (step !== null && String(step) === $("#step").value.trim()) setStep(step);
});
$("#step").addEventListener("change", () => setStep(clampScale($("#step").value) ?? state.step));
$("#step-slider").addEventListener("input", () => setStep(Number($("#step-slider").value)));

["#scale-y", "#scale-cr", "#scale-cb"].forEach((id, c) => {
    const input = $(id);
    const apply = (final) => {
        const value = clampScale(input.value);
        if (value === null || (!final && String(value) !== input.value.trim())) return;
        state.scales[c] = value;
        // A scale set on its own unlinks the three.
        if (state.linked && !state.scales.every((s) => s === state.step)) state.linked = false;
        syncControls();
        requestRender();
    };
    input.addEventListener("input", () => apply(false));
    input.addEventListener("change", () => apply(true));
});

$("#link-scales").addEventListener("input", () => {
    state.linked = $("#link-scales").checked;
    if (state.linked) setStep(state.step);
});

const CHANNEL_BOXES = {y: "#channel-y", r: "#channel-cr", b: "#channel-cb"};
for (const [letter, id] of Object.entries(CHANNEL_BOXES)) {
    $(id).addEventListener("input", () => {
        state.channels[letter] = $(id).checked;
        requestRender();
    });
}

$("#view").addEventListener("input", () => {
    state.view = $("#view").value;
    syncControls();
    requestRender();
});

$("#gain").addEventListener("input", () => {
    const gain = Math.round(Number($("#gain").value));
    if (gain >= 1 && gain <= 255) {
        state.gain = gain;
        requestRender();
    }
});

// The viewer's keys: y, r and b switch the channels.
document.addEventListener("keydown", (event) => {
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    const target = event.target;
    if (target instanceof HTMLInputElement && (target.type === "number" || target.type === "text"))
        return;
    if (event.key in CHANNEL_BOXES) {
        state.channels[event.key] = !state.channels[event.key];
        syncControls();
        requestRender();
    } else if (event.key === "+" || event.key === "=") {
        setZoom(state.zoom * 2);
    } else if (event.key === "-") {
        setZoom(state.zoom / 2);
    }
});

// The viewer's wheel: a notch reaches it as a press and a release of the wheel's button, and
// each changes the step by 1, never below 1.
viewport.addEventListener("wheel", (event) => {
    if (event.deltaY === 0) return;
    event.preventDefault();
    let step = state.step;
    for (let i = 0; i < 2; ++i) {
        if (event.deltaY < 0) step = Math.min(MAX_SCALE, step + 1);
        else if (step > 1) step -= 1;
    }
    setStep(step);
}, {passive: false});

// --- the file input and drag-and-drop ---------------------------------------------------------

$("#open").addEventListener("change", () => {
    const file = $("#open").files[0];
    if (file) openFile(file);
    $("#open").value = "";
});

viewport.addEventListener("dragover", (event) => {
    event.preventDefault();
    viewport.classList.add("drop");
});
viewport.addEventListener("dragleave", () => viewport.classList.remove("drop"));
viewport.addEventListener("drop", (event) => {
    event.preventDefault();
    viewport.classList.remove("drop");
    const file = event.dataTransfer.files[0];
    if (file) openFile(file);
});

// --- zoom, pan, the divider and clicks on blocks ----------------------------------------------

function setZoom(zoom) {
    if (picture === null) return;
    state.zoom = Math.min(32, Math.max(1 / 32, zoom));
    canvas.style.width = `${picture.width * state.zoom}px`;
    canvas.style.height = `${picture.height * state.zoom}px`;
    $("#zoom-level").textContent = `${Math.round(state.zoom * 100)}%`;
    placeOverlays();
}

function zoomToFit() {
    if (picture === null) return;
    const fit = Math.min((viewport.clientWidth - 2) / picture.width,
                         (viewport.clientHeight - 2) / picture.height);
    setZoom(Math.min(1, fit));
}

$("#zoom-in").addEventListener("click", () => setZoom(state.zoom * 2));
$("#zoom-out").addEventListener("click", () => setZoom(state.zoom / 2));
$("#zoom-fit").addEventListener("click", zoomToFit);
$("#zoom-one").addEventListener("click", () => setZoom(1));

function placeOverlays() {
    const z = state.zoom;
    const outline = $("#block-outline");
    if (!outline.hidden) {
        outline.style.left = `${outline.dataset.x * z - 2}px`;
        outline.style.top = `${outline.dataset.y * z - 2}px`;
        outline.style.width = `${outline.dataset.w * z}px`;
        outline.style.height = `${outline.dataset.h * z}px`;
    }
    const divider = $("#divider");
    divider.hidden = state.view !== "split" || picture === null;
    if (!divider.hidden) {
        divider.style.left = `${Math.round(state.split * picture.width) * z - 1}px`;
    }
}

// The picture pixel under a mouse event.
function pixelAt(event) {
    const rect = canvas.getBoundingClientRect();
    return {
        x: Math.floor(((event.clientX - rect.left) / rect.width) * canvas.width),
        y: Math.floor(((event.clientY - rect.top) / rect.height) * canvas.height),
    };
}

let drag = null;

viewport.addEventListener("mousedown", (event) => {
    if (event.button === 1) {
        // The viewer's middle button: the step back to 1.
        event.preventDefault();
        setStep(1);
        return;
    }
    if (event.button !== 0) return;
    event.preventDefault();
    viewport.focus({preventScroll: true});
    const onDivider = event.target.closest("#divider") !== null;
    drag = {x: event.clientX, y: event.clientY, left: viewport.scrollLeft,
            top: viewport.scrollTop, moved: false, divider: onDivider};
    viewport.classList.add("dragging");
});

window.addEventListener("mousemove", (event) => {
    if (drag === null) return;
    const dx = event.clientX - drag.x;
    const dy = event.clientY - drag.y;
    if (Math.abs(dx) + Math.abs(dy) > 3) drag.moved = true;
    if (drag.divider) {
        const rect = canvas.getBoundingClientRect();
        state.split = Math.min(1, Math.max(0, (event.clientX - rect.left) / rect.width));
        draw();
    } else if (drag.moved) {
        viewport.scrollLeft = drag.left - dx;
        viewport.scrollTop = drag.top - dy;
    }
});

window.addEventListener("mouseup", (event) => {
    if (drag === null) return;
    const click = !drag.moved && !drag.divider;
    drag = null;
    viewport.classList.remove("dragging");
    if (!click || picture === null) return;
    const {x, y} = pixelAt(event);
    if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) return;
    // Blocks are counted from the picture's bottom-left corner: the top block row may be cut.
    const rows = Math.ceil(picture.height / 8);
    inspect(Math.floor(x / 8), rows - 1 - Math.floor((picture.height - 1 - y) / 8));
});

viewport.addEventListener("auxclick", (event) => event.preventDefault());

// The PNG of the picture shown is made when it is asked for.
$("#save-png").addEventListener("click", (event) => {
    const key = canvas.dataset.rendered ?? "";
    if (pngFor === key && $("#save-png").href.startsWith("blob:")) return;
    event.preventDefault();
    canvas.toBlob((blob) => {
        const link = $("#save-png");
        if (link.href.startsWith("blob:")) URL.revokeObjectURL(link.href);
        link.href = URL.createObjectURL(blob);
        pngFor = key;
        link.click();
    }, "image/png");
});

// --- start: the bundled sample ----------------------------------------------------------------

syncControls();
fetch(SAMPLE)
    .then((response) => {
        if (!response.ok) throw new Error(`${response.status}`);
        return response.arrayBuffer();
    })
    .then((buffer) => openBytes(SAMPLE, buffer))
    .catch(() => say(`The sample ${SAMPLE} could not be loaded: open a picture.`, "error"));
