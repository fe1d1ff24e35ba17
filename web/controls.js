// The lab's controls: the step and the scales, the channels, the view, the quantiser and its
// tables, and the viewer's keys. They change the state (state.js) and call `changed()` when a
// new render is wanted.
import {clampScale, stepAfterWheel} from "./state.js";
import {tableGrid} from "./tables.js";

const $ = (selector) => document.querySelector(selector);

// The channel boxes by the viewer's keys: y, r and b switch the channels.
const CHANNEL_BOXES = {y: "#channel-y", r: "#channel-cr", b: "#channel-cb"};

// The inputs of the step and the scales, which table mode leaves unused.
const SCALE_INPUTS = ["#step-slider", "#step-down", "#step-up", "#step", "#link-scales",
                      "#scale-y", "#scale-cr", "#scale-cb"];

// `actions`: changed() when the settings changed, zoomBy(factor) for the keys + and -.
export function createControls(state, actions) {
    const {changed} = actions;

    const lumaGrid = tableGrid($("#table-luma"), "table-luma", (table) => {
        state.custom.luma = table;
        changed();
    }, "Y");
    const chromaGrid = tableGrid($("#table-chroma"), "table-chroma", (table) => {
        state.custom.chroma = table;
        changed();
    }, "Cr and Cb");

    function sync() {
        $("#step").value = state.step;
        $("#step-slider").value = Math.min(255, state.step);
        $("#scale-y").value = state.scales[0];
        $("#scale-cr").value = state.scales[1];
        $("#scale-cb").value = state.scales[2];
        $("#link-scales").checked = state.linked;
        for (const [letter, id] of Object.entries(CHANNEL_BOXES)) {
            $(id).checked = state.channels[letter];
        }
        $("#view").value = state.view;
        $("#gain").value = state.gain;
        $("#gain-label").hidden = state.view !== "error";
        $("#bytes-scale").value = state.bytesScale;
        $("#bytes-scale-label").hidden = state.view !== "bytes";
        $("#quantiser").value = state.quantiser;
        $("#quality").value = state.quality;
        $("#quality-label").hidden = state.quantiser !== "jpeg";
        $("#tables").hidden = state.quantiser === "scales";
        // The tables set every coefficient's divisor: the step and the scales wait, values kept,
        // with the reason beside them.
        const byTables = state.quantiser !== "scales";
        for (const id of SCALE_INPUTS) $(id).disabled = byTables;
        $("#scales-unused").hidden = !byTables;
        // No KVRN file holds a table: what is shown and counted is the block coding of the values
        // the tables leave.
        $("#view-quantised").textContent = byTables ? "quantised (by these tables)"
                                                    : "quantised (the KVRN file of these scales)";
        $("#bytes-label").textContent = byTables ? "block coding" : "KVRN file";
        const t = state.tables();
        if (t !== null) {
            lumaGrid.set(t.luma, state.quantiser === "custom");
            chromaGrid.set(t.chroma, state.quantiser === "custom");
        }
    }

    // The state changed by `change`, then the controls shown as it is and a render asked for.
    const apply = (change) => {
        change();
        sync();
        changed();
    };

    $("#quantiser").addEventListener("input", () => {
        apply(() => state.setQuantiser($("#quantiser").value));
    });

    $("#quality").addEventListener("input", () => {
        const quality = Math.round(Number($("#quality").value));
        if (quality >= 1 && quality <= 100 && String(quality) === $("#quality").value.trim()) {
            apply(() => {
                state.quality = quality;
            });
        }
    });

    const setStep = (step) => apply(() => state.setStep(step));

    $("#step").addEventListener("input", () => {
        const step = clampScale($("#step").value);
        if (step !== null && String(step) === $("#step").value.trim()) setStep(step);
    });
    $("#step").addEventListener("change", () => {
        setStep(clampScale($("#step").value) ?? state.step);
    });
    $("#step-slider").addEventListener("input", () => setStep(Number($("#step-slider").value)));
    // The stepper: a press is a notch of the wheel (down is a notch towards the user).
    $("#step-down").addEventListener("click", () => setStep(stepAfterWheel(state.step, 1)));
    $("#step-up").addEventListener("click", () => setStep(stepAfterWheel(state.step, -1)));

    ["#scale-y", "#scale-cr", "#scale-cb"].forEach((id, c) => {
        const input = $(id);
        const typed = (final) => {
            const value = clampScale(input.value);
            if (value === null || (!final && String(value) !== input.value.trim())) return;
            apply(() => state.setScale(c, value));
        };
        input.addEventListener("input", () => typed(false));
        input.addEventListener("change", () => typed(true));
    });

    $("#link-scales").addEventListener("input", () => {
        const linked = $("#link-scales").checked;
        if (linked) {
            apply(() => state.setLinked(true));
        } else {
            state.setLinked(false);
        }
    });

    for (const [letter, id] of Object.entries(CHANNEL_BOXES)) {
        $(id).addEventListener("input", () => {
            state.channels[letter] = $(id).checked;
            changed();
        });
    }

    $("#view").addEventListener("input", () => {
        apply(() => {
            state.view = $("#view").value;
        });
    });

    $("#gain").addEventListener("input", () => {
        const gain = Math.round(Number($("#gain").value));
        if (gain >= 1 && gain <= 255) {
            state.gain = gain;
            changed();
        }
    });

    $("#bytes-scale").addEventListener("input", () => {
        state.bytesScale = $("#bytes-scale").value;
        changed();
    });

    // The viewer's keys: y, r and b switch the channels, + and - zoom.
    document.addEventListener("keydown", (event) => {
        if (event.ctrlKey || event.altKey || event.metaKey) return;
        const target = event.target;
        // Letters typed into a number or chosen in a list by their first letter are theirs.
        if ((target instanceof HTMLInputElement &&
             (target.type === "number" || target.type === "text")) ||
            target instanceof HTMLSelectElement) {
            return;
        }
        if (event.key in CHANNEL_BOXES) {
            apply(() => state.toggleChannel(event.key));
        } else if (event.key === "+" || event.key === "=") {
            actions.zoomBy(2);
        } else if (event.key === "-") {
            actions.zoomBy(1 / 2);
        }
    });

    return {sync, setStep};
}
