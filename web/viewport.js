// The picture's viewport: zoom, panning by dragging, the split view's divider, the outline of the
// block inspected, the viewer's wheel and middle button, and clicks on blocks.
import {MAX_ZOOM, clampZoom, stepAfterWheel} from "./state.js";
import {attachTouch} from "./touch.js";
import {WheelNotches, stepAfterNotches} from "./wheel.js";

// The block position under picture pixel x, y (from the top-left) of a picture `height` pixels
// high: blocks are counted from the picture's bottom-left corner, so the top block row may be
// cut, and rows are numbered from the top.
export function blockAt(x, y, height) {
    const rows = Math.ceil(height / 8);
    return {column: Math.floor(x / 8), row: rows - 1 - Math.floor((height - 1 - y) / 8)};
}

// The top-left picture pixel of block `column`, `row` (which may lie above the picture, for the cut
// top block row).
export function blockOrigin(column, row, height) {
    const rows = Math.ceil(height / 8);
    return {x: 8 * column, y: height - 8 * (rows - row)};
}

const ARROWS = {ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1]};

// Block `from` moved by `move` ([columns, rows]), held inside a picture of `width` x `height`.
export function movedBlock(from, move, width, height) {
    const clamp = (v, n) => Math.min(n - 1, Math.max(0, v));
    return {column: clamp(from.column + move[0], Math.ceil(width / 8)),
            row: clamp(from.row + move[1], Math.ceil(height / 8))};
}

// The divider's place (a share of the width) after `key`, or null for a key that does not move it.
export function dividerAfterKey(split, key) {
    const by = {ArrowLeft: -0.01, ArrowDown: -0.01, ArrowRight: 0.01, ArrowUp: 0.01,
                PageDown: -0.1, PageUp: 0.1}[key];
    if (by !== undefined) return Math.min(1, Math.max(0, Math.round((split + by) * 100) / 100));
    if (key === "Home") return 0;
    if (key === "End") return 1;
    return null;
}

