// The pictures bundled with the page (scripts/web copies them from samples/), for the picture menu
// and for links that name one. The first is the one the page opens with: the ladybird photograph
// unquantised, whose figures at step 8 are the README's.
export const PICTURES = [
    {name: "ladybird-1024x768.jpg", label: "Ladybird, a photograph (1024 × 768)"},
    {name: "test-chart.png", label: "Test chart: edges, ramps, zone plate, text (640 × 480)"},
    {name: "storm-640x400.jpg", label: "Storm: sky and smooth gradients (640 × 400)"},
    {name: "meadow-640x400.jpg", label: "Meadow: fine texture (640 × 400)"},
    {name: "garden-640x400.jpg", label: "Garden: strong colour edges (640 × 400)"},
    {name: "default.kvrn", label: "The ladybird as a KVRN file, quantised at step 8"},
];

export const START = PICTURES[0].name;

export function bundled(name) {
    return PICTURES.some((picture) => picture.name === name);
}
