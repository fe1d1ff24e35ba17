"""Studies over collections of pictures: ``kvrn sweep`` of every picture, on this machine or a Dask
cluster, into a SQLite database that a study resumes from, with averaged curves and BD-rates.

    kvrn-study --db FILE [--csv FILE] [--summary FILE] [--plot DIR] [--anchor CODEC]
               [--workers N | --scheduler ADDRESS] [--send-pictures] [--add] [--max-pixels N]
               [-q] [kvrn sweep's --codecs, --metrics, --steps, --qualities, --webp-qualities,
               --avif-quantizers, --jxl-distances, --tables] PATH...

``run(...)`` is the same from Python and returns the rows as a ``pandas.DataFrame``.
"""

from __future__ import annotations

import argparse
import contextlib
import glob
import hashlib
import os
import signal
import sys
import tempfile
import threading
import time
import warnings
from collections import Counter
from typing import Any, Callable, Dict, Iterator, List, Optional, Sequence, Tuple

from . import (
    CLASSIC_CODECS,
    CLASSIC_METRICS,
    CODECS,
    DEFAULT_MAX_PIXELS,
    METRICS,
    Error,
    _DEFAULT_QUALITIES,
    _DEFAULT_STEPS,
    _kvrn,
    codecs as codec_table,
    sweep,
)
from .study_store import Store, StudyError

__all__ = ["StudyError", "main", "run"]

# The names a folder's pictures end with (any case): the formats kvrn encode reads.
PICTURE_ENDINGS = (".png", ".jpg", ".jpeg", ".jpe", ".pbm", ".pgm", ".ppm", ".pnm", ".pam")

_DEFAULTS = _kvrn.sweep_defaults()

# The settings of a study, by the keyword of kvrn.sweep: what makes two databases comparable.
_LISTS = ("steps", "qualities", "webp_qualities", "avif_quantizers", "jxl_distances")


class _Refused(Exception):
    """Bad input found before any database is made: status 1 with this message."""


def settings_of(
    codecs: Sequence[str] = CLASSIC_CODECS,
    metrics: Sequence[str] = CLASSIC_METRICS,
    steps: Sequence[int] = _DEFAULT_STEPS,
    qualities: Sequence[int] = _DEFAULT_QUALITIES,
    webp_qualities: Optional[Sequence[int]] = None,
    avif_quantizers: Optional[Sequence[int]] = None,
    jxl_distances: Optional[Sequence[float]] = None,
    tables: bool = False,
) -> Dict[str, Any]:
    """A study's settings as plain lists (JSON), the sweep's defaults filled in."""
    codec_list = list(CODECS) if codecs == "all" else list(codecs)
    metric_list = list(METRICS) if metrics == "all" else list(metrics)
    return {
        "codecs": codec_list,
        "metrics": [m for m in METRICS if m in metric_list] if all(
            m in METRICS for m in metric_list) else metric_list,
        "steps": list(steps),
        "qualities": list(qualities),
        "webp_qualities": list(_DEFAULTS["webp_qualities"] if webp_qualities is None
                               else webp_qualities),
        "avif_quantizers": list(_DEFAULTS["avif_quantizers"] if avif_quantizers is None
                                else avif_quantizers),
        "jxl_distances": [float(d) for d in (_DEFAULTS["jxl_distances"] if jxl_distances is None
                                             else jxl_distances)],
        "tables": bool(tables),
    }


# Pictures ----------------------------------------------------------------------------------------

