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
        const record = this.m._lab_figures();
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

    zigzag() {
        return Array.from({length: 64}, (_, n) => this.m._lab_zigzag_index(n));
    }

    // Picture `kind` (a name of the interface table's pictures) as RGBA, copied out.
    rgba(kind, width, height) {
        const pointer = this.m._lab_rgba(this.pictures[kind]);
        return new Uint8ClampedArray(this.memory, pointer, 4 * width * height).slice();
    }

    file() {
        return new Uint8Array(this.memory, this.m._lab_file(), this.m._lab_file_size()).slice();
    }

    // The entry points of web/lab.cpp that take and give plain numbers, by their names there.
    call(name, ...args) {
        return this.m[`_lab_${name}`](...args);
    }
}
