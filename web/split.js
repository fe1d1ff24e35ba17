// The split view's two sides: each shows the original, the settings above, its own scales (a
// step, or Y, Cr and Cb) or JPEG's tables at a quality of its own, with that side's figures under
// the picture. The page renders the sides that have settings of their own (side requests to the
// worker) and draws each half from its side's picture.
import {clampScale} from "./state.js";

const $ = (selector) => document.querySelector(selector);

export const SIDES = ["left", "right"];

// A side's settings, the settings above ("current") unless it has its own.
export function defaultSides() {
    return {
        left: {kind: "original", y: 8, cr: 8, cb: 8, quality: 50},
        right: {kind: "current", y: 8, cr: 8, cb: 8, quality: 50},
    };
}

// What a side with settings of its own asks the worker for, or null for the original and the
// settings above, which the main render gives.
export function sideRequest(side) {
    if (side.kind === "scales") return {kind: "scales", y: side.y, cr: side.cr, cb: side.cb};
    if (side.kind === "table") return {kind: "table", quality: side.quality};
    return null;
}

// The key a side's picture is drawn for.
export function sideKey(side) {
    const request = sideRequest(side);
    return request === null ? side.kind : JSON.stringify(request);
}

// `sides` the two sides' settings; `changed(name)` when side `name` changed.
export function createSplitControls(sides, changed) {
    const panel = $("#split-sides");
    for (const name of SIDES) {
        const field = (what) => $(`#${name}-${what}`);
        const sync = () => {
            const side = sides[name];
            field("kind").value = side.kind;
            field("step").value = side.y === side.cr && side.cr === side.cb ? side.y : "";
            field("y").value = side.y;
            field("cr").value = side.cr;
            field("cb").value = side.cb;
            field("quality").value = side.quality;
            field("scales").hidden = side.kind !== "scales";
            field("table").hidden = side.kind !== "table";
        };
        sync();
        field("kind").addEventListener("input", () => {
            sides[name].kind = field("kind").value;
            sync();
            changed(name);
        });
        field("step").addEventListener("input", () => {
            const step = clampScale(field("step").value);
            if (step === null || String(step) !== field("step").value.trim()) return;
            Object.assign(sides[name], {y: step, cr: step, cb: step});
            sync();
            changed(name);
        });
        for (const channel of ["y", "cr", "cb"]) {
            field(channel).addEventListener("input", () => {
                const value = clampScale(field(channel).value);
                if (value === null || String(value) !== field(channel).value.trim()) return;
                sides[name][channel] = value;
                sync();
                changed(name);
            });
        }
        field("quality").addEventListener("input", () => {
            const quality = Math.round(Number(field("quality").value));
            if (!(quality >= 1 && quality <= 100) ||
                String(quality) !== field("quality").value.trim()) {
                return;
            }
            sides[name].quality = quality;
            changed(name);
        });
    }
    return {
        show(visible) {
            panel.hidden = !visible;
        },
    };
}

// Shows a side's figures (as the worker counts them, {name: {text}}) under its half, or what the
// side shows in words when it has none of its own.
export function showSideFigures(name, side, figures) {
    const box = $(`#${name}-figures`);
    box.querySelectorAll("[data-side-figure]").forEach((e) => {
        const figure = figures?.[e.dataset.sideFigure];
        e.textContent = figure === undefined ? "–" : figure.text;
        if (figure === undefined) delete e.dataset.value;
        else e.dataset.value = figure.text;
    });
    box.dataset.for = sideKey(side);
}