def find_pictures(paths: Sequence[str]) -> List[str]:
    """The pictures named by folders (recursively, by their endings), globs and manifests (a file
    ending in .txt or .list, one path a line, relative to the manifest), in a stable order."""
    found: List[str] = []
    for path in paths:
        if os.path.isdir(path):
            inside = sorted(
                os.path.join(folder, name)
                for folder, _, names in os.walk(path)
                for name in names
                if name.lower().endswith(PICTURE_ENDINGS))
            if not inside:
                raise _Refused(f"{path}: a folder with no pictures (files ending in "
                               f"{', '.join(PICTURE_ENDINGS)})")
            found += inside
        elif os.path.isfile(path) and path.lower().endswith((".txt", ".list")):
            base = os.path.dirname(path)
            with open(path, encoding="utf-8") as manifest:
                listed = [line.strip() for line in manifest]
            listed = [os.path.join(base, line) for line in listed if line and not line.startswith("#")]
            if not listed:
                raise _Refused(f"{path}: an empty manifest (one picture's path a line)")
            found += listed
        elif os.path.exists(path):
            found.append(path)
        elif glob.has_magic(path):
            matched = sorted(glob.glob(path, recursive=True))
            if not matched:
                raise _Refused(f"{path}: no file matches")
            found += [m for m in matched if os.path.isfile(m)]
        else:
            raise _Refused(f"{path}: no such file or folder")
    # A picture named twice is measured once.
    return list(dict.fromkeys(os.path.normpath(p) for p in found))


def content_hash(path: str) -> Optional[str]:
    """The SHA-256 of a file's bytes, or None when it cannot be read."""
    digest = hashlib.sha256()
    try:
        with open(path, "rb") as picture:
            for block in iter(lambda: picture.read(1 << 20), b""):
                digest.update(block)
    except OSError:
        return None
    return digest.hexdigest()


# The task: one picture, on a worker or here ------------------------------------------------------

def measure_picture(path: str, data: Optional[bytes], settings: Dict[str, Any],
                    max_pixels: int, threads: int = 1) -> Dict[str, Any]:
    """kvrn sweep of one picture as a task's result: its rows, or why it failed. Reads the file at
    `path`, or `data` (the file's bytes, sent by the client) when given. Never writes anywhere."""
    start = time.perf_counter()
    if data is None:
        pixels, status, messages = _kvrn.read_picture(path, max_pixels)
    else:
        with tempfile.NamedTemporaryFile(suffix=os.path.basename(path)) as copy:
            copy.write(data)
            copy.flush()
            pixels, status, messages = _kvrn.read_picture(copy.name, max_pixels)
            messages = messages.replace(copy.name, path)
    if status != "ok":
        reason = messages.strip().splitlines()[0] if messages.strip() else status
        # "PATH: what": the path is in the row already.
        reason = reason[len(path) + 2:] if reason.startswith(path + ": ") else reason
        kind = "too large" if "more than the limit" in reason or "--max-pixels" in reason else (
            "damaged" if status == "damaged" else "unreadable")
        return {"failed": True, "reason": reason, "kind": kind}
    rows = sweep_rows(pixels, settings, threads)
    return {"failed": False, "width": int(pixels.shape[1]), "height": int(pixels.shape[0]),
            "rows": rows, "seconds": time.perf_counter() - start}


def sweep_rows(pixels: Any, settings: Dict[str, Any], threads: int) -> List[Dict[str, Any]]:
    with warnings.catch_warnings():
        # A codec that fails gives rows without bytes, as kvrn sweep's table does.
        warnings.simplefilter("ignore", RuntimeWarning)
        return sweep(pixels, steps=settings["steps"], qualities=settings["qualities"],
                     tables=settings["tables"], threads=threads, codecs=settings["codecs"],
                     metrics=settings["metrics"], webp_qualities=settings["webp_qualities"],
                     avif_quantizers=settings["avif_quantizers"],
                     jxl_distances=settings["jxl_distances"])


# The engines -------------------------------------------------------------------------------------

Job = Tuple[str, str]  # a picture's path and its content hash
Outcome = Dict[str, Any]


def _in_this_process(jobs: List[Job], settings, max_pixels, send, progress) -> Iterator[Tuple[Job, Outcome]]:
    for job in jobs:
        yield job, measure_picture(job[0], None, settings, max_pixels, threads=0)


@contextlib.contextmanager
def _sigint_ignored() -> Iterator[None]:
    """SIGINT ignored meanwhile, where this thread may change it (Python's main thread)."""
    if threading.current_thread() is not threading.main_thread():
        yield
        return
    previous = signal.signal(signal.SIGINT, signal.SIG_IGN)
    try:
        yield
    finally:
        signal.signal(signal.SIGINT, previous)


