// The rate-distortion plot: the picture's KVRN file at each of `kvrn sweep`'s steps and its
// baseline JPEG files at the sweep's qualities, bits per pixel (logarithmic) against PSNR of Y or
// of RGB, the setting shown marked, KVRN's floor drawn, and the plot saved as SVG or PNG. The
// worker measures one point a request, only when no render waits, so that the curves never hold
// the picture or its figures back.
import {CODECS, FLOOR_BPP, STEPS, curvePath, domains, linearTicks, logTicks, markPath,
        pointsToMeasure, scale} from "./plot_scales.js";

const SVG = "http://www.w3.org/2000/svg";
const WIDTH = 480;
const HEIGHT = 300;
const MARGIN = {left: 52, right: 14, top: 30, bottom: 42};
// The figures a mark carries, as kvrn sweep's columns name them.
const FIELDS = ["bytes", "bits_per_pixel", "psnr_rgb", "psnr_y"];
const METRIC_NAMES = {psnr_y: "PSNR Y", psnr_rgb: "PSNR RGB"};
const INK = "#222";
const GRID = "#ddd";
// Each codec's curve and marks; the setting shown is red.
const COLOURS = {kvrn: "#2a5fb8", jpeg420: "#b35c00", jpeg444: "#2e7d32"};
const CURVE = COLOURS.kvrn;
const CURRENT = "#b3261e";

function element(parent, name, attributes = {}, text = null) {
    const e = document.createElementNS(SVG, name);
    for (const [key, value] of Object.entries(attributes)) e.setAttribute(key, String(value));
    if (text !== null) e.textContent = text;
    parent.append(e);
    return e;
}

// `figures` as the worker gives them ({name: {value, text}}): the point of `metric`.
function pointOf(figures, metric) {
    return {bpp: Number(figures.bits_per_pixel.text), psnr: Number(figures[metric].text)};
}

