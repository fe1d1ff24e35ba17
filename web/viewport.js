// The picture's viewport: zoom, panning by dragging, the split view's divider, the outline of the
// block inspected, the viewer's wheel and middle button, and clicks on blocks.
import {clampZoom, stepAfterWheel} from "./state.js";

// The block position under picture pixel x, y (from the top-left) of a picture `height` pixels
// high: blocks are counted from the picture's bottom-left corner, so the top block row may be
// cut, and rows are numbered from the top.
export function blockAt(x, y, height) {
    const rows = Math.ceil(height / 8);
    return {column: Math.floor(x / 8), row: rows - 1 - Math.floor((height - 1 - y) / 8)};
}

// `elements`: {viewport, canvas, outline, divider, zoomLevel}. `picture()` gives the picture open
// ({width, height}) or null. `actions`: setStep(step) for the wheel and the middle button,
// inspect(column, row) for a click on a block, redraw() when the divider moves.
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
            divider.style.left = `${Math.round(state.split * open.width) * z - 1}px`;
        }
    }

    function setZoom(zoom) {
        const open = picture();
        if (open === null) return;
        state.zoom = clampZoom(zoom);
        canvas.style.width = `${open.width * state.zoom}px`;
        canvas.style.height = `${open.height * state.zoom}px`;
        zoomLevel.textContent = `${Math.round(state.zoom * 100)}%`;
        placeOverlays();
    }

    function zoomToFit() {
        const open = picture();
        if (open === null) return;
        const fit = Math.min((viewport.clientWidth - 2) / open.width,
                             (viewport.clientHeight - 2) / open.height);
        setZoom(Math.min(1, fit));
    }

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

    // The picture pixel under a mouse event.
    function pixelAt(event) {
        const rect = canvas.getBoundingClientRect();
        return {
            x: Math.floor(((event.clientX - rect.left) / rect.width) * canvas.width),
            y: Math.floor(((event.clientY - rect.top) / rect.height) * canvas.height),
        };
    }

    viewport.addEventListener("wheel", (event) => {
        if (event.deltaY === 0) return;
        event.preventDefault();
        actions.setStep(stepAfterWheel(state.step, event.deltaY));
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
            const rect = canvas.getBoundingClientRect();
            state.split = Math.min(1, Math.max(0, (event.clientX - rect.left) / rect.width));
            actions.redraw();
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
        const open = picture();
        if (!click || open === null) return;
        const {x, y} = pixelAt(event);
        if (x < 0 || y < 0 || x >= open.width || y >= open.height) return;
        const {column, row} = blockAt(x, y, open.height);
        actions.inspect(column, row);
    });

    viewport.addEventListener("auxclick", (event) => event.preventDefault());

    return {setZoom, zoomToFit, placeOverlays, outlineBlock};
}