class _Cluster:
    """A Dask client on a local cluster of `workers` processes, or on the scheduler at `address`."""

    def __init__(self, workers: Optional[int], address: Optional[str]) -> None:
        import dask  # noqa: PLC0415 - only a study on Dask loads it
        from distributed import Client, LocalCluster  # noqa: PLC0415

        self.cluster = None
        if address is not None:
            try:
                self.client = Client(address, timeout=10)
            except (OSError, TimeoutError) as failure:
                raise _Refused(f"no Dask scheduler answers at {address}: {failure}") from None
        else:
            # Dask starts its workers with MALLOC_TRIM_THRESHOLD_=65536, which fixes glibc's mmap
            # threshold at 128 KiB: every buffer of a sweep is then mapped and faulted in anew,
            # 40 % slower on 512 x 384 photographs. Thresholds of 256 MiB (trim) and 32 MiB (mmap,
            # glibc's largest) keep the buffers in the heap, as in a process of one's own.
            environ = "distributed.nanny.pre-spawn-environ."
            # Ctrl-C on a terminal reaches every process of the group: workers that took it would
            # each print a traceback while the client shuts them down. They are started with
            # SIGINT ignored, which a new process keeps; the client alone answers it.
            with _sigint_ignored(), dask.config.set({
                    environ + "MALLOC_TRIM_THRESHOLD_": str(1 << 28),
                    environ + "MALLOC_MMAP_THRESHOLD_": str(1 << 25)}):
                self.cluster = LocalCluster(
                    n_workers=workers or os.cpu_count() or 1, threads_per_worker=1,
                    processes=True, dashboard_address=None, silence_logs=40)
            self.client = Client(self.cluster)

    def run(self, jobs: List[Job], settings, max_pixels, send, progress) -> Iterator[Tuple[Job, Outcome]]:
        from distributed import as_completed  # noqa: PLC0415
        from distributed.scheduler import KilledWorker  # noqa: PLC0415

        futures = {}
        for job in jobs:
            data = None
            if send:
                with open(job[0], "rb") as picture:
                    data = picture.read()
            # The key names the content and the settings: the same picture is one task.
            future = self.client.submit(measure_picture, job[0], data, settings, max_pixels, 1,
                                        key=f"kvrn-study-{job[1]}", pure=False)
            futures[future] = job
        for future in as_completed(futures):
            job = futures.pop(future)
            try:
                outcome = future.result()
            except KilledWorker as killed:
                outcome = {"failed": True, "kind": "killed workers",
                           "reason": f"killed every worker it ran on ({killed})"}
            except Exception as failure:  # noqa: BLE001 - a task's failure is the picture's
                outcome = {"failed": True, "kind": "error",
                           "reason": f"{type(failure).__name__}: {failure}"}
            future.release()
            yield job, outcome

    def close(self) -> None:
        self.client.close()
        if self.cluster is not None:
            self.cluster.close()


class _Progress:
    """Pictures done, their rate and the time left, on one line of a terminal."""

    def __init__(self, total: int, shown: bool) -> None:
        self.total, self.shown, self.done, self.start = total, shown, 0, time.monotonic()

    def step(self) -> None:
        self.done += 1
        if not self.shown:
            return
        spent = time.monotonic() - self.start
        rate = self.done / spent if spent > 0 else 0.0
        left = (self.total - self.done) / rate if rate > 0 else 0.0
        sys.stderr.write(f"\r{self.done}/{self.total} pictures, {rate:.2f}/s, "
                         f"{left:.0f} s left   ")
        sys.stderr.flush()

    def end(self) -> None:
        if self.shown and self.done:
            sys.stderr.write("\n")


# The study ---------------------------------------------------------------------------------------

