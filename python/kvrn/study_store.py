"""A study's SQLite database: its settings, its pictures, their rows and the pictures that failed.

Only the client of a study writes here (a task returns rows, never writes), one transaction per
picture, so that a study stopped anyhow (Ctrl-C, a killed process, a machine gone) leaves every
picture either whole or absent, and the next run computes only the absent ones.
"""

from __future__ import annotations

import json
import os
import sqlite3
from typing import Any, Dict, List, Optional, Tuple

from . import METRICS

# What the study table's "kind" says: a database without it is not a study's and is not touched.
KIND = "kvrn-study 1"

_PICTURES = """CREATE TABLE pictures (
    sha256 TEXT PRIMARY KEY, path TEXT NOT NULL, width INTEGER NOT NULL, height INTEGER NOT NULL,
    seconds REAL NOT NULL)"""
_ROWS = (
    "CREATE TABLE rows (sha256 TEXT NOT NULL REFERENCES pictures(sha256), codec TEXT NOT NULL, "
    "setting NUMERIC NOT NULL, codec_version TEXT NOT NULL, bytes INTEGER, bits_per_pixel REAL, "
    + "".join(f"{metric} REAL, " for metric in METRICS)
    + "max_error INTEGER, clipped INTEGER, PRIMARY KEY (sha256, codec, setting))"
)
_FAILURES = """CREATE TABLE failures (
    path TEXT PRIMARY KEY, sha256 TEXT, reason TEXT NOT NULL, kind TEXT NOT NULL)"""


class StudyError(Exception):
    """A database that cannot serve this study: its words say why."""


