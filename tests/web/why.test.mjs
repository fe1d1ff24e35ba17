// The "why" texts' live figures, under Node's test runner.
import assert from "node:assert/strict";
import {test} from "node:test";

import {floorBytes, whyTexts} from "../../web/why.js";

// The figures as the page shows them: {name: {text}}.
const shown = (texts) =>
    Object.fromEntries(Object.entries(texts).map(([name, text]) => [name, {text}]));
const scales = (y, cr = y, cb = y) => ({y, cr, cb, tables: null});

test("the floor is the size kvrn encode --step 65535 gives, edge blocks whole", () => {
    // width, height, the file's bytes at step 65535 as the tool writes them.
    const cases = [[1, 1, 23], [8, 8, 23], [9, 9, 50], [17, 3, 41], [403, 251, 14702],
                   [640, 480, 43214], [1024, 768, 110606]];
    for (const [width, height, bytes] of cases) {
        assert.equal(floorBytes(width, height), bytes, `${width} x ${height}`);
    }
});

test("the floor text gives the picture's floor and the file's distance above it", () => {
    const cases = [
        // picture, bytes now, what the text must say, what it must not
        [{width: 1024, height: 768}, "110724",
         ["128 × 96", "= 110606 bytes", "(1.1251 bits per pixel", "110724 bytes, is 118 bytes " +
          "above it (0.1 %)"], ["only in part"]],
        [{width: 403, height: 251}, "14702",
         ["51 × 32", "only in part", "= 14702 bytes", "(1.1628 bits per pixel", "is at that floor"],
         ["above it"]],
        [{width: 17, height: 3}, "41", ["3 × 1", "14 + 9 × 3 = 41 bytes", "at that floor"], []],
        [{width: 640, height: 480}, null, ["= 43214 bytes"], ["The file now"]],
    ];
    for (const [picture, bytes, says, never] of cases) {
        const figures = bytes === null ? {} : shown({bytes});
        const {floor} = whyTexts({picture, settings: scales(255), figures});
        for (const part of says) assert.ok(floor.includes(part), `${part} not in: ${floor}`);
        for (const part of never) assert.ok(!floor.includes(part), `${part} in: ${floor}`);
    }
});

test("the clipping text counts what the scales clip, and says when the file cannot tell", () => {
    const picture = {width: 640, height: 480};
    const cases = [
        // settings, clipped, the scales of a KVRN file open, what the text must say
        [scales(1), "11966", null, ["clip 11966 AC coefficients", "127 or more, or −128 or less"]],
        [scales(3, 2, 6), "1", null, ["clip 1 AC coefficient (", "of 254 or more, or −256"]],
        [scales(16), "0", null, ["clip no coefficient"]],
        [{...scales(8), tables: [1]}, "40", null, ["These tables clip 40 AC coefficients."]],
        [scales(8), "0", [8, 8, 8], ["the file does not say"]],
        [scales(9), "0", [8, 8, 8], ["clip no coefficient"]],
    ];
    for (const [settings, clipped, fileScales, says] of cases) {
        const {clipping} = whyTexts({picture, settings, figures: shown({clipped}), fileScales});
        for (const part of says) assert.ok(clipping.includes(part), `${part} not in: ${clipping}`);
    }
});

test("the metrics, chroma and truncation texts follow the figures and scales", () => {
    const picture = {width: 1024, height: 768};
    const cases = [
        // settings, figures, the texts' names and what each must say
        [scales(8), {psnr_rgb: "40.000", ssim_y: "0.98000"},
         {metrics: ["PSNR RGB is 40.000 dB", "error of 2.55 levels", "SSIM Y 0.98000"],
          chroma: ["all three are at 8"], truncation: ["from −7 to 7", "stored as 48",
                                                       "comes back at 176."]}],
        [scales(60, 240, 480), {psnr_rgb: "inf", ssim_y: "1.00000"},
         {metrics: ["no error"], chroma: ["Cr at 240 (4 times Y's) and Cb at 480 (8 times"],
          truncation: ["stored as 6", "comes back at 173."]}],
        [scales(1), {psnr_rgb: "30.000", ssim_y: "nan"},
         {metrics: ["error of 8.06 levels", "is not defined"],
          truncation: ["nothing is truncated"]}],
        [scales(500), {}, {truncation: ["stored as 0", "comes back at 128."]}],
        [scales(7), {}, {truncation: ["stored as 54", "comes back at about 175."]}],
    ];
    for (const [settings, figures, expected] of cases) {
        const texts = whyTexts({picture, settings, figures: shown(figures)});
        for (const [name, says] of Object.entries(expected)) {
            for (const part of says) {
                assert.ok(texts[name].includes(part), `${part} not in: ${texts[name]}`);
            }
        }
    }
});
