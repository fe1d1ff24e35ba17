// The lab's state in the address's fragment, so that a link (on a worksheet, in a QR code) opens
// the page on the same moment: the bundled picture, the step, scales or JPEG's tables, the
// channels, the view, the zoom, the picture pixel at the centre and the block inspected.
//
//   #picture=NAME&step=N&channels=yrb&view=VIEW&zoom=Z&x=X&y=Y&block=C,R[&present=1]
//
// with `scales=Y,CR,CB` in place of `step` when the three scales differ, or `table=jpeg:Q` when
// JPEG's tables at quality Q quantise, and in the bytes view its scale after the view,
// `bytes-scale=auto` or `fixed`. Nothing here touches the document.
import {MAX_SCALE, clampZoom} from "./state.js";

export const VIEWS = ["quantised", "viewer", "original", "error", "bytes", "split"];

const whole = (text, least, most) => {
    if (!/^\d+$/.test(text ?? "")) return null;
    const n = Number(text);
    return n >= least && n <= most ? n : null;
};

// The fragment of `s`: {picture (a bundled picture's name, or null for one of the user's own),
// step, scales, linked, quantiser ("scales", "jpeg" or "custom"), quality, letters, view,
// bytesScale ("auto" or "fixed", written in the bytes view), zoom,
// x, y (the picture pixel at the centre), block ({column, row} or null), present (presentation
// mode)}, without the "#". Tables
// of one's own do not fit in an address: their link quantises by the scales.
export function fragmentOf(s) {
    const fields = [];
    if (s.picture) fields.push(["picture", s.picture]);
    if (s.quantiser === "jpeg") fields.push(["table", `jpeg:${s.quality}`]);
    else if (s.linked) fields.push(["step", String(s.step)]);
    else fields.push(["scales", s.scales.join(",")]);
    fields.push(["channels", s.letters], ["view", s.view]);
    if (s.view === "bytes" && s.bytesScale) fields.push(["bytes-scale", s.bytesScale]);
    if (s.zoom !== undefined) fields.push(["zoom", String(Math.round(s.zoom * 1000) / 1000)]);
    if (s.x !== undefined) fields.push(["x", String(s.x)], ["y", String(s.y)]);
    if (s.block) fields.push(["block", `${s.block.column},${s.block.row}`]);
    if (s.present) fields.push(["present", "1"]);
    // Commas and colons are at home in a fragment: "scales=3,20,60", "table=jpeg:75".
    const text = (v) => encodeURIComponent(v).replace(/%2C/g, ",").replace(/%3A/g, ":");
    return fields.map(([k, v]) => `${k}=${text(v)}`).join("&");
}

// What a fragment ("#..." or without the "#") asks for: the fields it gives that are sound, each
// as fragmentOf writes it ({picture, step, scales, quality, letters, view, bytesScale, zoom, x, y,
// block, present});
// a field that is missing or unsound is left out.
export function parseFragment(hash) {
    const params = new URLSearchParams(hash.replace(/^#/, ""));
    const asked = {};
    const picture = params.get("picture");
    if (picture && /^[\w.-]+$/.test(picture)) asked.picture = picture;
    const table = /^jpeg:(\d+)$/.exec(params.get("table") ?? "");
    const step = whole(params.get("step"), 1, MAX_SCALE);
    const scales = (params.get("scales") ?? "").split(",").map((v) => whole(v, 1, MAX_SCALE));
    if (table && whole(table[1], 1, 100) !== null) asked.quality = Number(table[1]);
    else if (step !== null) asked.step = step;
    else if (scales.length === 3 && scales.every((v) => v !== null)) asked.scales = scales;
    const letters = params.get("channels");
    if (letters !== null && /^y?r?b?$/.test(letters)) asked.letters = letters;
    if (VIEWS.includes(params.get("view"))) asked.view = params.get("view");
    if (["auto", "fixed"].includes(params.get("bytes-scale"))) {
        asked.bytesScale = params.get("bytes-scale");
    }
    const zoom = Number(params.get("zoom"));
    if (params.get("zoom") && Number.isFinite(zoom) && zoom > 0) asked.zoom = clampZoom(zoom);
    const x = whole(params.get("x"), 0, MAX_SCALE);
    const y = whole(params.get("y"), 0, MAX_SCALE);
    if (x !== null && y !== null) {
        asked.x = x;
        asked.y = y;
    }
    const block = (params.get("block") ?? "").split(",").map((v) => whole(v, 0, 8191));
    if (block.length === 2 && block.every((v) => v !== null)) {
        asked.block = {column: block[0], row: block[1]};
    }
    // Presentation mode: "present" with any value, "#present" alone included.
    if (params.has("present")) asked.present = true;
    return asked;
}
