#!/usr/bin/env python3
"""No text of the project says that quantisation rounds.

The codec divides each coefficient by its scale and truncates the quotient toward zero: at scale
8 the coefficients 7, -7 and 6 all become 0, and a DC of 388 at scale 60 becomes 6, not 6.47
rounded to 6 nor 7. A reader who is told "rounded" predicts the wrong stored values and the wrong
levels, so every text that explains quantisation to a reader is scanned here: the READMEs, the
documents and the manual pages' sources, every help text of the tool (as `kvrn --help` and
`kvrn COMMAND --help` print them), the page's HTML and scripts, and the Python package's
docstrings and stubs.

A sentence is flagged when it has a word of rounding ("round", "rounds", "rounded", "rounding",
"to nearest"; not "rounded toward zero", which is truncation) and it or the sentence before has a word of quantisation ("quantis...",
"coefficient", "frequenc...", "scale", "step", "divid...", "quotient"). Rounding that is true stays allowed by the phrases of ALLOWED:
the integer transforms' and colour conversions' own rounding, figures rounded for print, samples
scaled to 8 bits. Calls of round() in code are not words.

Usage: quantisation_words.py SOURCE_DIR KVRN
"""

import glob
import os
import re
import subprocess
import sys

# The files a reader reads about quantisation, as globs under the source tree.
FILES = [
    "README.md",
    "docs/*.md",
    "docs/man/kvrn-concepts.h2m",
    "docs/man/kvrn-view.1.scd",
    "samples/README.md",
    "web/README.md",
    "web/index.html",
    "web/*.js",
    "python/README.md",
    "python/kvrn/*.py",
    "python/kvrn/*.pyi",
]

# "Rounded toward zero" is truncation, and true.
ROUNDING = re.compile(r"\bround(?:s|ed|ing)?\b(?!\s+towards?\s+zero)|\bto (?:the )?nearest\b",
                      re.IGNORECASE)
QUANTISATION = re.compile(r"quanti[sz]|coefficient|frequenc|\bscales?\b|\bsteps?\b|\bdivid|"
                          r"quotient", re.IGNORECASE)
# Rounding in code, not in words: Math.round, Python's round().
CODE = re.compile(r"\bMath\.round\b|(?<![\w.])round\(")
# A sentence ends at a full stop, semicolon, question or exclamation mark before a space, at a
# blank line or at a table's column bar.
SENTENCE_END = re.compile(r"(?<=[.;!?])\s+|\n\s*\n|\|")

# Sentences that name rounding truly, each by a phrase of its own and the texts it stands in; a
# phrase must match a flagged sentence in each of them, so that one left behind by an edit is
# noticed.
ALLOWED = {
    # The integer inverse DCT and colour conversions round, so that step 1 changes pixels.
    "the integer transforms round": ("README.md",),
    # libjpeg's quantisation, which the tables of the lab divide as but do not round as.
    "JPEG rounds": ("kvrn preview --help", "kvrn sweep --help"),
    # A scale typed into the page is made a whole number.
    "A scale typed in, rounded": ("web/state.js",),
    # The CSV's figures printed to a few decimals.
    "the CSV rounds bits_per_pixel to 4 decimals": ("python/kvrn/__init__.py",),
}


def sentences(text):
    """The sentences of `text` that name rounding with quantisation in them or in the one before
    ("... divided by a number and truncated. The rounding is where ..." is as wrong)."""
    before = ""
    for sentence in SENTENCE_END.split(CODE.sub(" ", text)):
        if ROUNDING.search(sentence) and QUANTISATION.search(before + " " + sentence):
            yield " ".join(sentence.split())
        before = sentence


def texts(source, kvrn):
    """(name, text) of every file of FILES and of every help the tool prints."""
    for pattern in FILES:
        paths = sorted(glob.glob(os.path.join(source, pattern)))
        if not paths:
            raise SystemExit(f"no file {pattern} under {source}: the list is out of date")
        for path in paths:
            with open(path, encoding="utf-8") as f:
                yield os.path.relpath(path, source), f.read()
    top = subprocess.run([kvrn, "--help"], capture_output=True, text=True, check=True).stdout
    yield "kvrn --help", top
    commands = re.findall(r"^  ([a-z][a-z-]*) ", top.split("Commands:", 1)[1].split("\n\n")[0],
                          re.MULTILINE)
    if not commands:
        raise SystemExit("no commands in kvrn --help")
    for command in commands:
        run = subprocess.run([kvrn, command, "--help"], capture_output=True, text=True, check=True)
        yield f"kvrn {command} --help", run.stdout


def allowed(sentence, name):
    for phrase, names in ALLOWED.items():
        if phrase in sentence and name in names:
            return phrase, name
    return None


def main():
    source, kvrn = sys.argv[1], sys.argv[2]
    faults = 0
    used = set()
    read = set()
    for name, text in texts(source, kvrn):
        read.add(name)
        for sentence in sentences(text):
            allowance = allowed(sentence, name)
            if allowance is not None:
                used.add(allowance)
                continue
            print(f"{name}: says that quantisation rounds (it truncates toward zero): "
                  f"{sentence}")
            faults += 1
    for phrase, names in ALLOWED.items():
        # A build without the lab has no sweep to ask for its help.
        for name in names:
            if name in read and (phrase, name) not in used:
                print(f"{name}: the allowed phrase {phrase!r} is no longer there: drop it")
                faults += 1
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
