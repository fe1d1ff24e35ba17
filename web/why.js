// The "why" texts beside the figures: a sentence or two on each thing a learner asks about them
// (the floor, clipping, PSNR and SSIM, chroma, 8 x 8 blocks, truncation), each filled with the
// figures of the picture and settings on screen. whyTexts() has no document in it, so that Node's
// tests run it as the page does; showWhy() puts its texts into the page.

// The format's sizes (docs/format.md): a 14-byte header, and at each 8 x 8 block position three
// coded blocks of at least 3 bytes each (a DC of two bytes and the end-of-block byte).
export const HEADER_BYTES = 14;
export const LEAST_BLOCK_BYTES = 3;
export const LEAST_POSITION_BYTES = 3 * LEAST_BLOCK_BYTES;

// The block positions of a picture: those on the right and top edges that cover it only in part
// still carry whole blocks.
export function blockPositions(width, height) {
    return {columns: Math.ceil(width / 8), rows: Math.ceil(height / 8)};
}

// The fewest bytes a KVRN file of a `width` x `height` picture can take, at any scales.
export function floorBytes(width, height) {
    const {columns, rows} = blockPositions(width, height);
    return HEADER_BYTES + LEAST_POSITION_BYTES * columns * rows;
}

// A figure's number from its text as the page shows it ("inf", "nan" included), or null when it
// has not been counted.
function number(figures, name) {
    const text = figures[name]?.text;
    if (text === undefined || text === "") return null;
    return text === "inf" ? Infinity : Number(text);
}

function floorText({width, height}, figures) {
    const {columns, rows} = blockPositions(width, height);
    const floor = floorBytes(width, height);
    const partial = width % 8 !== 0 || height % 8 !== 0
        ? " (those on the right and top edges cover the picture only in part, yet are whole " +
          "blocks all the same)"
        : "";
    const bpp = (bytes) => (8 * bytes / (width * height)).toFixed(4);
    let text = `However large the step, every block takes at least 3 bytes, its DC's two and an ` +
               `end-of-block byte, for each of Y, Cr and Cb at each of this picture's ` +
               `${columns} × ${rows} block positions${partial}, plus the 14-byte header, so its ` +
               `file cannot go below ${HEADER_BYTES} + ${LEAST_POSITION_BYTES} × ` +
               `${columns * rows} = ${floor} bytes (${bpp(floor)} bits per pixel; 72 bits for ` +
               `64 pixels is 1.125).`;
    const bytes = number(figures, "bytes");
    if (bytes !== null) {
        const above = bytes - floor;
        text += above === 0
            ? ` The file now, ${bytes} bytes, is at that floor: every block kept its DC alone.`
            : ` The file now, ${bytes} bytes, is ${above} bytes above it ` +
              `(${(100 * above / floor).toFixed(1)} %), what its AC coefficients cost.`;
    }
    return text;
}

function clippingText(settings, figures, own) {
    const byTables = settings.tables !== null;
    const divisor = byTables ? "its divisor" : "the scale";
    const rule = `A stored AC value is one byte, −127 to 126, so a coefficient of 127 times ` +
                 `${divisor} or more (−128 times or less) does not fit and is clipped, and its ` +
                 `block comes back wrong: that is why step 1 can look worse than step 2, whose ` +
                 `quotients are half as large and clip fewer coefficients, if any.`;
    if (own) {
        return `${rule} This is the file opened, at its own scales: how many coefficients its ` +
               `encoder clipped, the file does not say.`;
    }
    const clipped = number(figures, "clipped");
    if (clipped === null) return rule;
    const these = byTables ? "These tables" : "These scales";
    if (clipped === 0) {
        return `${rule} ${these} clip no coefficient: every quotient fits in its byte.`;
    }
    const least = Math.min(settings.y, settings.cr, settings.cb);
    const from = byTables ? ""
        : ` (at the smallest scale here, ${least}, every coefficient of ${127 * least} or more, ` +
          `or −${128 * least} or less)`;
    return `${rule} ${these} clip ${clipped} AC coefficient${clipped === 1 ? "" : "s"}${from}.`;
}

