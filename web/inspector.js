// The block inspector: one block position's report from the codec (kvrn_block_report, read by the
// worker with the field names of kvrn.h; tables are [3][64], row 0 of each block the lowest
// picture row), drawn as tables and as the DCT basis patterns weighted by the coefficients.

import {countOf} from "./plural.js";

const CHANNELS = ["Y", "Cr", "Cb"];

function element(tag, attributes = {}, text = "") {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attributes)) e.setAttribute(k, v);
    if (text !== "") e.textContent = text;
    return e;
}

// An 8x8 table of pixels drawn the way the picture shows the block: the report's row 7 (the
// block's top picture row) at the top. A table of frequencies (`spatial` false) keeps its rows
// in order, the DC top-left, vertical frequency growing downwards.
// Headers name the columns and rows: x and y (the block's pixel, y up from its lowest row) for
// pixels, u and v for frequencies.
function table(caption, values, mark = () => "", spatial = true) {
    const t = element("table", {class: "block"});
    t.append(element("caption", {}, caption));
    const [across, down] = spatial ? ["x", "y"] : ["u", "v"];
    const head = element("tr");
    head.append(element("td"));
    for (let x = 0; x < 8; ++x) head.append(element("th", {scope: "col"}, `${across} ${x}`));
    t.append(head);
    for (let d = 0; d < 8; ++d) {
        const tr = element("tr");
        const r = spatial ? 7 - d : d;
        tr.append(element("th", {scope: "row"}, `${down} ${r}`));
        for (let x = 0; x < 8; ++x) {
            const i = 8 * r + x;
            const td = element("td", {}, String(values[i]));
            const cls = mark(i);
            if (cls) td.className = cls;
            tr.append(td);
        }
        t.append(tr);
    }
    return t;
}

const basisCache = new Map();

// The pattern of frequency (u across, v up) at each pixel of the block, row 0 the lowest row, as
// the inverse transform weighs a coefficient of 1.
function basis(u, v) {
    const key = 8 * v + u;
    if (!basisCache.has(key)) {
        const cu = u === 0 ? Math.SQRT1_2 : 1;
        const cv = v === 0 ? Math.SQRT1_2 : 1;
        const values = new Float64Array(64);
        for (let r = 0; r < 8; ++r) {
            for (let x = 0; x < 8; ++x) {
                values[8 * r + x] = (cu * cv / 4) * Math.cos(((2 * x + 1) * u * Math.PI) / 16) *
                                    Math.cos(((2 * r + 1) * v * Math.PI) / 16);
            }
        }
        basisCache.set(key, values);
    }
    return basisCache.get(key);
}

// The 64 basis patterns, each weighted by the block's coefficient, on one grey scale (the DC on
// its own, or it would drown the rest); the ones the divisor removed outlined in red (`divisor`
// the words for it: "the scale" or "its entry of the table").
function basisGrid(coefficients, quantised, divisor) {
    const grid = element("div", {class: "basis"});
    let largest = 1;
    for (let i = 1; i < 64; ++i) largest = Math.max(largest, Math.abs(coefficients[i]));
    for (let v = 0; v < 8; ++v) {
        for (let u = 0; u < 8; ++u) {
            const i = 8 * v + u;
            const canvas = element("canvas", {width: 8, height: 8});
            const removed = coefficients[i] !== 0 && quantised[i] === 0;
            if (removed) canvas.className = "removed";
            canvas.title = `u ${u}, v ${v}: coefficient ${coefficients[i]}, quantised ` +
                           `${quantised[i]}${removed ? ` (removed: smaller than ${divisor})` : ""}`;
            // The largest pattern value is 1/8 for the DC and at most 1/4 for the others.
            const scale = i === 0 ? Math.max(1, Math.abs(coefficients[0])) / 8 : largest / 4;
            const pattern = basis(u, v);
            const image = new ImageData(8, 8);
            for (let r = 0; r < 8; ++r) {
                for (let x = 0; x < 8; ++x) {
                    const value = (coefficients[i] * pattern[8 * r + x]) / scale;
                    const grey = Math.round(128 + 127 * Math.max(-1, Math.min(1, value)));
                    const o = 4 * (8 * (7 - r) + x);
                    image.data[o] = image.data[o + 1] = image.data[o + 2] = grey;
                    image.data[o + 3] = 255;
                }
            }
            canvas.getContext("2d").putImageData(image, 0, 0);
            grid.append(canvas);
        }
    }
    return grid;
}

