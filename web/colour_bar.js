// The colour bar under the error and bytes views: the maps' ramp in the module's own colours, and
// under it the figures and the caption kvrn diff and kvrn blocks draw under their maps, made by
// the same lab functions (lab_map_bar in lab.cpp), so that the page's bar and the tool's agree.
// The figures are text, each set where it lies along the bar, so the scale reads without colour.

// `element`: the #colour-bar figure, holding the ramp's canvas, the figures' row and a caption.
export function createColourBar(element) {
    const canvas = element.querySelector("canvas");
    const figures = element.querySelector("#colour-bar-figures");
    const caption = element.querySelector("figcaption");
    let rampDrawn = false;

    // `bar` as the worker sends it ({least, most, caption, ticks: [{along, text}], ramp: 256 RGBA
    // pixels}), or null in a view without a map; `key` names the render and scale it shows.
    function show(bar, key) {
        element.hidden = bar === null;
        if (bar === null) {
            delete element.dataset.for;
            return;
        }
        if (!rampDrawn) {
            canvas.getContext("2d").putImageData(new ImageData(bar.ramp, 256, 1), 0, 0);
            rampDrawn = true;
        }
        const texts = bar.ticks.map((tick) => tick.text);
        canvas.setAttribute("aria-label", `Colour scale: black at ${texts[0]}, through violet, ` +
                                          `red and amber, to pale yellow at ${texts.at(-1)}`);
        figures.replaceChildren(...bar.ticks.map((tick) => {
            const figure = document.createElement("span");
            figure.textContent = tick.text;
            figure.style.left = `${100 * tick.along}%`;
            // The end figures inside the bar's ends, the others centred where they lie.
            figure.style.translate = `${-100 * tick.along}%`;
            if (tick.along > 0 && tick.along < 1) figure.style.translate = "-50%";
            return figure;
        }));
        caption.textContent = bar.caption;
        element.dataset.figures = texts.join(" ");
        element.dataset.for = key;
    }

    return {show};
}
