// A count with its noun in the number the count takes: "1 stored value", "2 stored values".
// `plural` for nouns that do not just add an s.
export function countOf(count, noun, plural = `${noun}s`) {
    return `${count} ${count === 1 ? noun : plural}`;
}