// What the scale does to the coefficients, in words: a quotient truncated toward zero, so that
// every coefficient smaller in size than the scale is stored as 0.
function truncation(scale) {
    const what = `Stored: each coefficient divided by ${scale}, truncated toward zero`;
    return scale === 1 ? `${what}, which keeps every one.`
                       : `${what}: those from ${1 - scale} to ${scale - 1} become 0.`;
}

// What a table does to the coefficients: each divided by its own entry, truncated toward zero.
const TABLE_TRUNCATION = "Stored: each coefficient divided by its own entry of the table, " +
                         "truncated toward zero: those smaller in size than their entry become 0.";

// Fills `container` with the report of one block quantised by `by`: {scales: [y, cr, cb]}, or
// {tables: [y, cr, cb]} (64 divisors each, row-major by frequency) and `name`, the tables in words.
export function showReport(container, report, zigzag, by, note = "") {
    container.querySelectorAll(".report").forEach((e) => e.remove());
    const body = element("div", {class: "report"});
    const lastColumn = report.first_pixel_column + report.pixel_columns - 1;
    const lastRow = report.first_pixel_row + report.pixel_rows - 1;
    if (note !== "") body.append(element("p", {class: "note"}, note));
    body.append(element("p", {}, `Block column ${report.column}, row ${report.row} from the ` +
                                  `top-left: pixels ${report.first_pixel_column}..${lastColumn} ` +
                                  `across, ${report.first_pixel_row}..${lastRow} down.` +
                                  (report.pixel_columns < 8 || report.pixel_rows < 8
                                       ? " The block is cut: the rest repeats the picture's " +
                                         "last column and top row."
                                       : "")));
    for (let c = 0; c < 3; ++c) {
        const section = element("section", {class: "channel", "data-channel": CHANNELS[c]});
        const count = report.stored_count[c];
        const divisor = by.tables ? "its entry of the table" : "the scale";
        const how = by.tables ? `by ${by.name}` : `at scale ${by.scales[c]}`;
        section.append(element("h3", {}, `${CHANNELS[c]} ${how}: ` +
                                          `${countOf(report.coded_bytes[c], "byte")}, ` +
                                          `${countOf(count, "stored value")}, ` +
                                          `${report.clipped[c]} clipped`));
        const quantised = report.quantised[c];
        const coefficients = report.coefficients[c];
        const tables = element("div", {class: "tables"});
        tables.append(table("samples", report.samples[c]));
        tables.append(table(`DCT coefficients, DC top-left (red: removed, smaller than ${divisor})`,
                            coefficients,
                            (i) => (coefficients[i] !== 0 && quantised[i] === 0 ? "removed" : ""),
                            false));
        if (by.tables) tables.append(table("divisors (the table)", by.tables[c], () => "", false));
        tables.append(table("reconstruction", report.reconstruction[c]));
        tables.append(table("error", report.error[c], (i) => (report.error[c][i] === 0 ? "zero"
                                                                                        : "")));
        section.append(tables);
        const stored = report.stored[c].slice(0, count);
        const text = `stored, zig-zag order: DC ${stored[0]}` +
                     (count > 1 ? `, AC ${stored.slice(1).join(" ")}` : "") +
                     (count < 64 ? ", end of block" : "");
        section.append(element("p", {class: "hint"},
                               by.tables ? TABLE_TRUNCATION : truncation(by.scales[c])));
        section.append(element("p", {class: "stored"}, text));
        section.append(element("p", {class: "hint"},
                               "The 64 DCT patterns weighted by the coefficients, lowest " +
                               "frequencies top-left (across: u, down: v)"));
        section.append(basisGrid(coefficients, quantised, divisor));
        body.append(section);
    }
    container.append(body);
    container.dataset.block = `${report.column},${report.row}`;
    container.dataset.report = JSON.stringify({...report, zigzag});
}