// Draws the plot into `svg`: `curves` maps each codec's name to a map of its settings to their
// figures; `current` is the KVRN step whose mark is the setting shown, or {figures} for a setting
// off the curve, or null.
export function drawPlot(svg, curves, metric, current) {
    svg.replaceChildren();
    svg.setAttribute("viewBox", `0 0 ${WIDTH} ${HEIGHT}`);
    const metricName = METRIC_NAMES[metric];
    element(svg, "title", {}, `The KVRN file's ${metricName} against its bits per pixel, step ` +
                              "by step, beside baseline JPEG's, quality by quality");
    element(svg, "rect", {width: WIDTH, height: HEIGHT, fill: "#fff"});
    const measured = CODECS.map(({codec, settings}) => {
        const figures = curves.get(codec) ?? new Map();
        return settings.filter((s) => figures.has(s)).map((s) => [s, figures.get(s)]);
    });
    const points = new Map(measured[0]);
    const steps = STEPS.filter((s) => points.has(s));
    const off = current !== null && typeof current === "object" ? pointOf(current.figures, metric)
                                                               : null;
    const all = measured.flat().map(([, figures]) => pointOf(figures, metric));
    if (off !== null) all.push(off);
    const {x: xDomain, y: yDomain} = domains(all);
    const x = scale(xDomain, [MARGIN.left, WIDTH - MARGIN.right], true);
    const y = scale(yDomain, [HEIGHT - MARGIN.bottom, MARGIN.top]);
    const clampY = (v) => y(Math.min(yDomain[1], Math.max(yDomain[0], v)));
    const bottom = HEIGHT - MARGIN.bottom;
    const font = {"font-family": "sans-serif", "font-size": 11, fill: INK};

    const axes = element(svg, "g", {"aria-hidden": "true"});
    for (const t of logTicks(...xDomain)) {
        element(axes, "line", {x1: x(t), x2: x(t), y1: MARGIN.top, y2: bottom, stroke: GRID});
        element(axes, "text", {...font, x: x(t), y: bottom + 14, "text-anchor": "middle"}, t);
    }
    for (const t of linearTicks(...yDomain, 6)) {
        element(axes, "line", {x1: MARGIN.left, x2: WIDTH - MARGIN.right, y1: y(t), y2: y(t),
                               stroke: GRID});
        element(axes, "text", {...font, x: MARGIN.left - 6, y: y(t) + 4, "text-anchor": "end"}, t);
    }
    element(axes, "path", {d: `M${MARGIN.left},${MARGIN.top}V${bottom}H${WIDTH - MARGIN.right}`,
                           fill: "none", stroke: INK});
    element(axes, "text", {...font, x: (MARGIN.left + WIDTH - MARGIN.right) / 2, y: HEIGHT - 8,
                           "text-anchor": "middle"}, "bits per pixel (logarithmic)");
    element(axes, "text", {...font, x: 14, y: (MARGIN.top + bottom) / 2, "text-anchor": "middle",
                           transform: `rotate(-90 14 ${(MARGIN.top + bottom) / 2})`},
            `${metricName} (dB)`);

    const floor = element(svg, "g", {id: "plot-floor", "data-bpp": FLOOR_BPP});
    element(floor, "line", {x1: x(FLOOR_BPP), x2: x(FLOOR_BPP), y1: MARGIN.top, y2: bottom,
                            stroke: INK, "stroke-dasharray": "4 3"});
    element(floor, "text", {...font, id: "plot-floor-label", x: x(FLOOR_BPP) + 4,
                            y: MARGIN.top + 10}, `KVRN's floor, ${FLOOR_BPP} bpp`);

    const at = (figures) => {
        const p = pointOf(figures, metric);
        return [x(p.bpp), clampY(p.psnr)];
    };
    const lines = element(svg, "g", {"aria-hidden": "true"});
    CODECS.forEach(({codec}, c) => {
        element(lines, "path", {id: c === 0 ? "plot-curve" : `plot-curve-${codec}`,
                                d: curvePath(measured[c].map(([, figures]) => at(figures))),
                                fill: "none", stroke: COLOURS[codec], "stroke-width": 1.5});
    });
    const drawn = steps.map((s) => at(points.get(s)));
    const marks = element(svg, "g", {id: "plot-marks"});
    // JPEG's marks under KVRN's, whose mark of the setting shown stays in sight.
    CODECS.forEach(({codec, label, shape}, c) => {
        if (c === 0) return;
        for (const [quality, figures] of measured[c]) {
            const [mx, my] = at(figures);
            const text = `${label} quality ${quality}: ${figures.bytes.text} bytes, ` +
                         `${figures.bits_per_pixel.text} bits per pixel, ${metricName} ` +
                         `${figures[metric].text} dB`;
            const mark = element(marks, "path", {d: markPath(shape, mx, my, 4.5),
                                                 fill: COLOURS[codec], class: "mark",
                                                 "data-codec": codec, "data-quality": quality,
                                                 role: "img", "aria-label": text});
            for (const name of FIELDS) mark.setAttribute(`data-${name}`, figures[name].text);
            element(mark, "title", {}, text);
        }
    });
    steps.forEach((s, i) => {
        const figures = points.get(s);
        const mark = element(marks, "circle", {cx: drawn[i][0].toFixed(2),
                                               cy: drawn[i][1].toFixed(2), r: 4, fill: CURVE,
                                               class: "mark", "data-codec": "kvrn",
                                               "data-step": s, role: "img"});
        for (const name of FIELDS) mark.setAttribute(`data-${name}`, figures[name].text);
        const label = `step ${s}: ${figures.bytes.text} bytes, ` +
                      `${figures.bits_per_pixel.text} bits per pixel, ${metricName} ` +
                      `${figures[metric].text} dB`;
        if (current === s) {
            mark.setAttribute("data-current", "true");
            mark.setAttribute("fill", CURRENT);
            mark.setAttribute("r", 6);
        }
        mark.setAttribute("aria-label", current === s ? `${label} (shown)` : label);
        element(mark, "title", {}, label);
        element(marks, "text", {...font, "font-size": 9, x: drawn[i][0] + 5,
                                y: drawn[i][1] - 5, "aria-hidden": "true"}, s);
    });
    if (off !== null) {
        const label = `the setting shown: ${current.figures.bytes.text} bytes, ` +
                      `${current.figures.bits_per_pixel.text} bits per pixel, ${metricName} ` +
                      `${current.figures[metric].text} dB`;
        const mark = element(marks, "rect", {x: x(off.bpp) - 5, y: clampY(off.psnr) - 5, width: 10,
                                             height: 10, fill: CURRENT, class: "mark",
                                             "data-current": "true", role: "img",
                                             "aria-label": label});
        for (const name of FIELDS) mark.setAttribute(`data-${name}`, current.figures[name].text);
        element(mark, "title", {}, label);
    }
    drawLegend(svg, font);
}