def run(
    paths: Sequence[str],
    db: str,
    codecs: Any = CLASSIC_CODECS,
    metrics: Any = CLASSIC_METRICS,
    steps: Sequence[int] = _DEFAULT_STEPS,
    qualities: Sequence[int] = _DEFAULT_QUALITIES,
    webp_qualities: Optional[Sequence[int]] = None,
    avif_quantizers: Optional[Sequence[int]] = None,
    jxl_distances: Optional[Sequence[float]] = None,
    tables: bool = False,
    workers: Optional[int] = None,
    scheduler: Optional[str] = None,
    send_pictures: bool = False,
    add: bool = False,
    max_pixels: int = DEFAULT_MAX_PIXELS,
    csv: Optional[str] = None,
    summary: Optional[str] = None,
    plot: Optional[str] = None,
    anchor: str = "jpeg420",
    progress: bool = False,
    report: Optional[Callable[[str], None]] = None,
) -> Any:
    """A study of the pictures at `paths` (folders, globs, manifests) into the database `db`.

    The settings are kvrn.sweep's keywords, with its defaults. workers: Dask worker processes of a
    local cluster (None: one per core; 0: no Dask, the pictures one after another in this
    process); scheduler: the address of a running Dask scheduler instead. Pictures already in the
    database (by content) are not measured again. Returns every row of the database as a
    ``pandas.DataFrame`` whose ``attrs`` hold the run's counts: measured, already, failed (a dict
    of reasons' kinds and their counts) and seconds. Bad paths, an unanswering scheduler and a
    database of other settings raise ``StudyError`` before anything is written.
    """
    import pandas  # noqa: PLC0415 - the frame is pandas'

    began = time.perf_counter()
    settings = _checked_settings(codecs, metrics, steps, qualities, webp_qualities,
                                 avif_quantizers, jxl_distances, tables)
    if anchor not in CODECS:
        raise StudyError(f"unknown anchor {anchor}: the codecs are {', '.join(CODECS)}")
    try:
        pictures = find_pictures(paths)
    except _Refused as refused:
        raise StudyError(str(refused)) from None
    if not pictures:
        raise StudyError("no pictures given")
    engine = None
    if scheduler is not None or workers != 0:
        try:
            engine = _Cluster(workers, scheduler)
        except _Refused as refused:
            raise StudyError(str(refused)) from None
    try:
        store = Store(db, settings, add)
        try:
            counts = _measure(store, pictures, engine, max_pixels, send_pictures, progress)
            columns, rows = store.rows()
            failures = store.failures()
        finally:
            store.close()
    finally:
        if engine is not None:
            engine.close()
    frame = pandas.DataFrame(rows, columns=columns)
    counts["seconds"] = time.perf_counter() - began
    frame.attrs.update(counts)
    frame.attrs["failures"] = failures
    if csv is not None:
        write_csv(frame, store.settings["metrics"], csv)
    if summary is not None or plot is not None or report is not None:
        from . import study_summary  # noqa: PLC0415 - needs SciPy

        table = study_summary.summarise(frame, store.settings["metrics"], anchor)
        if summary is not None:
            table.to_csv(summary, index=False, float_format="%.2f")
        if report is not None:
            report(study_summary.printed(table, anchor))
        if plot is not None:
            from . import study_plot  # noqa: PLC0415 - needs matplotlib

            study_plot.draw(frame, store.settings["metrics"], plot)
    return frame


def _checked_settings(codecs, metrics, steps, qualities, webp_qualities, avif_quantizers,
                      jxl_distances, tables) -> Dict[str, Any]:
    """The settings, held to kvrn.sweep's own checks: a bad one is refused before any database
    is made."""
    settings = settings_of(codecs, metrics, steps, qualities, webp_qualities, avif_quantizers,
                           jxl_distances, tables)
    try:
        from . import _distances, _names, _settings  # noqa: PLC0415

        _names(settings["codecs"], "codecs", CODECS)
        _names(settings["metrics"], "metrics", METRICS)
        _settings(settings["steps"], "steps", 65535)
        _settings(settings["qualities"], "qualities", 100)
        _settings(settings["webp_qualities"], "webp_qualities", 100, low=0)
        _settings(settings["avif_quantizers"], "avif_quantizers", 63, low=0)
        _distances(settings["jxl_distances"])
    except Error as bad:
        raise StudyError(str(bad)) from None
    return settings


