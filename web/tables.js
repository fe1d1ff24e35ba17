// Quantisation tables for the lab's table mode: the example tables of the JPEG standard for luma
// and chroma, scaled by a quality as libjpeg scales them, and the 8x8 grids that show and edit
// them. Entries are in row-major order by frequency: row v (vertical), column u (horizontal).

export const JPEG_LUMA = [
    16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
    14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
    18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99,
];

export const JPEG_CHROMA = [
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    ...Array(32).fill(99),
];

// libjpeg's jpeg_quality_scaling and jpeg_add_quant_table with baseline entries (1..255).
export function scaledTable(base, quality) {
    const q = Math.min(100, Math.max(1, Math.round(quality)));
    const scale = q < 50 ? Math.floor(5000 / q) : 200 - 2 * q;
    return base.map((entry) => Math.min(255, Math.max(1, Math.floor((entry * scale + 50) / 100))));
}

// An 8x8 grid of number inputs with the ids `${prefix}-0` .. `${prefix}-63`, in `container`;
// `changed` is called with the table when an entry is edited; `name` names the table's entries
// for a screen reader.
export function tableGrid(container, prefix, changed, name = prefix) {
    const grid = document.createElement("div");
    grid.className = "table-grid";
    const inputs = [];
    for (let i = 0; i < 64; ++i) {
        const input = document.createElement("input");
        input.type = "number";
        input.min = "1";
        input.max = "65535";
        input.id = `${prefix}-${i}`;
        input.title = `row ${Math.floor(i / 8)}, column ${i % 8}`;
        input.setAttribute("aria-label", `${name} table, ${input.title}`);
        input.addEventListener("input", () => {
            const value = Math.round(Number(input.value));
            if (value >= 1 && value <= 65535 && String(value) === input.value.trim()) {
                changed(inputs.map((e) => Math.round(Number(e.value))));
            }
        });
        inputs.push(input);
        grid.append(input);
    }
    container.append(grid);
    return {
        set(table, editable) {
            inputs.forEach((input, i) => {
                input.value = String(table[i]);
                input.readOnly = !editable;
            });
        },
    };
}
