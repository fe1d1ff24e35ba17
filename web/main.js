// The lab page: what the worker answers drawn, the figures and the inspector, opening pictures and
// the start. The codec runs in worker.js, reached through worker_client.js; the settings are in
// state.js, their controls in controls.js, the viewport in viewport.js, saving in saving.js.
import {createColourBar} from "./colour_bar.js";
import {createControls} from "./controls.js";
import {createLessons} from "./lessons.js";
import {createLinks} from "./links.js";
import {createPresentation} from "./present.js";
import {PICTURES, START, bundled} from "./pictures.js";
import {countOf} from "./plural.js";
import {showReport} from "./inspector.js";
import {createPlot} from "./plot.js";
import {createSaving} from "./saving.js";
import {SIDES, createSplitControls, defaultSides, showSideFigures, sideKey, sideRequest}
    from "./split.js";
import {LabState, renderedKey} from "./state.js";
import {FLOOR_BITS_PER_PIXEL, limitBytes} from "./target.js";
import {createViewport} from "./viewport.js";
import {showWhy, whyTexts} from "./why.js";
import {WorkerClient} from "./worker_client.js";

const $ = (selector) => document.querySelector(selector);

const canvas = $("#picture");
const context = canvas.getContext("2d");
const message = $("#message");

const state = new LabState();

// What the page shows, beside the settings.
const shown = {
    picture: null,    // {name, width, height} of the picture open
    kept: null,       // the bytes and name of the picture open, to open again in a new worker
    wanted: false,    // the settings changed since the last render was sent
    last: null,       // the last render drawn: {settings, picture, original}
    selected: null,   // the block inspected: {column, row}
    inspectedFor: "", // the picture and the scales or tables of the report shown
    sides: {},        // the split view's sides' own pictures: name -> {key, picture}
    fileScales: null, // the scales of a whole KVRN file open, at which it is shown as it is
};

// The split view's two sides.
const sides = defaultSides();

function say(text, kind = "") {
    message.textContent = text;
    message.className = kind;
}

// --- talking to the worker -------------------------------------------------------------------

// `?workers=N` in the page's address sets the number of workers of the lab's pool (worker.js),
// told to the worker with each picture opened.
const poolSize = Number.parseInt(new URLSearchParams(location.search).get("workers") ?? "", 10);
const workers = Number.isInteger(poolSize) && poolSize >= 1 ? poolSize : null;

const client = new WorkerClient(() => new Worker("worker.js", {type: "module"}), {
    onReply: (reply, request) => REPLIES[reply.type]?.(reply, request),
    onSettled: () => {
        pump();
        plot.pump();
    },
    onCrash: crashed,
});

function requestRender() {
    shown.wanted = true;
    pump();
}

// One render at a time: the next is sent when the worker has counted the figures of the last.
function pump() {
    if (client.pending("render") || client.pending("open") || shown.picture === null ||
        !shown.wanted) {
        return;
    }
    shown.wanted = false;
    $("#figures-state").textContent = "(counting)";
    // A screen reader hears the figures once, when those of the change are all in.
    $("#figures dl").setAttribute("aria-busy", "true");
    client.send("render", {settings: state.renderSettings()});
}

