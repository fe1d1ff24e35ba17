// Links that restore what is on screen: the address's fragment (fragment.js) follows the state as
// it changes, and a fragment opened, or changed in the address bar, sets the state: the bundled
// picture it names opened first, then the zoom, the centre and the inspected block put back once
// that picture is open. `#copy-link` copies the address.
import {fragmentOf, parseFragment} from "./fragment.js";
import {bundled} from "./pictures.js";

// `lab`: {state, controls, viewport, picture() (the picture open: {name, width, height} or null),
// selected() (the block inspected or null), open(name) (a bundled picture), inspect(column, row),
// render(), say(text, kind), presentation (present.js: on() and set(presenting))}.
export function createLinks(lab) {
    const {state, controls, viewport} = lab;
    let pending = null;  // the zoom, centre and block of a link, until its picture is open
    let writing = 0;

    // The fragment of the state as it is, in place of the address's, without a new history entry.
    function write() {
        const open = lab.picture();
        if (open === null || pending !== null) return;
        const centre = viewport.centrePixel();
        const fragment = fragmentOf({
            picture: bundled(open.name) ? open.name : null, step: state.step,
            scales: state.scales, linked: state.linked, quantiser: state.quantiser,
            quality: state.quality, letters: state.letters(), view: state.view,
            bytesScale: state.bytesScale, zoom: state.zoom,
            x: centre.x, y: centre.y, block: lab.selected(), present: lab.presentation.on()});
        if (location.hash !== `#${fragment}`) history.replaceState(null, "", `#${fragment}`);
    }

    // Once a frame at most, as the viewport scrolls.
    function soon() {
        if (writing) return;
        writing = requestAnimationFrame(() => {
            writing = 0;
            write();
        });
    }

    // The settings a link asks for, into the state and the controls.
    function settle(asked) {
        if (asked.quality !== undefined) {
            state.setQuantiser("jpeg");
            state.quality = asked.quality;
        } else if (asked.step !== undefined || asked.scales !== undefined) {
            state.setQuantiser("scales");
            if (asked.step !== undefined) {
                state.setLinked(true);
                state.setStep(asked.step);
            } else {
                state.linked = false;
                state.scales = [...asked.scales];
            }
        }
        if (asked.letters !== undefined) {
            for (const letter of "yrb") state.channels[letter] = asked.letters.includes(letter);
        }
        if (asked.view !== undefined) state.view = asked.view;
        if (asked.bytesScale !== undefined) state.bytesScale = asked.bytesScale;
        lab.presentation.set(asked.present === true);
        controls.sync();
    }

    // The view a link asks for, on the picture open.
    function place(asked) {
        if (asked.zoom !== undefined) viewport.setZoom(asked.zoom);
        else viewport.zoomToFit();
        if (asked.x !== undefined) viewport.centreOn(asked.x, asked.y);
        if (asked.block !== undefined) lab.inspect(asked.block.column, asked.block.row);
    }

    // Follows the link of `hash`; `fallback` is the picture to open when it names none (the
    // start), or null to keep the picture open.
    function follow(hash, fallback) {
        const asked = parseFragment(hash);
        settle(asked);
        const open = lab.picture();
        const name = asked.picture !== undefined && bundled(asked.picture) ? asked.picture
                                                                           : fallback;
        if (name !== null && (open === null || open.name !== name)) {
            pending = asked;
            lab.open(name);
        } else {
            place(asked);
            lab.render();
        }
    }

    // A picture has opened: the view of a link waiting for it, or the fitted picture. True when a
    // link placed it.
    function opened() {
        if (pending === null) return false;
        const asked = pending;
        pending = null;
        // A KVRN file brings its own scales: the link's settings come after them.
        settle(asked);
        place(asked);
        return true;
    }

    // The picture a link named could not be opened: the state is written again as it is.
    function cancel() {
        pending = null;
    }

    window.addEventListener("hashchange", () => follow(location.hash, null));
    // Zooming resizes the canvas; panning scrolls the viewport.
    new ResizeObserver(soon).observe(document.getElementById("picture"));
    document.getElementById("viewport").addEventListener("scroll", soon);
    document.getElementById("copy-link").addEventListener("click", () => {
        write();
        navigator.clipboard.writeText(location.href).then(
            () => lab.say("The link to what is on screen is copied."),
            () => lab.say(`Copy this link: ${location.href}`));
    });

    return {write, soon, follow, opened, cancel};
}