def _measure(store: Store, pictures: List[str], engine, max_pixels: int, send: bool,
             progress: bool) -> Dict[str, Any]:
    done = store.done()
    versions = {entry["name"]: entry["library"] for entry in codec_table()}
    jobs: List[Job] = []
    already = 0
    failed: Counter = Counter()
    seen = set()
    for path in pictures:
        sha256 = content_hash(path)
        if sha256 is None:
            store.record(path, "", {"failed": True, "kind": "unreadable",
                                    "reason": "cannot be read"}, versions)
            failed["unreadable"] += 1
            continue
        if sha256 in done or sha256 in seen:
            already += 1
            continue
        seen.add(sha256)
        jobs.append((path, sha256))
    settings = store.settings
    if store.added is not None:
        # --add: the pictures there get the new codecs and settings only.
        extra = [(path, sha256) for sha256, path in done.items() if sha256 not in seen]
        _add_settings(store, extra, engine, max_pixels, send, versions)
    bar = _Progress(len(jobs), progress)
    measured = 0
    outcomes = (engine.run if engine is not None else _in_this_process)(
        jobs, settings, max_pixels, send, progress)
    for (path, sha256), outcome in outcomes:
        store.record(path, sha256, outcome, versions)
        if outcome["failed"]:
            failed[outcome["kind"]] += 1
        else:
            measured += 1
        bar.step()
    bar.end()
    return {"measured": measured, "already": already, "failed": dict(failed)}


def _add_settings(store: Store, pictures: List[Job], engine, max_pixels, send, versions) -> None:
    """The rows of the settings --add brings, for pictures measured before."""
    new = store.added
    old_codecs = [c for c in store.settings["codecs"] if c not in new["codecs"]]
    parts = [dict(new, codecs=new["codecs"], **{k: store.settings[k] for k in _LISTS})]
    if any(new[k] for k in _LISTS) and old_codecs:
        parts.append(dict(new, codecs=old_codecs))
    for part in parts:
        if not part["codecs"]:
            continue
        outcomes = (engine.run if engine is not None else _in_this_process)(
            pictures, part, max_pixels, send, False)
        for (path, sha256), outcome in outcomes:
            if not outcome["failed"]:
                store.record(path, sha256, outcome, versions)