function openBytes(name, buffer, quiet = false) {
    if (!quiet) say(`Opening ${name}…`);
    const file = {name, buffer: buffer.slice(0)};
    client.send("open", {name, buffer, workers}, {transfer: [buffer], local: {file, quiet}});
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

// The worker ended (out of memory, most likely): the picture that was open is opened again in
// its replacement, with the settings as they are.
function crashed(event, lost) {
    const opening = lost.find((r) => r.kind === "open" && r.local.file !== shown.kept);
    const what = opening !== undefined ? opening.local.file.name : "the picture";
    say(`The lab ran out of room with ${what}: ${event.message}. The picture shown stays.`,
        "error");
    if (shown.kept !== null) {
        const {name, buffer} = shown.kept;
        const copy = buffer.slice(0);
        client.send("open", {name, buffer: copy, workers},
                    {transfer: [copy], local: {file: shown.kept, quiet: true}});
    }
}

const REPLIES = {
    fitted,
    side: sideDrawn,
    opened,
    shown: drawn,
    figures: counted,
    point: (m) => plot.measured(m.codec, m.setting, m.figures),
    report: reported,
    failed,
};

function opened(m, request) {
    shown.kept = request.local.file;
    if (request.local.quiet) {
        // The same picture again, in a new worker: only the render is missing.
        requestRender();
        return;
    }
    shown.picture = {name: m.name, width: m.width, height: m.height};
    shown.fileScales = m.missing === 0 ? m.scales : null;
    if (m.scales !== null && state.adoptFileScales(m.scales)) controls.sync();
    canvas.width = m.width;
    canvas.height = m.height;
    canvas.dataset.picture = m.name;
    // How many workers quantise it, each a band of its block rows.
    canvas.dataset.bands = String(m.bands);
    delete canvas.dataset.rendered;
    shown.last = null;
    shown.sides = {};
    shown.selected = null;
    shown.inspectedFor = "";
    viewport.outlineBlock(null);
    $("#inspector").querySelectorAll(".report").forEach((e) => e.remove());
    delete $("#inspector").dataset.block;
    delete $("#inspector").dataset.report;
    saving.named(m.name);
    plot.opened(m.name);
    const blocks = Math.ceil(m.width / 8) * Math.ceil(m.height / 8);
    $("#picture-info").textContent = `${m.name}: ${m.width} × ${m.height} pixels, ` +
                                     countOf(blocks, "block position");
    $("#pictures").value = bundled(m.name) ? m.name : "";
    if (m.missing > 0) {
        say(`${m.name}: the stream ends early: ${m.missing} of ${countOf(m.needed, "block")} ` +
            `${m.missing === 1 ? "is" : "are"} missing ` +
            `(shown as decoded from what is there)`, "warning");
    } else if (m.scales !== null) {
        say(quantisedAlready(m.name, m.scales), "warning");
    } else {
        say("");
    }
    if (!links.opened()) viewport.zoomToFit();
    requestRender();
}

// What kvrn sweep says of a KVRN file, said of the page's views of one.
function quantisedAlready(name, [y, cr, cb]) {
    const at = y === cr && cr === cb ? `at step ${y} in Y, Cr and Cb`
                                     : `at steps ${y} (Y), ${cr} (Cr) and ${cb} (Cb)`;
    return `${name}: its picture was quantised already, ${at}, as its header says: at those ` +
           "scales the page shows the file itself; every other step quantises its picture a " +
           "second time, and steps at, below or between those scales show mostly the first " +
           "quantisation. Open the original picture to see a single quantisation.";
}

function failed(m, request) {
    if (request.kind === "open") links.cancel();
    say(request.kind === "open" ? `${m.message}. The picture shown stays.` : m.message, "error");
}

// The picture a side of the split view shows, or null while its own is being made.
function sidePicture(name) {
    const side = sides[name];
    if (side.kind === "original") return shown.last.original;
    if (side.kind === "current") return wholePicture(shown.last);
    const own = shown.sides[name];
    return own !== undefined && own.key === sideKey(side) ? own.picture : null;
}

// The picture of a render as one array: a picture the pool's workers made comes in bands, which
// are drawn as they are and put together only when the split view needs the whole.
function wholePicture(last) {
    if (last.picture === null) {
        const {width, height} = shown.picture;
        last.picture = new Uint8ClampedArray(4 * width * height);
        for (const band of last.bands) last.picture.set(band.rgba, 4 * width * band.top);
    }
    return last.picture;
}

function draw() {
    const last = shown.last;
    if (last === null) return;
    const {width, height} = shown.picture;
    if (last.picture === null && !last.original) {
        for (const band of last.bands) {
            context.putImageData(new ImageData(band.rgba, width, band.rgba.length / (4 * width)),
                                 0, band.top);
        }
        viewport.placeOverlays();
        return;
    }
    let pixels = wholePicture(last);
    if (last.original) {
        // The left side's picture to the left of the divider, the right side's to the right.
        const left = sidePicture("left");
        const right = sidePicture("right");
        if (left === null || right === null) return;
        pixels = new Uint8ClampedArray(right);
        const cut = Math.round(state.split * width);
        for (let y = 0; y < height; ++y) {
            const row = 4 * y * width;
            pixels.set(left.subarray(row, row + 4 * cut), row);
        }
        canvas.dataset.sides = SIDES.map((name) => sideKey(sides[name])).join("|");
    }
    context.putImageData(new ImageData(pixels, width, height), 0, 0);
    viewport.placeOverlays();
}

// The sides with settings of their own rendered, when the split view shows them.
function requestSides() {
    if (state.view !== "split" || shown.picture === null) return;
    for (const name of SIDES) {
        const request = sideRequest(sides[name]);
        const own = shown.sides[name];
        if (request === null) {
            showSideFigures(name, sides[name], sides[name].kind === "current" ? mainFigures()
                                                                               : null);
        } else if (own === undefined || own.key !== sideKey(sides[name])) {
            // Asked for once; the reply fills in the picture.
            shown.sides[name] = {key: sideKey(sides[name])};
            client.send(`side:${name}`, {settings: request},
                        {local: {name, key: sideKey(sides[name])}});
        }
    }
}

function sideDrawn(m, request) {
    const {name, key} = request.local;
    shown.sides[name] = {key, picture: m.picture, figures: m.figures};
    if (key === sideKey(sides[name])) {
        showSideFigures(name, sides[name], m.figures);
        draw();
    }
}

// The figures of the settings above, as shown.
function mainFigures() {
    const figures = {};
    document.querySelectorAll("[data-figure]").forEach((e) => {
        if (e.dataset.value !== undefined) figures[e.dataset.figure] = {text: e.dataset.value};
    });
    return figures;
}

const splitControls = createSplitControls(sides, (name) => {
    delete shown.sides[name];
    requestSides();
    draw();
});

function drawn(m, request) {
    const settings = request.body.settings;
    const before = shown.last;
    shown.last = {settings, picture: m.picture ?? null, bands: m.bands ?? [],
                  original: m.original};
    // The pictures drawn before go back to the worker to be filled again.
    const old = [before?.picture, before?.original, ...(before?.bands ?? []).map((b) => b.rgba)];
    for (const pixels of old) {
        if (pixels !== undefined && pixels !== null && pixels.buffer.byteLength > 0) {
            client.post("recycle", {buffer: pixels.buffer}, [pixels.buffer]);
        }
    }
    const start = performance.now();
    draw();
    // Where the time went, for scripts/bench-web: the worker's stages, from the request to its
    // answer on this thread, and drawing.
    window.labTimings = {...m.timings, answered: start - request.sent,
                         draw: performance.now() - start};
    canvas.dataset.quantiser = settings.quantiser;
    canvas.dataset.rendered = renderedKey(settings);
    splitControls.show(settings.view === "split");
    requestSides();
    canvas.setAttribute("aria-label", pictureName(shown.picture.name, settings));
    saving.shown(settings.tables === null ? m.file : null);
    $("#legend").textContent = LEGENDS[settings.view](settings, m.bar);
    colourBar.show(m.bar ?? null, barKey(settings));
    if (shown.selected !== null && shown.inspectedFor !== inspectionKey(settings)) {
        inspect(shown.selected.column, shown.selected.row);
    }
    presentation.show(settings, null);
    links.write();
}

const colourBar = createColourBar($("#colour-bar"));

// What the colour bar is drawn for: the render, and the gain or the bytes view's scale.
function barKey(s) {
    return `${renderedKey(s)}:${s.view === "error" ? `gain ${s.gain}` : s.bytesScale}`;
}

// What the canvas shows, in words, for a screen reader.
function pictureName(name, s) {
    const VIEWS = {quantised: "quantised", viewer: "as kvrn-view shows it", original: "original",
                   error: "error map", bytes: "coded bytes per block",
                   split: "original and quantised side by side"};
    let how;
    if (s.quantiser.startsWith("jpeg:")) {
        how = `JPEG's tables at quality ${s.quantiser.slice(5)}`;
    } else if (s.quantiser !== "scales") {
        how = "tables of my own";
    } else if (s.y === s.cr && s.cr === s.cb) {
        how = `step ${s.y}`;
    } else {
        how = `scales Y ${s.y}, Cr ${s.cr}, Cb ${s.cb}`;
    }
    const channels = s.letters === "yrb" ? ""
        : `, channels ${s.letters.replace("y", "Y ").replace("r", "Cr ").replace("b", "Cb ").trim() ||
                        "none"}`;
    return `${name}, ${VIEWS[s.view]}, ${s.view === "viewer" ? `step ${s.step}` : how}${channels}`;
}

// What quantises, in words, from a render's settings: "JPEG's tables at quality 50", "your own
// tables" or, with `scales`, the scales.
function quantiserWords(s, scales = "these scales") {
    if (s.quantiser.startsWith("jpeg:")) return `JPEG's tables at quality ${s.quantiser.slice(5)}`;
    return s.quantiser === "scales" ? scales : "your own tables";
}

const LEGENDS = {
    quantised: (s) => s.quantiser === "scales"
        ? "What a KVRN file of the picture at these scales decodes to: each DCT " +
          "coefficient divided by its channel's scale, truncated toward zero, so " +
          "those smaller than the scale vanish and flat blocks drift toward mid-grey."
        : `What the picture's blocks decode to quantised by ${quantiserWords(s)}: each DCT ` +
          "coefficient divided by its own entry of the table, truncated toward zero, so those " +
          "smaller than their entry vanish. No KVRN file can carry a table.",
    viewer: (s) => `What kvrn-view's window shows at step ${s.step}: every whole 8×8 block ` +
                   "re-encoded, the strips beyond them white. The figures are those of " +
                   `${quantiserWords(s, "the KVRN file at the scales")}.`,
    original: () => "The picture as opened.",
    error: (s) => `Black where the file decodes to the picture; otherwise the largest ` +
                  `difference of R, G and B times ${s.gain}, from violet (small) through red ` +
                  `and amber to pale yellow (${countOf(Math.ceil(255 / s.gain), "level")} or ` +
                  "more).",
    bytes: (s, bar) => "Each 8×8 block coloured by the coded bytes of its Y, Cr and Cb blocks: " +
                       `${bar?.least ?? 9} black, through violet, red and amber, to ` +
                       `${bar?.most ?? 195} pale yellow, ` +
                       (s.bytesScale === "auto" ? "this file's range (the fixed scale: 9 to 195)."
                                                : "the same scale for every file."),
    split: () => "Two settings side by side, chosen under the picture (the original and the " +
                 "settings above to begin with); drag the divider, or move it with its keys.",
};

function counted(m, request) {
    if (window.labTimings !== undefined) window.labTimings.figures = m.milliseconds ?? 0;
    if (m.figures !== null) {
        for (const [name, figure] of Object.entries(m.figures)) {
            const e = document.querySelector(`[data-figure="${name}"]`);
            e.dataset.value = figure.text;
            e.textContent = figure.text;
        }
    }
    const s = request.body.settings;
    const name = shown.picture.name;
    $("#figures").dataset.for = s.tables === null ? `${name}:${s.y},${s.cr},${s.cb}`
                                                  : `${name}:${s.quantiser}`;
    $("#figures-state").textContent = "";
    $("#figures dl").setAttribute("aria-busy", "false");
    if (m.figures !== null) presentation.show(null, m.figures);
    plot.shown(s, mainFigures());
    showWhy($("#why"), whyTexts({picture: shown.picture, settings: s, figures: mainFigures(),
                                 fileScales: shown.fileScales}));
    // After the next render is sent, if one is wanted: a lesson waits for that one.
    queueMicrotask(settling);
    requestSides();
}

// The picture and what quantises it, of a render's settings: a report for another is stale.
function inspectionKey(s) {
    const by = s.quantiser === "scales" ? `${s.y},${s.cr},${s.cb}` : s.quantiser;
    return `${shown.picture.name}:${by}`;
}

// Asks for the report of a block, quantised by the tables in table mode, else by the scales.
function inspect(column, row) {
    shown.selected = {column, row};
    const s = state.renderSettings();
    shown.inspectedFor = inspectionKey(s);
    const {y, cr, cb, tables} = s;
    client.send("inspect", {column, row, y, cr, cb, tables},
                {local: {name: quantiserWords(s), quantiser: s.quantiser}});
    links.soon();
}

function reported(m, request) {
    if (m.report === null) return;
    const {report, zigzag} = m;
    const {y, cr, cb, tables} = request.body;
    const by = tables === null
        ? {scales: [y, cr, cb]}
        : {tables: [0, 1, 2].map((c) => Array.from(tables.subarray(64 * c, 64 * c + 64))),
           name: request.local.name};
    showReport($("#inspector"), report, zigzag, by);
    $("#inspector").dataset.scales = tables === null ? `${y},${cr},${cb}` : "";
    $("#inspector").dataset.quantiser = request.local.quantiser;
    viewport.outlineBlock({x: report.first_pixel_column, y: report.first_pixel_row,
                           w: report.pixel_columns, h: report.pixel_rows});
}

// --- the target size ----------------------------------------------------------------------------

function findTarget() {
    if (shown.picture === null) return;
    const amount = Number($("#target-size").value);
    const unit = $("#target-unit").value;
    const result = $("#target-result");
    if (!(amount > 0) || !Number.isFinite(amount)) {
        result.textContent = "Give a size above 0.";
        return;
    }
    const {width, height} = shown.picture;
    const limit = limitBytes(amount, unit, width * height);
    // Tables of one's own have no quality to search: the example tables' quality is searched.
    const search = state.quantiser === "scales" ? "step" : "quality";
    result.textContent = "searching…";
    client.send("fit", {limit, search}, {local: {limit, search}});
}

function fitted(m, request) {
    const {limit, search} = request.local;
    const {width, height} = shown.picture;
    const bpp = (bytes) => (8 * bytes / (width * height)).toFixed(4);
    const result = $("#target-result");
    result.dataset.limit = String(limit);
    const atMost = countOf(limit, "byte");
    if (m.setting === null) {
        result.dataset.found = "";
        result.textContent = search === "step"
            ? `At most ${atMost} (${bpp(limit)} bits per pixel) cannot be reached: KVRN ` +
              `spends at least 9 bytes on every 8×8 block position (${FLOOR_BITS_PER_PIXEL} bits ` +
              `per pixel), and the smallest file of this picture, at step ${m.best}, is ` +
              `${m.smallest} bytes (${bpp(m.smallest)} bits per pixel).`
            : `At most ${atMost} cannot be reached with JPEG's tables: quality 1 gives ` +
              `${m.smallest} bytes (${bpp(m.smallest)} bits per pixel).`;
        requestRender();
        return;
    }
    result.dataset.found = `${search}:${m.setting}`;
    result.textContent = search === "step"
        ? `Step ${m.setting}: ${m.bytes} bytes (${bpp(m.bytes)} bits per pixel), the smallest ` +
          `step whose file is at most ${atMost}.`
        : `Quality ${m.setting}: ${m.bytes} bytes (${bpp(m.bytes)} bits per pixel), the highest ` +
          `quality within ${atMost}.`;
    if (search === "step") {
        state.setLinked(true);
        state.setStep(m.setting);
    } else {
        state.setQuantiser("jpeg");
        state.quality = m.setting;
    }
    controls.sync();
    requestRender();
}

$("#target-find").addEventListener("click", findTarget);
$("#target-size").addEventListener("keydown", (event) => {
    if (event.key === "Enter") findTarget();
});

// --- the controls, the viewport and saving ---------------------------------------------------

const controls = createControls(state, {
    changed: requestRender,
    zoomBy: (factor) => viewport.setZoom(state.zoom * factor),
});

const viewport = createViewport(
    {viewport: $("#viewport"), canvas, outline: $("#block-outline"), divider: $("#divider"),
     zoomLevel: $("#zoom-level")},
    state, () => shown.picture,
    {setStep: controls.setStep, inspect, redraw: draw, selected: () => shown.selected,
     fitsLarger: () => presentation.on()});

$("#zoom-in").addEventListener("click", () => viewport.setZoom(state.zoom * 2));
$("#zoom-out").addEventListener("click", () => viewport.setZoom(state.zoom / 2));
$("#zoom-fit").addEventListener("click", viewport.zoomToFit);
$("#zoom-one").addEventListener("click", () => viewport.setZoom(1));

// Whether a render is wanted, no picture is shown yet, or a request of one of `kinds` waits.
function busy(...kinds) {
    return shown.wanted || shown.picture === null || kinds.some((kind) => client.pending(kind));
}

// The rate-distortion plot's points are measured only while no render is wanted or waits.
const plot = createPlot({svg: $("#plot"), metric: $("#plot-metric"), svgLink: $("#plot-svg"),
                         pngLink: $("#plot-png"), status: $("#plot-state")}, {
    send: (codec, setting) => client.send("point", {codec, setting}),
    busy: () => busy("render", "open", "side:left", "side:right", "point"),
});

const saving = createSaving($("#save-kvrn"), $("#save-png"), canvas,
                            () => canvas.dataset.rendered ?? "");

// --- the file input and drag-and-drop ---------------------------------------------------------

$("#open").addEventListener("change", () => {
    const file = $("#open").files[0];
    if (file) openFile(file);
    $("#open").value = "";
});

const area = $("#viewport");
area.addEventListener("dragover", (event) => {
    event.preventDefault();
    area.classList.add("drop");
});
area.addEventListener("dragleave", () => area.classList.remove("drop"));
area.addEventListener("drop", (event) => {
    event.preventDefault();
    area.classList.remove("drop");
    const file = event.dataTransfer.files[0];
    if (file) openFile(file);
});

// --- start: the bundled pictures --------------------------------------------------------------

function openBundled(name) {
    fetch(name)
        .then((response) => {
            if (!response.ok) throw new Error(`${response.status}`);
            return response.arrayBuffer();
        })
        .then((buffer) => openBytes(name, buffer))
        .catch(() => say(`The picture ${name} could not be loaded: open a picture.`, "error"));
}

for (const {name, label} of PICTURES) $("#pictures").add(new Option(label, name));
$("#pictures").addEventListener("input", () => {
    if ($("#pictures").value !== "") openBundled($("#pictures").value);
});
$("#open-sample").addEventListener("click", () => openBundled(START));

const presentation = createPresentation({state, setStep: controls.setStep,
                                         fit: viewport.zoomToFit, changed: () => links.soon()});
const links = createLinks({state, controls, viewport, picture: () => shown.picture,
                           selected: () => shown.selected, open: openBundled, inspect,
                           render: requestRender, say, presentation});
// Offline once visited (service_worker.js); a page opened from a file or an insecure origin
// works as before without it.
if ("serviceWorker" in navigator) {
    navigator.serviceWorker.register("service_worker.js").catch(() => {});
}
controls.sync();
// Lessons wait for the figures of the state they set.
const waiting = [];
function settledNow() {
    return !busy("render", "open") && $("#figures dl").getAttribute("aria-busy") === "false";
}
function settled() {
    return new Promise((resolve) => (settledNow() ? resolve() : waiting.push(resolve)));
}
function settling() {
    while (settledNow() && waiting.length > 0) waiting.shift()();
}
createLessons({follow: (fragment) => links.follow(`#${fragment}`, null), settled,
               figure: (name) => $(`[data-figure="${name}"]`).dataset.value ?? null});

// The start: the picture and the moment the address's fragment names, or the ladybird at step 8.
links.follow(location.hash, START);
