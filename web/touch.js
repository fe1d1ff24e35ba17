// Touch on the picture: a pinch zooms about its centre and two fingers pan, a tap inspects the
// block under it, a double tap switches between the fitted picture and one picture pixel per
// screen pixel. One finger is left to the browser: it scrolls the picture when the picture is
// larger than its viewport and the page when it is not (or at the picture's edge), as a page
// that scrolls under one finger expects. Touch events rather than pointer events, so that one
// finger can be left to the browser and two taken from it.

// A tap moves less than this many CSS pixels and lasts less than TAP_MS; a double tap's second
// tap starts within DOUBLE_TAP_MS of the first and within DOUBLE_TAP_SLOP pixels of it (the
// figures browsers use for their own double-tap zoom).
const TAP_SLOP = 10;
const TAP_MS = 500;
const DOUBLE_TAP_MS = 300;
const DOUBLE_TAP_SLOP = 30;

export function centroid(points) {
    const n = points.length;
    return {x: points.reduce((s, p) => s + p.x, 0) / n, y: points.reduce((s, p) => s + p.y, 0) / n};
}

export function spread(a, b) {
    return Math.hypot(a.x - b.x, a.y - b.y);
}

// Whether a touch from `start` ({x, y, time}) to `end` is a tap.
export function isTap(start, end) {
    return spread(start, end) < TAP_SLOP && end.time - start.time < TAP_MS;
}

// Whether tap `tap` is the second of a double tap after `previous` (or null).
export function isDoubleTap(previous, tap) {
    return previous !== null && tap.time - previous.time < DOUBLE_TAP_MS &&
           spread(previous, tap) < DOUBLE_TAP_SLOP;
}

// The scroll that puts picture pixel `picture` ({x, y}) at `screen` ({x, y}, from the viewport's
// content corner) at `zoom`.
export function scrollKeeping(picture, zoom, screen) {
    return {left: picture.x * zoom - screen.x, top: picture.y * zoom - screen.y};
}

// `viewport` is the scrolling element; `view`: {zoom(), setZoom(zoom), zoomToFit(), fitted(),
// tap(clientX, clientY), moveDivider(clientX)}.
export function attachTouch(viewport, view) {
    let gesture = null;   // {kind: "tap" | "pan" | "pinch", ...}
    let lastTap = null;   // {x, y, time} of the last tap, for double taps

    // A client point as a point of the viewport's content (before scrolling).
    const local = (touch) => {
        const rect = viewport.getBoundingClientRect();
        return {x: touch.clientX - rect.left - viewport.clientLeft,
                y: touch.clientY - rect.top - viewport.clientTop};
    };
    const pictureAt = (point) => ({x: (viewport.scrollLeft + point.x) / view.zoom(),
                                   y: (viewport.scrollTop + point.y) / view.zoom()});

    function begin(event) {
        const touches = [...event.touches].map(local);
        if (touches.length >= 2) {
            const centre = centroid(touches.slice(0, 2));
            gesture = {kind: "pinch", distance: spread(touches[0], touches[1]),
                       zoom: view.zoom(), picture: pictureAt(centre)};
        } else if (touches.length === 1 && event.target.closest("#divider") !== null) {
            gesture = {kind: "divider"};
        } else if (touches.length === 1) {
            const t = event.touches[0];
            gesture = {kind: "tap", x: t.clientX, y: t.clientY, time: event.timeStamp};
        }
    }

    viewport.addEventListener("touchstart", (event) => {
        begin(event);
        if (gesture !== null && (gesture.kind === "pinch" || gesture.kind === "divider")) {
            event.preventDefault();
        }
    }, {passive: false});

    viewport.addEventListener("touchmove", (event) => {
        if (gesture === null) return;
        const touches = [...event.touches].map(local);
        if (gesture.kind === "pinch" && touches.length >= 2) {
            event.preventDefault();
            const zoom = gesture.zoom * spread(touches[0], touches[1]) / gesture.distance;
            view.setZoom(zoom);
            const to = scrollKeeping(gesture.picture, view.zoom(), centroid(touches.slice(0, 2)));
            viewport.scrollLeft = to.left;
            viewport.scrollTop = to.top;
            return;
        }
        const t = event.touches[0];
        if (gesture.kind === "divider") {
            event.preventDefault();
            view.moveDivider(t.clientX);
            return;
        }
        // One finger moved beyond a tap's wobble scrolls, the browser's.
        if (gesture.kind === "tap" && spread(gesture, {x: t.clientX, y: t.clientY}) >= TAP_SLOP) {
            gesture.kind = "scroll";
        }
    }, {passive: false});

    viewport.addEventListener("touchend", (event) => {
        if (gesture === null) return;
        if (event.touches.length > 0) {
            // A finger of several lifted: the rest do nothing until they all lift.
            gesture = {kind: "done"};
            return;
        }
        const ended = gesture;
        gesture = null;
        if (ended.kind !== "tap") return;
        const t = event.changedTouches[0];
        const tap = {x: t.clientX, y: t.clientY, time: event.timeStamp};
        if (!isTap(ended, tap)) return;
        // The tap is the page's: no mouse events are made up from it.
        event.preventDefault();
        if (isDoubleTap(lastTap, tap)) {
            lastTap = null;
            if (view.fitted()) {
                const screen = local(t);
                const picture = pictureAt(screen);
                view.setZoom(1);
                const to = scrollKeeping(picture, 1, screen);
                viewport.scrollLeft = to.left;
                viewport.scrollTop = to.top;
            } else {
                view.zoomToFit();
            }
            return;
        }
        lastTap = tap;
        view.tap(t.clientX, t.clientY);
    }, {passive: false});

    viewport.addEventListener("touchcancel", () => {
        gesture = null;
    });
}
