// The rate-distortion plot's arithmetic, without the document: the codecs and settings it
// measures, its axes' scales and ticks, the curves' paths and the marks' shapes, so that Node's
// tests run it as the page does.

// The steps `kvrn sweep` measures KVRN at by default: about two to an octave of the step.
export const STEPS = [1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64];

// The JPEG qualities `kvrn sweep` measures by default.
export const QUALITIES = [10, 20, 30, 40, 50, 60, 70, 75, 80, 85, 90, 95];

// The plot's curves, each a codec of `kvrn sweep` by its name there, at its default settings, with
// the shape of its marks: KVRN's, then baseline JPEG's, 4:2:0 (the sweep's anchor) and 4:4:4.
export const CODECS = [
    {codec: "kvrn", label: "KVRN", settings: STEPS, shape: "circle"},
    {codec: "jpeg420", label: "JPEG 4:2:0", settings: QUALITIES, shape: "triangle"},
    {codec: "jpeg444", label: "JPEG 4:4:4", settings: QUALITIES, shape: "diamond"},
];

// Every point of every curve, {codec, setting}, in the order the worker measures them: KVRN's
// curve whole first, the one the settings shown sit on.
export function pointsToMeasure() {
    return CODECS.flatMap(({codec, settings}) => settings.map((setting) => ({codec, setting})));
}

// The SVG path of a mark of `shape` (not a circle) centred on x, y and reaching `r` from it: a
// triangle standing on its base, or a diamond.
export function markPath(shape, x, y, r) {
    const corners = shape === "triangle"
        ? [[x, y - r], [x + r * 0.866, y + r / 2], [x - r * 0.866, y + r / 2]]
        : [[x, y - r], [x + r, y], [x, y + r], [x - r, y]];
    return `${curvePath(corners)}Z`;
}

// The fewest bits a pixel a KVRN file can spend: each 8x8 block codes each of its three channels
// in at least 3 bytes (its DC and an end-of-block byte), 9 bytes or 72 bits for 64 pixels.
export const FLOOR_BPP = 72 / 64;

// A scale from `domain` [a, b] to `range` [c, d], linear or (`log`) logarithmic in the domain.
export function scale([a, b], [c, d], log = false) {
    const f = log ? Math.log : (x) => x;
    const fa = f(a);
    const span = f(b) - fa;
    return (x) => (span === 0 ? (c + d) / 2 : c + ((f(x) - fa) / span) * (d - c));
}

// The round values 1, 2 and 5 times powers of ten within [a, b] (a > 0), for a logarithmic axis;
// when there are more than `most`, only 1 and 5 times them, then only the powers of ten.
export function logTicks(a, b, most = 8) {
    for (const mantissas of [[1, 2, 5], [1, 5], [1]]) {
        const ticks = [];
        for (let e = Math.floor(Math.log10(a)); e <= Math.ceil(Math.log10(b)); ++e) {
            for (const m of mantissas) {
                const t = Number((m * 10 ** e).toPrecision(12));
                if (t >= a && t <= b) ticks.push(t);
            }
        }
        if (ticks.length <= most || mantissas.length === 1) return ticks;
    }
    return [];
}

// Multiples of the tidy tick spacing (1, 2 or 5 times a power of ten) that gives at most `most`
// ticks within [a, b].
export function linearTicks(a, b, most = 8) {
    if (!(b > a)) return [a];
    const rough = (b - a) / most;
    const power = 10 ** Math.floor(Math.log10(rough));
    const step = [1, 2, 5, 10].map((m) => m * power).find((s) => (b - a) / s <= most);
    const ticks = [];
    for (let t = Math.ceil(a / step) * step; t <= b + step * 1e-9; t += step) {
        ticks.push(Number(t.toPrecision(12)));
    }
    return ticks;
}

// The plot's domains for points {bpp, psnr}: bits a pixel from below the floor to a little past
// the largest file, PSNR in whole 5 dB bands around the points (infinite PSNRs, of a lossless
// file, left out).
export function domains(points) {
    const bpps = points.map((p) => p.bpp).filter(Number.isFinite);
    const psnrs = points.map((p) => p.psnr).filter(Number.isFinite);
    const low = Math.min(FLOOR_BPP, ...bpps) / 1.25;
    const high = Math.max(FLOOR_BPP * 4, ...bpps) * 1.25;
    const bottom = psnrs.length ? Math.floor(Math.min(...psnrs) / 5) * 5 : 20;
    const top = psnrs.length ? Math.ceil(Math.max(...psnrs) / 5) * 5 : 50;
    return {x: [low, high], y: [bottom, top === bottom ? top + 5 : top]};
}

// The SVG path through points [x, y] in the order given, two decimals a coordinate.
export function curvePath(points) {
    return points.map(([x, y], i) => `${i === 0 ? "M" : "L"}${x.toFixed(2)},${y.toFixed(2)}`)
        .join("");
}