def write_csv(frame: Any, metrics: Sequence[str], path: str) -> None:
    """The rows as kvrn sweep's CSV writes them, each with its picture's columns first."""
    places = {"psnr_rgb": 3, "psnr_y": 3, "ssim_y": 5, "ms_ssim_y": 5, "butteraugli": 4,
              "butteraugli_3norm": 4}
    lines = [",".join(["path", "sha256", "width", "height", "codec", "setting", "bytes",
                       "bits_per_pixel", *metrics])]
    for row in frame.itertuples(index=False):
        values = row._asdict()
        missing = values["bytes"] is None or values["bytes"] != values["bytes"]
        cells = [_csv_text(values["path"]), values["sha256"], str(values["width"]),
                 str(values["height"]), values["codec"], "%.6g" % values["setting"],
                 "" if missing else str(int(values["bytes"])),
                 "" if missing else "%.4f" % values["bits_per_pixel"]]
        cells += [_decimals(values[m], places[m]) for m in metrics]
        lines.append(",".join(cells))
    with open(path, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


def _decimals(value: float, places: int) -> str:
    if value != value:
        return "nan"
    if value in (float("inf"), float("-inf")):
        return "inf" if value > 0 else "-inf"
    return "%.*f" % (places, value)


def _csv_text(text: str) -> str:
    return '"' + text.replace('"', '""') + '"' if any(c in text for c in ',"\n') else text


# The command -------------------------------------------------------------------------------------

def _list(kind: Callable[[str], Any]) -> Callable[[str], List[Any]]:
    def parse(text: str) -> List[Any]:
        try:
            return [kind(part) for part in text.split(",")] if text else []
        except ValueError:
            raise argparse.ArgumentTypeError(f"not a comma-separated list: {text}") from None
    return parse


def _names_list(text: str) -> Any:
    return "all" if text == "all" else text.split(",")


def parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="kvrn-study",
        description="kvrn sweep of every picture of a collection, on this machine or a Dask "
        "cluster, into a SQLite database that the same command resumes, with mean curves and "
        "BD-rates. The last line on standard error: 'kvrn-study: N measured, M already there, "
        "F failed, T s'. Status 0; 2 when a picture failed; 1 for bad input.")
    p.add_argument("paths", nargs="+", metavar="PATH",
                   help="folders (searched recursively), globs, manifests (.txt, .list: a path a "
                   "line) or pictures")
    p.add_argument("--db", required=True, metavar="FILE", help="the study's SQLite database")
    p.add_argument("--csv", metavar="FILE", help="write every row as CSV")
    p.add_argument("--summary", metavar="FILE",
                   help="write the BD-rates: codec,metric,pictures,bd_rate,bd_rate_of_mean_curve")
    p.add_argument("--plot", metavar="DIR", help="draw the mean curves, one PNG per metric")
    p.add_argument("--anchor", default="jpeg420", metavar="CODEC",
                   help="the codec BD-rates are against (default jpeg420)")
    engine = p.add_mutually_exclusive_group()
    engine.add_argument("--workers", type=int, metavar="N",
                        help="worker processes of a local Dask cluster (default: one per core; "
                        "0: none, in this process)")
    engine.add_argument("--scheduler", metavar="ADDRESS",
                        help="a running Dask scheduler, tcp://HOST:PORT")
    p.add_argument("--send-pictures", action="store_true",
                   help="send the pictures' bytes to the workers, which do not see the files")
    p.add_argument("--add", action="store_true",
                   help="add these codecs and settings to a database made with others")
    p.add_argument("--max-pixels", type=int, default=DEFAULT_MAX_PIXELS, metavar="N",
                   help="a picture of more pixels is a failure (default 268435456)")
    p.add_argument("-q", "--quiet", action="store_true", help="no progress and no table")
    p.add_argument("--codecs", type=_names_list, default=list(CLASSIC_CODECS), metavar="LIST")
    p.add_argument("--metrics", type=_names_list, default=list(CLASSIC_METRICS), metavar="LIST")
    p.add_argument("--steps", type=_list(int), default=list(_DEFAULT_STEPS), metavar="LIST")
    p.add_argument("--qualities", type=_list(int), default=list(_DEFAULT_QUALITIES),
                   metavar="LIST")
    p.add_argument("--webp-qualities", type=_list(int), metavar="LIST")
    p.add_argument("--avif-quantizers", type=_list(int), metavar="LIST")
    p.add_argument("--jxl-distances", type=_list(float), metavar="LIST")
    p.add_argument("--tables", action="store_true", help="also the rows kvrn-tables")
    return p


def main(argv: Optional[Sequence[str]] = None) -> int:
    options = parser().parse_args(argv)
    began = time.perf_counter()
    try:
        frame = run(
            options.paths, options.db, codecs=options.codecs, metrics=options.metrics,
            steps=options.steps, qualities=options.qualities,
            webp_qualities=options.webp_qualities, avif_quantizers=options.avif_quantizers,
            jxl_distances=options.jxl_distances, tables=options.tables,
            workers=options.workers, scheduler=options.scheduler,
            send_pictures=options.send_pictures, add=options.add,
            max_pixels=options.max_pixels, csv=options.csv, summary=options.summary,
            plot=options.plot, anchor=options.anchor,
            progress=not options.quiet and sys.stderr.isatty(),
            report=None if options.quiet else print)
    except StudyError as refused:
        print(f"kvrn-study: {refused}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("kvrn-study: interrupted; the pictures finished are in the database, and the same "
              "command goes on from there", file=sys.stderr)
        return 130
    failed = frame.attrs["failed"]
    for path, reason, _ in frame.attrs["failures"]:
        if not options.quiet:
            print(f"kvrn-study: {path}: {reason}", file=sys.stderr)
    if failed:
        print("kvrn-study: failed: " + ", ".join(f"{n} {kind}" for kind, n in sorted(
            failed.items())), file=sys.stderr)
    print(f"kvrn-study: {frame.attrs['measured']} measured, {frame.attrs['already']} already "
          f"there, {sum(failed.values())} failed, "
          f"{time.perf_counter() - began:.1f} s", file=sys.stderr)
    return 2 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
