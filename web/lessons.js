// Short guided lessons for a class: each sets the lab's state through a link's fragment (as a
// worksheet or a QR code would), asks the learner to predict a figure before the lab shows it, then
// shows the exact figure on the picture open, the bundled one or the learner's own. A summary of
// the predictions and the figures prints on one page.

// Each lesson: its name, what to look at, the fragment that sets it up (without a picture it
// stays on the picture open), the question, and the figure that answers it (a name of the page's
// figures: bytes, bits_per_pixel, psnr_rgb, psnr_y, ssim_y, clipped).
export const LESSONS = [
    {id: "blocks", title: "Blocks as the step rises",
     text: "Each 8 × 8 block is transformed, its coefficients divided by the step and truncated " +
           "toward zero. At step 64 most of them vanish and the blocks show.",
     fragment: "step=64&channels=yrb&view=quantised",
     question: "How many bytes does the KVRN file take at step 64?", figure: "bytes"},
    {id: "channels", title: "What Y carries, and what Cr and Cb carry",
     text: "Y is brightness, Cr and Cb colour. Quantise the colour eight times harder than the " +
           "brightness: the eye hardly sees it, and the file shrinks.",
     fragment: "scales=8,64,64&channels=yrb&view=quantised",
     question: "What is the PSNR over R, G and B with Y at 8 and Cr, Cb at 64 (in dB)?",
     figure: "psnr_rgb"},
    {id: "ringing", title: "Ringing at edges, in the error view",
     text: "Sharp edges need high frequencies; when the step removes them the edge rings. The " +
           "error view shows where the file differs from the picture.",
     fragment: "picture=test-chart.png&step=32&channels=yrb&view=error",
     question: "At step 32, what is the chart's PSNR over R, G and B (in dB)?", figure: "psnr_rgb"},
    {id: "basis", title: "One block's basis patterns",
     text: "Every block is a weighted sum of 64 patterns. Inspect this block of the zone plate: " +
           "the patterns the step removed are marked.",
     fragment: "picture=test-chart.png&step=16&channels=yrb&view=quantised&block=20,30",
     question: "At step 16, how many bits per pixel does the chart's file take?",
     figure: "bits_per_pixel"},
    {id: "clipping", title: "Clipping at small steps",
     text: "A KVRN file stores each AC coefficient in one byte, -127 to 126. At step 1 the " +
           "chart's sharp edges give larger ones, which are clipped: step 1 can look worse than " +
           "step 2.",
     fragment: "picture=test-chart.png&step=1&channels=yrb&view=error",
     question: "How many coefficients are clipped at step 1?", figure: "clipped"},
    {id: "floor", title: "The floor",
     text: "Every block costs at least 3 bytes (its DC and an end-of-block byte), 9 bytes for " +
           "the three blocks of 64 pixels: 1.125 bits per pixel, however large the step.",
     fragment: "step=255&channels=yrb&view=quantised",
     question: "How many bits per pixel at step 255?", figure: "bits_per_pixel"},
    {id: "tables", title: "JPEG's tables",
     text: "JPEG divides each frequency by its own entry of a table, larger for the fine " +
           "detail the eye misses. Here KVRN's block coding counts the bytes.",
     fragment: "table=jpeg:75&channels=yrb&view=quantised",
     question: "With JPEG's tables at quality 75, how many bytes?", figure: "bytes"},
];

// `lab`: {follow(fragment) (sets the state as a link does), figure(name) (the page's figure now,
// or null while it is being counted), settled() (a promise, resolved when the figures of the state
// set are in)}.
export function createLessons(lab) {
    const list = document.getElementById("lesson-list");
    const summary = document.getElementById("lesson-summary");
    const answers = new Map();  // lesson id -> {prediction, figure}

    function writeSummary() {
        summary.replaceChildren(...LESSONS.filter((l) => answers.has(l.id)).map((l) => {
            const {prediction, figure} = answers.get(l.id);
            const row = document.createElement("tr");
            for (const text of [l.title, l.question, prediction, figure ?? ""]) {
                row.append(Object.assign(document.createElement("td"), {textContent: text}));
            }
            return row;
        }));
    }

    for (const lesson of LESSONS) {
        const item = document.createElement("li");
        item.dataset.lesson = lesson.id;
        item.innerHTML = `<h3></h3><p class="lesson-text"></p>
            <button type="button" class="lesson-start">Set it up</button>
            <label class="lesson-question"><span></span>
              <input type="text" inputmode="decimal" class="lesson-prediction"></label>
            <button type="button" class="lesson-show">Show the figure</button>
            <p class="lesson-answer" aria-live="polite"></p>`;
        item.querySelector("h3").textContent = lesson.title;
        item.querySelector(".lesson-text").textContent = lesson.text;
        item.querySelector(".lesson-question span").textContent = `Predict first: ${lesson.question} `;
        const answer = item.querySelector(".lesson-answer");
        item.querySelector(".lesson-start").addEventListener("click", () => {
            lab.follow(lesson.fragment);
            answer.textContent = "";
            item.querySelector(".lesson-prediction").focus();
        });
        item.querySelector(".lesson-show").addEventListener("click", async () => {
            const prediction = item.querySelector(".lesson-prediction").value.trim();
            if (prediction === "") {
                answer.textContent = "Write your prediction first.";
                return;
            }
            // The lesson's state, if the learner has not set it up, then its figures once counted.
            if (!item.dataset.started) lab.follow(lesson.fragment);
            await lab.settled();
            const figure = lab.figure(lesson.figure);
            answer.dataset.figure = figure ?? "";
            answer.textContent = `You predicted ${prediction}; the lab measures ${figure}.`;
            answers.set(lesson.id, {prediction, figure});
            writeSummary();
        });
        item.querySelector(".lesson-start").addEventListener("click", () => {
            item.dataset.started = "true";
        });
        list.append(item);
    }
    document.getElementById("lesson-print").addEventListener("click", () => window.print());
}