// `elements`: {viewport, canvas, outline, divider, zoomLevel}. `picture()` gives the picture open
// ({width, height}) or null. `actions`: setStep(step) for the wheel and the middle button,
// inspect(column, row) for a click on a block, redraw() when the divider moves, selected() the
// block inspected ({column, row} or null), fitsLarger() whether a fitted picture may be enlarged.
export function createViewport(elements, state, picture, actions) {
    const {viewport, canvas, outline, divider, zoomLevel} = elements;

    function placeOverlays() {
        const z = state.zoom;
        if (!outline.hidden) {
            outline.style.left = `${outline.dataset.x * z - 2}px`;
            outline.style.top = `${outline.dataset.y * z - 2}px`;
            outline.style.width = `${outline.dataset.w * z}px`;
            outline.style.height = `${outline.dataset.h * z}px`;
        }
        const open = picture();
        divider.hidden = state.view !== "split" || open === null;
        if (!divider.hidden) {
            // The 24 pixel handle centred on the first quantised column.
            divider.style.left = `${Math.round(state.split * open.width) * z - 12}px`;
            divider.setAttribute("aria-valuenow", String(Math.round(state.split * 100)));
            divider.setAttribute("aria-valuetext",
                                 `${Math.round(state.split * 100)} % of the width original`);
        }
    }

    // Whether the zoom is the fitted one, which follows the window when it is resized or turned.
    let fitted = false;

    function setZoom(zoom, fit = false) {
        const open = picture();
        if (open === null) return;
        fitted = fit;
        state.zoom = clampZoom(zoom);
        canvas.style.width = `${open.width * state.zoom}px`;
        canvas.style.height = `${open.height * state.zoom}px`;
        zoomLevel.textContent = `${Math.round(state.zoom * 100)}%`;
        placeOverlays();
    }

    function zoomToFit() {
        const open = picture();
        if (open === null) return;
        // On narrow screens the viewport's height follows the picture's shape (style.css).
        viewport.style.setProperty("--picture-aspect", String(open.height / open.width));
        const fit = Math.min((viewport.clientWidth - 2) / open.width,
                             (viewport.clientHeight - 2) / open.height);
        // Fitted pictures are not enlarged, but in presentation mode, which fills the window.
        setZoom(Math.min(actions.fitsLarger?.() ? MAX_ZOOM : 1, fit), true);
    }

    // The window resized or turned, or the split view's sides shown under the picture.
    new ResizeObserver(() => {
        if (fitted) zoomToFit();
    }).observe(viewport);

    // The block outlined: {x, y, w, h} in picture pixels from the top-left, or null for none.
    function outlineBlock(block) {
        outline.hidden = block === null;
        if (block !== null) {
            outline.dataset.x = block.x;
            outline.dataset.y = block.y;
            outline.dataset.w = block.w;
            outline.dataset.h = block.h;
        }
        placeOverlays();
    }

    // The picture pixel under a mouse event or a point ({clientX, clientY}).
    function pixelAt(event) {
        const rect = canvas.getBoundingClientRect();
        return {
            x: Math.floor(((event.clientX - rect.left) / rect.width) * canvas.width),
            y: Math.floor(((event.clientY - rect.top) / rect.height) * canvas.height),
        };
    }

    // Small deltas (a trackpad's) add up to notches; the page never scrolls under the picture.
    const notches = new WheelNotches();
    viewport.addEventListener("wheel", (event) => {
        if (event.deltaY === 0) return;
        event.preventDefault();
        const made = notches.add(event.deltaY, event.deltaMode, event.timeStamp);
        if (made !== 0) actions.setStep(stepAfterNotches(state.step, made));
    }, {passive: false});

    let drag = null;

    viewport.addEventListener("mousedown", (event) => {
        if (event.button === 1) {
            // The viewer's middle button: the step back to 1.
            event.preventDefault();
            actions.setStep(1);
            return;
        }
        if (event.button !== 0) return;
        event.preventDefault();
        viewport.focus({preventScroll: true});
        const onDivider = event.target.closest("#divider") !== null;
        drag = {x: event.clientX, y: event.clientY, left: viewport.scrollLeft,
                top: viewport.scrollTop, moved: false, divider: onDivider};
        viewport.classList.add("dragging");
    });

    window.addEventListener("mousemove", (event) => {
        if (drag === null) return;
        const dx = event.clientX - drag.x;
        const dy = event.clientY - drag.y;
        if (Math.abs(dx) + Math.abs(dy) > 3) drag.moved = true;
        if (drag.divider) {
            moveDivider(event.clientX);
        } else if (drag.moved) {
            viewport.scrollLeft = drag.left - dx;
            viewport.scrollTop = drag.top - dy;
        }
    });

    window.addEventListener("mouseup", (event) => {
        if (drag === null) return;
        const click = !drag.moved && !drag.divider;
        drag = null;
        viewport.classList.remove("dragging");
        if (click) inspectAt(event);
    });

    // The divider moved to under clientX.
    function moveDivider(clientX) {
        const rect = canvas.getBoundingClientRect();
        state.split = Math.min(1, Math.max(0, (clientX - rect.left) / rect.width));
        actions.redraw();
    }

    // Inspects the block under a point ({clientX, clientY}) of the picture.
    function inspectAt(point) {
        const open = picture();
        if (open === null) return;
        const {x, y} = pixelAt(point);
        if (x < 0 || y < 0 || x >= open.width || y >= open.height) return;
        const {column, row} = blockAt(x, y, open.height);
        actions.inspect(column, row);
    }

    attachTouch(viewport, {
        zoom: () => state.zoom,
        setZoom,
        zoomToFit,
        fitted: () => fitted,
        tap: (clientX, clientY) => inspectAt({clientX, clientY}),
        moveDivider,
    });

    viewport.addEventListener("auxclick", (event) => event.preventDefault());

    // The block's outline scrolled into view, with the block's size as margin.
    function reveal(column, row, open) {
        const z = state.zoom;
        const {x, y} = blockOrigin(column, row, open.height);
        const margin = 8 * z;
        const left = x * z - margin;
        const right = (x + 8) * z + margin;
        const top = y * z - margin;
        const bottom = (y + 8) * z + margin;
        if (left < viewport.scrollLeft) viewport.scrollLeft = left;
        else if (right > viewport.scrollLeft + viewport.clientWidth) {
            viewport.scrollLeft = right - viewport.clientWidth;
        }
        if (top < viewport.scrollTop) viewport.scrollTop = top;
        else if (bottom > viewport.scrollTop + viewport.clientHeight) {
            viewport.scrollTop = bottom - viewport.clientHeight;
        }
    }

    // The picture's keys, for everything the pointer does: the arrows move the inspected block,
    // Enter inspects the block at the centre of the view, Page Up and Page Down are a notch of
    // the wheel, Home the middle button.
    viewport.addEventListener("keydown", (event) => {
        if (event.target !== viewport || event.ctrlKey || event.altKey || event.metaKey) return;
        const open = picture();
        if (open === null) return;
        const move = ARROWS[event.key];
        if (move !== undefined) {
            const from = actions.selected() ?? centreBlock(open);
            const to = movedBlock(from, move, open.width, open.height);
            actions.inspect(to.column, to.row);
            reveal(to.column, to.row, open);
        } else if (event.key === "Enter") {
            const centre = centreBlock(open);
            actions.inspect(centre.column, centre.row);
        } else if (event.key === "PageUp" || event.key === "PageDown") {
            actions.setStep(stepAfterWheel(state.step, event.key === "PageUp" ? -1 : 1));
        } else if (event.key === "Home") {
            actions.setStep(1);
        } else {
            return;
        }
        event.preventDefault();
    });

    // The block at the centre of what the viewport shows.
    function centreBlock(open) {
        const z = state.zoom;
        const x = Math.min(open.width - 1, Math.max(0, Math.floor(
            (viewport.scrollLeft + viewport.clientWidth / 2) / z)));
        const y = Math.min(open.height - 1, Math.max(0, Math.floor(
            (viewport.scrollTop + viewport.clientHeight / 2) / z)));
        return blockAt(x, y, open.height);
    }

    // The divider's keys: the arrows move it by 1 % of the width, Page Up and Page Down by 10 %,
    // Home and End to the edges.
    divider.addEventListener("keydown", (event) => {
        const to = dividerAfterKey(state.split, event.key);
        if (to === null) return;
        event.preventDefault();
        state.split = to;
        actions.redraw();
    });

    // The picture pixel at the centre of what the viewport shows, and the scroll that puts one
    // there (as near as the picture's edges let it), for links.
    function centrePixel() {
        const open = picture();
        const z = state.zoom;
        return {x: Math.min(open.width - 1, Math.max(0, Math.floor(
                    (viewport.scrollLeft + viewport.clientWidth / 2) / z))),
                y: Math.min(open.height - 1, Math.max(0, Math.floor(
                    (viewport.scrollTop + viewport.clientHeight / 2) / z)))};
    }
    function centreOn(x, y) {
        viewport.scrollLeft = (x + 0.5) * state.zoom - viewport.clientWidth / 2;
        viewport.scrollTop = (y + 0.5) * state.zoom - viewport.clientHeight / 2;
    }

    return {setZoom, zoomToFit, placeOverlays, outlineBlock, centrePixel, centreOn};
}