// Each curve's mark and name in a row above the plot, where no point can hide under them.
function drawLegend(svg, font) {
    const legend = element(svg, "g", {id: "plot-legend", "aria-hidden": "true"});
    const y = MARGIN.top / 2;
    let left = MARGIN.left + 5;
    for (const {codec, label, shape} of CODECS) {
        const entry = element(legend, "g", {"data-codec": codec});
        if (shape === "circle") {
            element(entry, "circle", {cx: left, cy: y, r: 4, fill: COLOURS[codec]});
        } else {
            element(entry, "path", {d: markPath(shape, left, y, 4.5), fill: COLOURS[codec]});
        }
        element(entry, "text", {...font, x: left + 8, y: y + 4}, label);
        // About 6 pixels a letter of the 11-pixel sans-serif, and room before the next mark.
        left += 8 + 6 * label.length + 22;
    }
}

// The plot on the page. `elements`: {svg, metric (a select), svgLink, pngLink, status};
// `send(codec, setting)` asks the worker for the figures of a point, `busy()` says whether a
// render is wanted or waits.
export function createPlot(elements, {send, busy}) {
    const {svg, metric, svgLink, pngLink, status} = elements;
    const curves = new Map();  // codec -> (setting -> figures), of the picture open
    let queue = [];            // the points still to measure, {codec, setting}
    let current = null;
    let base = "picture";
    let drawnCount = 0;        // draws so far, to know whether the PNG link is of this one
    let pngFor = -1;

    const revoke = (link) => {
        if (link.href.startsWith("blob:")) URL.revokeObjectURL(link.href);
    };
    const svgText = () => `<?xml version="1.0" encoding="UTF-8"?>\n` +
                          new XMLSerializer().serializeToString(svg);

    function draw() {
        drawPlot(svg, curves, metric.value, current);
        const total = pointsToMeasure().length;
        status.textContent = queue.length === 0 ? "" : `(measuring: ${total - queue.length} of ` +
                                                       `${total} points)`;
        svg.setAttribute("aria-busy", queue.length === 0 ? "false" : "true");
        revoke(svgLink);
        svgLink.href = URL.createObjectURL(new Blob([svgText()], {type: "image/svg+xml"}));
        revoke(pngLink);
        pngLink.href = "#";
        drawnCount += 1;
    }

    metric.addEventListener("input", draw);

    // The PNG is made when it is asked for, twice the plot's size, from the SVG as saved.
    pngLink.addEventListener("click", (event) => {
        if (pngFor === drawnCount && pngLink.href.startsWith("blob:")) return;
        event.preventDefault();
        const key = drawnCount;
        const image = new Image();
        image.onload = () => {
            const canvas = document.createElement("canvas");
            canvas.width = 2 * WIDTH;
            canvas.height = 2 * HEIGHT;
            canvas.getContext("2d").drawImage(image, 0, 0, canvas.width, canvas.height);
            canvas.toBlob((blob) => {
                if (key !== drawnCount) return;
                revoke(pngLink);
                pngLink.href = URL.createObjectURL(blob);
                pngFor = key;
                pngLink.click();
            }, "image/png");
        };
        image.src = `data:image/svg+xml;charset=utf-8,${encodeURIComponent(svgText())}`;
    });

    const plot = {
        // A picture opened: its curve measured anew.
        opened(name) {
            curves.clear();
            queue = pointsToMeasure();
            current = null;
            base = name.replace(/\.[^.]*$/, "") || "picture";
            svgLink.download = `${base}-rd.svg`;
            pngLink.download = `${base}-rd.png`;
            draw();
        },

        // Asks for the next point's figures when nothing else waits.
        pump() {
            if (queue.length > 0 && !busy()) send(queue[0].codec, queue[0].setting);
        },

        // The worker's figures of `codec` at `setting` (null when it could not make the file).
        measured(codec, setting, figures) {
            queue = queue.filter((p) => p.codec !== codec || p.setting !== setting);
            if (figures !== null) {
                if (!curves.has(codec)) curves.set(codec, new Map());
                curves.get(codec).set(setting, figures);
            }
            draw();
        },

        // The figures of the settings shown, `s` as the render was asked for: on the curve when
        // they are one of its steps with every channel, otherwise a mark of their own.
        shown(s, figures) {
            const onCurve = s.tables === null && s.y === s.cr && s.cr === s.cb &&
                            s.letters === "yrb" && STEPS.includes(s.y);
            const complete = FIELDS.every((name) => figures[name] !== undefined);
            current = onCurve ? s.y : complete ? {figures} : null;
            draw();
        },
    };
    return plot;
}
