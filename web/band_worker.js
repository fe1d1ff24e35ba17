// A worker of the lab's pool (band_pool.js): holds one band of the picture's block rows with a
// block row of its neighbours' on each side, and quantises it on request (lab_band.cpp). Requests
// in, in order: hold, quantise. Replies out: held; quantised (the band's rows as the canvas takes
// them, its block stream, its clipped coefficients), then sums (its rows' squared errors and SSIM
// sums), which take longer and follow so that the picture is shown first; failed.
import {loadLab} from "./lab_module.js";

const ready = loadLab();

function handle(lab, m) {
    if (m.kind === "hold") {
        const pointer = lab.copyIn(new Uint8Array(m.rgb));
        if (pointer === 0) return [{kind: "failed", message: "not enough memory for a band"}];
        const status = lab.call("band_hold", pointer, m.width, m.height, m.below, m.rows);
        lab.free(pointer);
        return [status === lab.status.ok ? {kind: "held"}
                                         : {kind: "failed", message: lab.statusText(status)}];
    }
    const start = performance.now();
    const status = lab.call("band_quantise", m.y, m.cr, m.cb, m.channels);
    const quantised = performance.now();
    if (status !== lab.status.ok) return [{kind: "failed", message: lab.statusText(status)}];
    // Into the buffer of the last band picture when it came back: a new one costs page faults.
    const bytes = 4 * m.width * m.rows;
    const rgba = m.reuse !== null && m.reuse.byteLength === bytes ? new Uint8ClampedArray(m.reuse)
                                                                  : new Uint8ClampedArray(bytes);
    rgba.set(new Uint8ClampedArray(lab.memory, lab.call("band_rgba"), bytes));
    const stream = new Uint8Array(lab.memory, lab.call("band_stream"),
                                  lab.call("band_stream_size")).slice();
    postMessage({kind: "quantised", id: m.id, rgba, stream, clipped: lab.call("band_clipped"),
                 timings: {band: quantised - start, copy: performance.now() - quantised}},
                [rgba.buffer, stream.buffer]);
    const sums = new Float64Array(lab.memory, lab.call("band_sums"), 2 + 2 * m.rows).slice();
    return [{kind: "sums", sums}, [sums.buffer]];
}

let queue = ready;
onmessage = (event) => {
    const m = event.data;
    queue = queue.then((lab) => {
        let answer;
        try {
            answer = handle(lab, m);
        } catch (e) {
            // Out of memory, most likely: the module cannot be trusted after it.
            answer = [{kind: "failed", message: String(e)}];
        }
        const [reply, transfer = []] = answer;
        postMessage({...reply, id: m.id}, transfer);
        return lab;
    });
};
