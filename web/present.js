// Presentation mode, for a projector in a classroom: the picture fills the window, the step (or
// scales, or table) and the main figures are drawn large over it, the inspector opens beside it
// at three times its size with the removed coefficients marked boldly (present.css), and a
// presenter's clicker (Page Up and Page Down) moves the step as a wheel notch does. `p` switches
// it on and off, as does `present` in a link's fragment.
import {stepAfterWheel} from "./state.js";

// `lab`: {state, setStep(step), fit() (the picture fitted to its frame), changed() (the mode
// switched: the address follows)}.
export function createPresentation(lab) {
    const body = document.body;
    const readout = document.getElementById("readout");

    function on() {
        return body.classList.contains("presenting");
    }

    function set(presenting) {
        if (presenting === on()) return;
        body.classList.toggle("presenting", presenting);
        readout.hidden = !presenting;
        // The frame changed size: the picture fills it again.
        requestAnimationFrame(lab.fit);
        lab.changed();
    }

    // The large readouts: the settings and the figures as the page shows them.
    function show(settings, figures) {
        const setting = readout.querySelector('[data-readout="step"]');
        if (settings !== null) {
            const {y, cr, cb, quantiser} = settings;
            setting.textContent = quantiser.startsWith("jpeg:") ? `JPEG quality ${quantiser.slice(5)}`
                : quantiser !== "scales" ? "tables of my own"
                : y === cr && cr === cb ? `step ${y}` : `scales ${y}, ${cr}, ${cb}`;
        }
        if (figures !== null) {
            readout.querySelector('[data-readout="bytes"]').textContent =
                `${figures.bytes.text} bytes`;
            readout.querySelector('[data-readout="psnr_rgb"]').textContent =
                `PSNR ${figures.psnr_rgb.text} dB`;
        }
    }

    document.addEventListener("keydown", (event) => {
        if (event.ctrlKey || event.altKey || event.metaKey) return;
        const target = event.target;
        if ((target instanceof HTMLInputElement && target.type !== "checkbox" &&
             target.type !== "range") ||
            target instanceof HTMLSelectElement || target instanceof HTMLTextAreaElement) {
            return;
        }
        if (event.key === "p") {
            set(!on());
        } else if (event.key === "Escape" && on()) {
            set(false);
        } else if (on() && (event.key === "PageUp" || event.key === "PageDown") &&
                   target.id !== "viewport" && target.id !== "divider") {
            // The picture's own keys do the same; elsewhere a clicker's keys reach here.
            lab.setStep(stepAfterWheel(lab.state.step, event.key === "PageUp" ? -1 : 1));
        } else {
            return;
        }
        event.preventDefault();
    });

    return {on, set, show};
}
