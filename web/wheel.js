// The wheel's deltas as the viewer's notches. A mouse sends one event a notch; a trackpad sends
// many small ones for the same distance, and moving the step by a notch for each of them made it
// race. So the deltas are summed until they make a whole notch, whatever the device.
import {MAX_SCALE, stepAfterWheel} from "./state.js";

// One notch in each of WheelEvent's delta modes: 100 pixels (a notch of a mouse in most
// browsers; Chromium's 120 is one notch and a fifth, the fifth kept for the next), 3 lines (the
// lines a notch scrolls by default) or one page.
export const NOTCH_PIXELS = 100;
export const NOTCH_LINES = 3;
export const NOTCH_PAGES = 1;
// A remainder older than this is dropped: the hand has stopped, and a later flick starts afresh.
export const PAUSE_MS = 500;

// The sum is kept in 1/300 of a notch, a whole number for whole pixels, lines and pages (a pixel
// is 3, a line 100, a page 300), so that 25 deltas of 4 pixels make exactly one notch.
const UNITS = 300;
const UNITS_PER_DELTA = [UNITS / NOTCH_PIXELS, UNITS / NOTCH_LINES, UNITS / NOTCH_PAGES];
// Fractional deltas (scaled screens) may sum to a hair under a notch that was meant.
const SLACK = 1e-6;

// Sums wheel deltas into notches: add() takes an event's deltaY, deltaMode and timeStamp
// (milliseconds) and gives the whole notches completed, negative away from the user (deltaY < 0)
// as deltaY is, keeping the rest. The rest is dropped when the direction changes and after a
// pause of PAUSE_MS.
export class WheelNotches {
    constructor() {
        this.rest = 0;  // in UNITS a notch, signed as deltaY
        this.last = -Infinity;
    }

    add(deltaY, deltaMode, time) {
        if (deltaY === 0 || !Number.isFinite(deltaY)) return 0;
        const units = deltaY * (UNITS_PER_DELTA[deltaMode] ?? UNITS_PER_DELTA[0]);
        if (time - this.last > PAUSE_MS || Math.sign(units) !== Math.sign(this.rest)) this.rest = 0;
        this.last = time;
        this.rest += units;
        const notches = Math.trunc(this.rest / UNITS + Math.sign(this.rest) * SLACK);
        this.rest -= notches * UNITS;
        return notches;
    }
}

// The step after `notches` notches of the viewer's wheel (negative: away from the user, the step
// up), each held to 1..MAX_SCALE as a single one is. Half of MAX_SCALE notches reach either end
// from anywhere, so a wilder delta costs no more.
export function stepAfterNotches(step, notches) {
    const count = Math.min(Math.abs(notches), MAX_SCALE);
    for (let i = 0; i < count; ++i) step = stepAfterWheel(step, notches);
    return step;
}