class Store:
    """The database of one study, opened for the settings given."""

    def __init__(self, path: str, settings: Dict[str, Any], add: bool) -> None:
        existed = os.path.exists(path)
        if existed:
            self._check_is_study(path)
        self.connection = sqlite3.connect(path, isolation_level=None)
        self.connection.execute("PRAGMA journal_mode=WAL")
        self.connection.execute("PRAGMA synchronous=NORMAL")
        if not existed:
            self._create(settings)
            self.settings = settings
            self.added: Optional[Dict[str, Any]] = None
        else:
            self.settings, self.added = self._reconcile(settings, add)

    @staticmethod
    def _check_is_study(path: str) -> None:
        """Reads without writing: a file that is not a study's is refused untouched."""
        try:
            probe = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
            try:
                found = probe.execute("SELECT value FROM study WHERE key = 'kind'").fetchone()
            finally:
                probe.close()
        except sqlite3.DatabaseError:
            found = None
        if found is None or found[0] != KIND:
            raise StudyError(f"{path} is not a kvrn-study database: it is left as it is")

    def _create(self, settings: Dict[str, Any]) -> None:
        with self.connection:
            self.connection.execute("BEGIN")
            self.connection.execute("CREATE TABLE study (key TEXT PRIMARY KEY, value TEXT)")
            for statement in (_PICTURES, _ROWS, _FAILURES):
                self.connection.execute(statement)
            self.connection.execute("INSERT INTO study VALUES ('kind', ?)", (KIND,))
            self.connection.execute(
                "INSERT INTO study VALUES ('settings', ?)", (json.dumps(settings),))

    def _reconcile(
        self, settings: Dict[str, Any], add: bool
    ) -> Tuple[Dict[str, Any], Optional[Dict[str, Any]]]:
        """The study's settings once these are taken in, and what --add brings that is new."""
        (text,) = self.connection.execute(
            "SELECT value FROM study WHERE key = 'settings'").fetchone()
        stored = json.loads(text)
        differing = [key for key in settings if settings[key] != stored.get(key)]
        if not differing:
            return stored, None
        if not add:
            raise StudyError(
                "the database was made with other settings (" + ", ".join(
                    f"{key}: {_shown(stored.get(key))} there, {_shown(settings[key])} asked"
                    for key in differing)
                + "): give --add to add the new ones, or another --db")
        if settings["metrics"] != stored["metrics"] or settings["tables"] != stored["tables"]:
            raise StudyError(
                "--add adds codecs and settings; other metrics or --tables need another --db")
        merged = dict(stored)
        new = {key: [] for key in settings if isinstance(settings[key], list)}
        for key, values in settings.items():
            if key in ("metrics", "tables"):
                continue
            fresh = [value for value in values if value not in stored[key]]
            merged[key] = stored[key] + fresh
            new[key] = fresh
        new["metrics"], new["tables"] = stored["metrics"], stored["tables"]
        with self.connection:
            self.connection.execute("BEGIN")
            self.connection.execute(
                "UPDATE study SET value = ? WHERE key = 'settings'", (json.dumps(merged),))
        return merged, new

    def done(self) -> Dict[str, str]:
        """The pictures measured: their content hash and path."""
        return dict(self.connection.execute("SELECT sha256, path FROM pictures"))

    def record(self, path: str, sha256: str, outcome: Dict[str, Any],
               versions: Dict[str, str]) -> None:
        """A picture's rows, or its failure, in one transaction."""
        metrics = self.settings["metrics"]
        with self.connection:
            self.connection.execute("BEGIN")
            self.connection.execute("DELETE FROM failures WHERE path = ?", (path,))
            if outcome["failed"]:
                self.connection.execute(
                    "INSERT INTO failures VALUES (?, ?, ?, ?)",
                    (path, sha256, outcome["reason"], outcome["kind"]))
                return
            self.connection.execute(
                "INSERT OR IGNORE INTO pictures VALUES (?, ?, ?, ?, ?)",
                (sha256, path, outcome["width"], outcome["height"], outcome["seconds"]))
            columns = ["sha256", "codec", "setting", "codec_version", "bytes", "bits_per_pixel",
                       *metrics, "max_error", "clipped"]
            self.connection.executemany(
                f"INSERT OR IGNORE INTO rows ({', '.join(columns)}) "
                f"VALUES ({', '.join('?' for _ in columns)})",
                [(sha256, row["codec"], row["setting"], versions[row["codec"]], row["bytes"],
                  row["bits_per_pixel"], *(_stored(row[m]) for m in metrics), row["max_error"],
                  int(row["clipped"])) for row in outcome["rows"]])

    def failures(self) -> List[Tuple[str, str, str]]:
        return list(self.connection.execute(
            "SELECT path, reason, kind FROM failures ORDER BY path"))

    def rows(self) -> Tuple[List[str], List[Tuple[Any, ...]]]:
        """Every row with its picture, in the order of the CSV: by path, then as sweep orders."""
        metrics = self.settings["metrics"]
        columns = ["path", "sha256", "width", "height", "codec", "setting", "bytes",
                   "bits_per_pixel", *metrics, "max_error", "clipped", "codec_version"]
        selected = ", ".join(
            f"r.{c}" if c not in ("path", "width", "height", "sha256") else f"p.{c}"
            for c in columns)
        # Within a picture, rows are in the order they were written: the sweep's.
        found = self.connection.execute(
            f"SELECT {selected} FROM rows r JOIN pictures p ON p.sha256 = r.sha256 "
            "ORDER BY p.path, r.rowid")
        return columns, [tuple(_loaded(value) for value in row) for row in found]

    def close(self) -> None:
        self.connection.close()


def _shown(value: Any) -> str:
    return ",".join(str(v) for v in value) if isinstance(value, list) else str(value)


def _stored(value: float) -> Any:
    """SQLite keeps no NaN (it reads back NULL) and no infinity in every client: as text."""
    if value != value:
        return "nan"
    if value in (float("inf"), float("-inf")):
        return "inf" if value > 0 else "-inf"
    return value


def _loaded(value: Any) -> Any:
    return float(value) if value in ("nan", "inf", "-inf") else value

