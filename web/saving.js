// Saving: the KVRN file of the render shown, and the PNG of the picture shown, made only when it
// is asked for.

// `kvrnLink` and `pngLink` are the two download links; `rendered()` names the render the canvas
// shows (its data-rendered attribute).
export function createSaving(kvrnLink, pngLink, canvas, rendered) {
    let pngFor = "";  // the render the PNG link holds
    let file = null;  // the KVRN file of the render shown, in parts (Uint8Arrays) to join
    let kvrnFor = null;  // the file the KVRN link holds

    const revoke = (link) => {
        if (link.href.startsWith("blob:")) URL.revokeObjectURL(link.href);
    };

    // The link is made when it is followed: a blob of a large picture's file costs tens of
    // milliseconds, which every step change would pay.
    kvrnLink.addEventListener("click", () => {
        if (file === null || kvrnFor === file) return;
        revoke(kvrnLink);
        kvrnLink.href = URL.createObjectURL(new Blob(file, {type: "application/octet-stream"}));
        kvrnFor = file;
    });

    pngLink.addEventListener("click", (event) => {
        const key = rendered();
        if (pngFor === key && pngLink.href.startsWith("blob:")) return;
        event.preventDefault();
        canvas.toBlob((blob) => {
            revoke(pngLink);
            pngLink.href = URL.createObjectURL(blob);
            pngFor = key;
            pngLink.click();
        }, "image/png");
    });

    return {
        // The files take the picture's name.
        named(name) {
            const base = name.replace(/\.[^.]*$/, "") || "picture";
            kvrnLink.download = `${base}.kvrn`;
            pngLink.download = `${base}-lab.png`;
        },

        // A new render is shown: its KVRN file as parts to join (null when a table quantised it,
        // which a KVRN file cannot carry), and a PNG to be made again.
        shown(next) {
            file = next;
            if (file !== null) {
                // A link to follow; the blob is made on the click.
                if (!kvrnLink.href.startsWith("blob:")) kvrnLink.href = "#";
                kvrnLink.removeAttribute("aria-disabled");
            } else {
                revoke(kvrnLink);
                kvrnFor = null;
                kvrnLink.removeAttribute("href");
                kvrnLink.setAttribute("aria-disabled", "true");
            }
            revoke(pngLink);
            pngLink.href = "#";
            pngFor = "";
        },
    };
}