function metricsText(figures) {
    const psnr = number(figures, "psnr_rgb");
    const ssim = number(figures, "ssim_y");
    let measured = "";
    if (psnr === Infinity) {
        measured = " Here the file gives back every pixel: no error, an infinite PSNR.";
    } else if (psnr !== null && ssim !== null) {
        const rms = 255 / 10 ** (psnr / 20);
        measured = ` Here PSNR RGB is ${figures.psnr_rgb.text} dB, a root-mean-square error of ` +
                   `${rms.toFixed(2)} levels, and SSIM Y ` +
                   (Number.isNaN(ssim) ? "is not defined (the picture is under 11 pixels on a " +
                                         "side)."
                                       : `${figures.ssim_y.text} (1 is identical).`);
    }
    return "PSNR compares the mean squared error of the samples with 255² on a logarithmic " +
           "scale (each 6 dB more halves the error); SSIM Y compares the local mean, contrast " +
           "and structure of luma in 11 × 11 windows. Both see errors where the eye does not, " +
           "in busy texture that hides them, and miss what it sees: PSNR weighs a faint step " +
           "at a block's edge in a smooth sky no more than noise in leaves, and SSIM Y is blind " +
           `to colour bleeding.${measured}`;
}

function chromaText(settings) {
    const general = "The eye resolves fine detail in brightness far better than in colour, so " +
                    "Cr and Cb (the red and blue differences) can lose more of theirs than Y " +
                    "before anyone notices, and the file shrinks.";
    if (settings.tables !== null) {
        return `${general} JPEG's example tables follow the same idea: their chroma table ` +
               "divides most frequencies by more than their luma table does.";
    }
    const {y, cr, cb} = settings;
    if (cr === y && cb === y) {
        return `${general} Here all three are at ${y}: unlink the step and give Cr and Cb 4 to ` +
               "8 times Y's scale to see how little the picture changes.";
    }
    const times = (s) => `${s} (${Number((s / y).toFixed(2))} times Y's)`;
    return `${general} Here Y is at ${y}, Cr at ${times(cr)} and Cb at ${times(cb)}.`;
}

function blocksText({width, height}) {
    const {columns, rows} = blockPositions(width, height);
    return "8 × 8, as in JPEG, is a compromise: large enough that a smooth patch packs into a " +
           "few coefficients, small enough that the transform stays cheap and a sharp edge's " +
           `ringing stays within its block. This ${width} × ${height} picture is ${columns} × ` +
           `${rows} = ${columns * rows} blocks in each of Y, Cr and Cb.`;
}

function truncationText(settings) {
    if (settings.tables !== null) {
        return "Each coefficient is divided by its entry of the table and the quotient truncated " +
               "toward zero: every coefficient smaller than its entry vanishes, and the others " +
               "all lose toward zero, so a flat block's level moves toward 128.";
    }
    const s = settings.y;
    const general = "Quantisation divides each coefficient by the scale and truncates the " +
                    "quotient toward zero";
    if (s === 1) {
        return `${general}; at Y's scale of 1 the quotient is the coefficient itself, so ` +
               "nothing is truncated and only clipping changes Y's values.";
    }
    // The README's leaf: a flat block of luma 176 has DC 8 × (176 − 128) = 384.
    const stored = Math.trunc(384 / s);
    const back = 128 + stored * s / 8;
    const level = Number.isInteger(back) ? `${back}` : `about ${Math.round(back)}`;
    return `${general}: at Y's scale of ${s} every coefficient from −${s - 1} to ${s - 1} ` +
           `becomes 0, so small detail vanishes, and the rest lose up to ${s - 1} toward zero, ` +
           `so a flat block's level moves toward 128: one of luma 176 (DC 384) is stored as ` +
           `${stored} and comes back at ${level}.`;
}

// The texts for the picture `{width, height}` at `settings` (the page's: y, cr, cb, tables), with
// `figures` as the page shows them ({name: {text}}, any not yet counted left out); `fileScales`:
// the scales of a whole KVRN file opened, which at those scales is shown as it is, or null.
export function whyTexts({picture, settings, figures, fileScales = null}) {
    const own = fileScales !== null && settings.tables === null && settings.y === fileScales[0] &&
                settings.cr === fileScales[1] && settings.cb === fileScales[2];
    return {
        floor: floorText(picture, figures),
        clipping: clippingText(settings, figures, own),
        metrics: metricsText(figures),
        chroma: chromaText(settings),
        blocks: blocksText(picture),
        truncation: truncationText(settings),
    };
}

// Fills each `[data-why=NAME]` of `container` with its text.
export function showWhy(container, texts) {
    for (const [name, text] of Object.entries(texts)) {
        container.querySelector(`[data-why="${name}"]`).textContent = text;
    }
}
