// The lab's settings and what the controls do to them, without the page: the step and the three
// scales (linked or not), the channels, the view, the quantiser, and the zoom. Nothing here
// touches the document, so that Node's tests run it as the page does.
import {JPEG_CHROMA, JPEG_LUMA, scaledTable} from "./tables.js";

export const MAX_SCALE = 65535;
export const MIN_ZOOM = 1 / 32;
export const MAX_ZOOM = 32;

// The channels' letters, as the viewer's keys and the rendered key name them.
export const CHANNEL_LETTERS = ["y", "r", "b"];

// The mask of the channels named by `letters` ("yrb", "y", ""), with the bits of the codec's
// channels (`bits`: {y, cr, cb}, from the WebAssembly module).
export function channelMask(letters, bits) {
    const bit = {y: bits.y, r: bits.cr, b: bits.cb};
    let mask = 0;
    for (const letter of letters) {
        if (!(letter in bit)) throw new Error(`no channel "${letter}"`);
        mask |= bit[letter];
    }
    return mask;
}

// A scale typed in, rounded and held to 1..MAX_SCALE; null when it is no number.
export function clampScale(value) {
    const n = Math.round(Number(value));
    if (!Number.isFinite(n)) return null;
    return Math.min(MAX_SCALE, Math.max(1, n));
}

export function clampZoom(zoom) {
    return Math.min(MAX_ZOOM, Math.max(MIN_ZOOM, zoom));
}

// The viewer's wheel: a notch reaches it as a press and a release of the wheel's button, and each
// changes the step by 1, up for a notch away (deltaY < 0), never below 1 nor above MAX_SCALE.
export function stepAfterWheel(step, deltaY) {
    if (deltaY === 0) return step;
    for (let i = 0; i < 2; ++i) {
        if (deltaY < 0) step = Math.min(MAX_SCALE, step + 1);
        else if (step > 1) step -= 1;
    }
    return step;
}

export class LabState {
    constructor() {
        this.step = 8;
        this.scales = [8, 8, 8];
        this.linked = true;
        this.channels = {y: true, r: true, b: true};
        this.view = "quantised";
        this.gain = 8;
        // The bytes view's scale: "auto", from the file's fewest bytes of a block to its most (on
        // the fixed scale most blocks of a photograph take a few tens of the 195 bytes and show
        // nearly black), or "fixed", 9 to 195 bytes for every file, so that files compare.
        this.bytesScale = "auto";
        this.zoom = 1;
        this.split = 0.5;  // the divider's place, as a share of the width
        this.quantiser = "scales";  // or "jpeg" (the example tables at `quality`) or "custom"
        this.quality = 50;
        this.custom = {luma: [...JPEG_LUMA], chroma: [...JPEG_CHROMA]};
    }

    // The step of the viewer; linked scales follow it.
    setStep(step) {
        this.step = step;
        if (this.linked) this.scales = [step, step, step];
    }

    // Scale `c` (0 Y, 1 Cr, 2 Cb) set on its own: the three come unlinked when they leave the step.
    setScale(c, value) {
        this.scales[c] = value;
        if (this.linked && !this.scales.every((s) => s === this.step)) this.linked = false;
    }

    // Linking brings the three scales to the step.
    setLinked(linked) {
        this.linked = linked;
        if (linked) this.setStep(this.step);
    }

    // A KVRN file opens at its own scales, so that its quantised view is the file itself; they
    // are linked when they are equal. Scales of 0 (a damaged header) leave the settings alone.
    adoptFileScales(scales) {
        if (!scales.every((s) => s >= 1)) return false;
        this.scales = [...scales];
        this.linked = scales[0] === scales[1] && scales[1] === scales[2];
        if (this.linked) this.step = scales[0];
        return true;
    }

    toggleChannel(letter) {
        this.channels[letter] = !this.channels[letter];
    }

    // The channels switched on, as letters: "yrb" with all three.
    letters() {
        return CHANNEL_LETTERS.filter((letter) => this.channels[letter]).join("");
    }

    // The quantiser changed: tables of one's own start from the tables shown.
    setQuantiser(next) {
        if (next === "custom" && this.quantiser === "jpeg") {
            this.custom = {luma: scaledTable(JPEG_LUMA, this.quality),
                           chroma: scaledTable(JPEG_CHROMA, this.quality)};
        }
        this.quantiser = next;
    }

    // The luma and chroma tables of the table mode, or null when the scales quantise.
    tables() {
        if (this.quantiser === "jpeg") {
            return {luma: scaledTable(JPEG_LUMA, this.quality),
                    chroma: scaledTable(JPEG_CHROMA, this.quality)};
        }
        return this.quantiser === "custom" ? this.custom : null;
    }

    // What quantises, in words for the data attributes: "scales", "jpeg:QUALITY" or "custom:"
    // and the 128 entries of the luma and chroma tables.
    quantiserLabel() {
        if (this.quantiser === "jpeg") return `jpeg:${this.quality}`;
        if (this.quantiser === "custom") {
            return `custom:${this.custom.luma.join(".")}/${this.custom.chroma.join(".")}`;
        }
        return "scales";
    }

    // What a render is asked for.
    renderSettings() {
        const [y, cr, cb] = this.scales;
        const t = this.tables();
        return {
            step: this.step, y, cr, cb, letters: this.letters(), view: this.view,
            gain: this.gain, bytesScale: this.bytesScale, quantiser: this.quantiserLabel(),
            tables: t === null ? null : Int32Array.from([...t.luma, ...t.chroma, ...t.chroma]),
        };
    }
}

// The canvas's data-rendered attribute of a render's settings.
export function renderedKey(s) {
    return `${s.step},${s.y},${s.cr},${s.cb},${s.letters},${s.view}`;
}
