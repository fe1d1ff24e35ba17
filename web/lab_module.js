// The WebAssembly module (kvrn-lab.wasm, built from web/lab.cpp and the codec) as the worker uses
// it: its interface table (statuses, channel bits, picture kinds, and where the fields of the
// records it hands out lie) read once, and those records read by it, never by numbers of our own.
import createLab from "./kvrn-lab.js";

// A field of a record at `base` as the interface table describes it: a number, an array of
// numbers a channel, or an array of tables a channel.
function readField(memory, base, field) {
    const Words = field.type === "i32" ? Int32Array : Uint32Array;
    const count = field.shape.reduce((a, b) => a * b, 1);
    const words = new Words(memory, base + field.offset, count);
    if (field.shape.length === 0) return words[0];
    if (field.shape.length === 1) return Array.from(words);
    const [rows, columns] = field.shape;
    return Array.from({length: rows},
                      (_, r) => Array.from(words.subarray(columns * r, columns * r + columns)));
}

function readRecord(memory, base, layout) {
    const record = {};
    for (const [name, field] of Object.entries(layout.fields)) {
        record[name] = readField(memory, base, field);
    }
    return record;
}

export async function loadLab() {
    const module = await createLab();
    const table = JSON.parse(module.UTF8ToString(module._lab_interface()));
    return new LabModule(module, table);
}

class LabModule {
    constructor(module, table) {
        this.m = module;
        this.status = table.status;
        this.channels = table.channels;
        this.pictures = table.pictures;
        this.table = table;
    }

    get memory() {
        // The heap's buffer is replaced when memory grows: never kept.
        return this.m.HEAPU8.buffer;
    }

    statusText(status) {
        return this.m.UTF8ToString(this.m._lab_status_text(status));
    }

    // `bytes` copied into the module's memory: its address, or 0 when there is no room.
    copyIn(bytes) {
        const pointer = this.m._malloc(Math.max(bytes.length, 1));
        if (pointer === 0) return 0;
        this.m.HEAPU8.set(bytes, pointer);
        return pointer;
    }

    free(pointer) {
        this.m._free(pointer);
    }

    // The codec's reading of the header at the start of `bytes`: {status, kvrn, width, height,
    // y_scale, cr_scale, cb_scale}, or null when there is no room to read it.
    readHeader(bytes) {
        const head = bytes.subarray(0, this.table.header_bytes);
        const pointer = this.copyIn(head);
        if (pointer === 0) return null;
        const record = this.m._lab_read_header(pointer, head.length);
        this.free(pointer);
        return readRecord(this.memory, record, this.table.header);
    }

    // The figures of the file against the picture: {name: {value, text}}, or null.
    figures() {
        return this.readFigures(this.m._lab_figures());
    }

    // The figures of a file of `bytes` bytes quantised by the pool, from its rows' sums: `rows`
    // holds a value a picture row of the luma's squared error, then as many SSIM sums.
    figuresOfSums(rows, sseRgb, maxError, bytes, clipped) {
        const pointer = this.copyIn(new Uint8Array(rows.buffer, rows.byteOffset, rows.byteLength));
        if (pointer === 0) return null;
        const record = this.m._lab_figures_of_sums(pointer, sseRgb, maxError, bytes, clipped);
        this.free(pointer);
        return this.readFigures(record);
    }

    readFigures(record) {
        if (record === 0) return null;
        const view = new DataView(this.memory);
        const figures = {};
        for (const [name, field] of Object.entries(this.table.figures.fields)) {
            figures[name] = {value: view.getFloat64(record + field.value, true),
                             text: this.m.UTF8ToString(record + field.text)};
        }
        return figures;
    }

    // The report of a block with the field names of kvrn.h (tables as [3][64], row 0 of each
    // block the lowest picture row), or null when there is none.
    inspect(column, row, y, cr, cb) {
        const record = this.m._lab_inspect(column, row, y, cr, cb);
        return record === 0 ? null : readRecord(this.memory, record, this.table.report);
    }

    // The report of a block quantised by `tables` (an Int32Array of Y's, Cr's and Cb's 64
    // divisors), or null.
    inspectTables(column, row, tables) {
        const pointer = this.copyIn(new Uint8Array(tables.buffer, tables.byteOffset,
                                                   tables.byteLength));
        if (pointer === 0) return null;
        const record = this.m._lab_inspect_tables(column, row, pointer);
        this.free(pointer);
        return record === 0 ? null : readRecord(this.memory, record, this.table.report);
    }

    zigzag() {
        return Array.from({length: 64}, (_, n) => this.m._lab_zigzag_index(n));
    }

    // Picture `kind` (a name of the interface table's pictures) as RGBA, copied out, into `into`
    // when it is given (of the picture's size).
    rgba(kind, width, height, into = null) {
        const pointer = this.m._lab_rgba(this.pictures[kind]);
        const pixels = new Uint8ClampedArray(this.memory, pointer, 4 * width * height);
        if (into === null) return pixels.slice();
        into.set(pixels);
        return into;
    }

    // The colour bar of the last map made, as kvrn diff and kvrn blocks draw it: {least, most,
    // caption, ticks: [{value, along, text}]}, `along` 0 at the black end and 1 at the other.
    mapBar() {
        return JSON.parse(this.m.UTF8ToString(this.m._lab_map_bar()));
    }

    // The maps' colour ramp: 256 RGBA pixels, black to pale yellow, copied out.
    ramp() {
        return new Uint8ClampedArray(this.memory, this.m._lab_ramp_rgba(), 4 * 256).slice();
    }

    // `count` rows of the picture from row `first` up, packed RGB, bottom row first, copied out.
    originalRows(first, count, width) {
        return new Uint8Array(this.memory, this.m._lab_original_rows(first), 3 * width * count)
            .slice();
    }

    // The header of the picture's KVRN file at the scales.
    fileHeader(y, cr, cb) {
        return new Uint8Array(this.memory, this.m._lab_file_header(y, cr, cb),
                              this.table.header_bytes).slice();
    }

    file() {
        return new Uint8Array(this.memory, this.m._lab_file(), this.m._lab_file_size()).slice();
    }

    // The entry points of web/lab.cpp that take and give plain numbers, by their names there.
    call(name, ...args) {
        return this.m[`_lab_${name}`](...args);
    }
}
