// The target size: the first of an ordered list of settings whose file keeps within a limit, by
// bisection. Steps are tried from 1 up (a larger step never makes a file larger), qualities from
// 100 down (a lower quality never makes one larger), so either is the first setting that fits
// along a list on which fitting, once true, stays true.

// KVRN's floor: every 8x8 block position costs at least 9 bytes (a DC of two bytes and an end of
// block, in each of three channels): 72 bits over 64 pixels.
export const FLOOR_BITS_PER_PIXEL = 1.125;

// The bytes a limit allows: `amount` bytes, or `amount` bits per pixel of a `pixels` picture
// (floor(B * pixels / 8), as kvrn encode --max-bpp counts).
export function limitBytes(amount, unit, pixels) {
    return unit === "bytes" ? Math.floor(amount) : Math.floor((amount * pixels) / 8);
}

// The first index of 0..count-1 whose `size(index)` is at most `limit`, asking for as few sizes
// as bisection needs, or null when not even the last fits. `size` may be asked for an index
// once at most; the sizes it gave are returned too, for the message.
export function firstFitting(count, size, limit) {
    const sizes = new Map();
    const at = (i) => {
        if (!sizes.has(i)) sizes.set(i, size(i));
        return sizes.get(i);
    };
    if (at(count - 1) > limit) return {index: null, sizes};
    if (at(0) <= limit) return {index: 0, sizes};
    // The invariant: low does not fit, high does.
    let low = 0;
    let high = count - 1;
    while (high - low > 1) {
        const middle = low + Math.floor((high - low) / 2);
        if (at(middle) <= limit) high = middle;
        else low = middle;
    }
    return {index: high, sizes};
}

// The settings the target size searches: steps 1..65535, or qualities 100..1.
export const SEARCHES = {
    step: {count: 65535, setting: (i) => i + 1},
    quality: {count: 100, setting: (i) => 100 - i},
};
