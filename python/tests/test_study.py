"""kvrn-study on a collection made here from Debian's photographs: its rows held to kvrn sweep of
each picture, in one process, on a local Dask cluster and on a cluster of Dask's own commands, with
a worker killed and the client killed; resume, renames, refusals and the failures table."""

from __future__ import annotations

import contextlib
import hashlib
import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
import pytest

pytest.importorskip("pandas")
pytest.importorskip("distributed")

from kvrn import study  # noqa: E402

PHOTOS = Path("/usr/share/backgrounds/mate/nature")
# Few settings, small pictures: the whole file runs in about a minute on two cores.
SETTINGS = ["--codecs", "kvrn,jpeg444,jpeg420", "--metrics", "psnr_y,ssim_y",
            "--steps", "4,8,16,32", "--qualities", "30,60,90"]
KEYWORDS = dict(codecs=["kvrn", "jpeg444", "jpeg420"], metrics=["psnr_y", "ssim_y"],
                steps=[4, 8, 16, 32], qualities=[30, 60, 90])
# Crops (width x height + left + top) of Debian's photographs; odd sizes leave partial blocks.
CROPS = [("LadyBird.jpg", "64x48+900+500", "png"), ("LadyBird.jpg", "45x37+700+300", "jpg"),
         ("Dune.jpg", "64x64+100+400", "ppm"), ("Dune.jpg", "33x41+1200+600", "png"),
         ("Aqua.jpg", "56x40+400+300", "jpg"), ("Aqua.jpg", "48x48+1000+200", "pgm"),
         ("Garden.jpg", "61x29+300+300", "png"), ("Garden.jpg", "40x40+800+500", "jpg"),
         ("GreenMeadow.jpg", "72x40+200+600", "png"), ("FreshFlower.jpg", "50x50+900+400", "ppm")]
MAX_PIXELS = 10000


def kvrn_study(*arguments, expect=(0,), **popen):
    done = subprocess.run([sys.executable, "-m", "kvrn.study", *map(str, arguments)],
                          capture_output=True, text=True, check=False, **popen)
    assert done.returncode in expect, (arguments, done.returncode, done.stderr)
    return done


@pytest.fixture(scope="module")
def collection(tmp_path_factory):
    """A folder of ten photographs, one damaged JPEG, one text file named as a PNG and one picture
    over MAX_PIXELS."""
    if not PHOTOS.is_dir() or shutil.which("convert") is None:
        pytest.skip("needs mate-backgrounds and ImageMagick")
    folder = tmp_path_factory.mktemp("collection")
    for index, (photo, crop, ending) in enumerate(CROPS):
        subprocess.run(["convert", str(PHOTOS / photo), "-crop", crop, "+repage", "-quality", "92",
                        str(folder / f"p{index:02d}.{ending}")], check=True)
    whole = (folder / "p01.jpg").read_bytes()
    # Cut in its scan, past the tables: read as far as it goes, and called damaged.
    (folder / "damaged.jpg").write_bytes(whole[: len(whole) * 9 // 10])
    (folder / "notes.png").write_text("not a picture\n")
    subprocess.run(["convert", str(PHOTOS / "Dune.jpg"), "-crop", "120x100+0+0", "+repage",
                    str(folder / "large.png")], check=True)
    return folder


def pictures_of(folder):
    return sorted(p for p in folder.iterdir() if p.name.startswith("p"))


@pytest.fixture(scope="module")
def reference(collection, tmp_path_factory):
    """The study in this process, without Dask: the rows every engine must give."""
    db = tmp_path_factory.mktemp("reference") / "study.db"
    frame = study.run([str(collection)], str(db), workers=0, max_pixels=MAX_PIXELS, **KEYWORDS)
    return db, frame


def without_paths(frame):
    """The rows keyed by content, in a fixed order: what engines and runs must agree on."""
    rows = frame.drop(columns=["path"]).sort_values(["sha256", "codec", "setting"])
    return rows.reset_index(drop=True)


def test_rows_equal_kvrn_sweep_of_each_picture(collection, reference, tool, tmp_path):
    db, frame = reference
    csv = tmp_path / "rows.csv"
    done = kvrn_study("--db", db, "--csv", csv, "--workers", "0", "--max-pixels", MAX_PIXELS,
                      "-q", *SETTINGS, collection, expect=(2,))
    assert done.stderr.splitlines()[-1].startswith("kvrn-study: 0 measured, 10 already there, "
                                                   "3 failed, ")
    lines = csv.read_text().splitlines()
    assert lines[0] == "path,sha256,width,height,codec,setting,bytes,bits_per_pixel,psnr_y,ssim_y"
    by_path = {}
    for line in lines[1:]:
        cells = line.split(",")
        by_path.setdefault(cells[0], []).append(cells)
    assert sorted(by_path) == [str(p) for p in pictures_of(collection)]
    for path, rows in by_path.items():
        swept = tool.run("sweep", *SETTINGS, path).stdout.decode().splitlines()
        assert [",".join(cells[4:]) for cells in rows] == swept[1:], path
        assert {cells[1] for cells in rows} == {
            hashlib.sha256(Path(path).read_bytes()).hexdigest()}
        assert len(rows) == 4 + 3 + 3


def test_failures_table_holds_each_bad_picture_with_its_reason(reference):
    db, frame = reference
    with sqlite3.connect(db) as connection:
        failures = dict((Path(p).name, (kind, reason)) for p, kind, reason in connection.execute(
            "SELECT path, kind, reason FROM failures"))
    assert set(failures) == {"damaged.jpg", "notes.png", "large.png"}
    assert failures["large.png"][0] == "too large"
    assert "12000" in failures["large.png"][1] and str(MAX_PIXELS) in failures["large.png"][1]
    assert failures["damaged.jpg"][0] == "damaged"
    assert failures["notes.png"][0] == "unreadable"
    assert "unknown picture type" in failures["notes.png"][1]
    assert frame.attrs["failed"] == {"damaged": 1, "unreadable": 1, "too large": 1}


def test_local_cluster_gives_the_same_rows(collection, reference, tmp_path):
    frame = study.run([str(collection)], str(tmp_path / "local.db"), workers=2,
                      max_pixels=MAX_PIXELS, **KEYWORDS)
    assert frame.attrs["measured"] == 10
    assert without_paths(frame).equals(without_paths(reference[1]))


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


@pytest.fixture
def cluster(tmp_path):
    """`dask scheduler` and two `dask worker` processes (without nannies, so that a worker's pid
    is the process that computes) on 127.0.0.1, run by the Python that has kvrn."""
    port = free_port()
    address = f"tcp://127.0.0.1:{port}"
    environment = dict(os.environ, PYTHONWARNINGS="ignore")
    started = [subprocess.Popen(
        [sys.executable, "-m", "distributed.cli.dask_scheduler", "--host", "127.0.0.1",
         "--port", str(port), "--dashboard-address", ":0", "--no-show"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=environment)]
    workers = []
    for name in ("one", "two"):
        workers.append(subprocess.Popen(
            [sys.executable, "-m", "distributed.cli.dask_worker", address, "--nthreads", "1",
             "--no-nanny", "--name", name, "--no-dashboard",
             "--local-directory", str(tmp_path / name)],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=environment))
    started += workers
    from distributed import Client

    with Client(address, timeout=30) as client:
        client.wait_for_workers(2, timeout=60)
    yield address, workers
    for process in started:
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
    for process in started:
        try:
            process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def test_cluster_with_a_worker_killed_halfway_loses_and_repeats_nothing(
        collection, reference, cluster, tmp_path):
    address, workers = cluster
    db = tmp_path / "cluster.db"
    # More settings make each picture take long enough to kill a worker in the middle.
    client = subprocess.Popen(
        [sys.executable, "-m", "kvrn.study", "--db", str(db), "--scheduler", address,
         "--send-pictures", "--max-pixels", str(MAX_PIXELS), "-q", *SETTINGS, str(collection)],
        stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        if db.exists() and pictures_in(db) >= 3:
            break
        time.sleep(0.05)
    workers[0].send_signal(signal.SIGKILL)
    _, stderr = client.communicate(timeout=300)
    assert client.returncode == 2, stderr
    assert stderr.splitlines()[-1].startswith("kvrn-study: 10 measured, 0 already there, 3 failed")
    frame = study.run([str(collection)], str(db), workers=0, max_pixels=MAX_PIXELS, **KEYWORDS)
    assert frame.attrs["measured"] == 0
    assert without_paths(frame).equals(without_paths(reference[1]))
    with sqlite3.connect(db) as connection:
        (total,) = connection.execute("SELECT count(*) FROM rows").fetchone()
    assert total == 10 * 10


def pictures_in(db):
    try:
        with sqlite3.connect(f"file:{db}?mode=ro", uri=True, timeout=5) as connection:
            return connection.execute("SELECT count(*) FROM pictures").fetchone()[0]
    except sqlite3.Error:
        return 0


@pytest.mark.parametrize("stop,workers", [(signal.SIGKILL, "0"), (signal.SIGINT, "0"),
                                          (signal.SIGINT, "2")],
                         ids=["killed", "ctrl-c", "ctrl-c-on-dask"])
def test_client_stopped_then_run_again_computes_only_what_is_missing(
        collection, reference, tmp_path, stop, workers):
    db = tmp_path / "resumed.db"
    arguments = ["--db", str(db), "--workers", workers, "--max-pixels", str(MAX_PIXELS), "-q",
                 *SETTINGS, str(collection)]
    # The pictures are small: the client may finish them all between a look at the database and
    # the kill. Then the study starts again from nothing, a few times at most.
    for _ in range(6):
        for leftover in ("", "-journal", "-wal", "-shm"):
            Path(f"{db}{leftover}").unlink(missing_ok=True)
        client = subprocess.Popen([sys.executable, "-m", "kvrn.study", *arguments],
                                  stderr=subprocess.PIPE, text=True, start_new_session=True)
        while client.poll() is None and pictures_in(db) < 4:
            time.sleep(0.005)
        # As a terminal does: the signal goes to the client and every process it started.
        with contextlib.suppress(ProcessLookupError):  # the client may have finished
            os.killpg(client.pid, stop)
        _, said = client.communicate()
        there = pictures_in(db)
        if stop == signal.SIGINT and there < 10:
            # Ctrl-C: the pictures finished are kept, and the client says how to go on, without
            # a traceback from a worker.
            assert client.returncode == 130, said
            assert said.splitlines()[-1].startswith("kvrn-study: interrupted"), said
            assert "Traceback" not in said, said
        if there < 10:
            break
    assert 4 <= there < 10
    done = kvrn_study(*arguments, expect=(2,))
    assert done.stderr.splitlines()[-1].startswith(
        f"kvrn-study: {10 - there} measured, {there} already there, 3 failed, ")
    frame = study.run([str(collection)], str(db), workers=0, max_pixels=MAX_PIXELS, **KEYWORDS)
    assert without_paths(frame).equals(without_paths(reference[1]))


def test_a_renamed_picture_is_not_measured_again(collection, reference, tmp_path):
    db = tmp_path / "renamed.db"
    shutil.copy(reference[0], db)
    folder = tmp_path / "pictures"
    folder.mkdir()
    shutil.copy(collection / "p00.png", folder / "renamed.png")
    shutil.copy(collection / "p03.png", folder / "p03.png")
    frame = study.run([str(folder)], str(db), workers=0, max_pixels=MAX_PIXELS, **KEYWORDS)
    assert (frame.attrs["measured"], frame.attrs["already"]) == (0, 2)


def test_bad_input_is_refused_before_any_database_is_made(tmp_path):
    empty = tmp_path / "empty"
    empty.mkdir()
    (tmp_path / "manifest.txt").write_text("\n")
    for operands, words in [([tmp_path / "nowhere"], "no such file or folder"),
                            ([empty], "a folder with no pictures"),
                            ([tmp_path / "manifest.txt"], "an empty manifest")]:
        done = kvrn_study("--db", tmp_path / "no.db", "--workers", "0", *operands, expect=(1,))
        assert words in done.stderr
        assert not (tmp_path / "no.db").exists()


def test_a_scheduler_that_does_not_answer_is_reported_within_ten_seconds(collection, tmp_path):
    began = time.monotonic()
    done = kvrn_study("--db", tmp_path / "no.db", "--scheduler", f"tcp://127.0.0.1:{free_port()}",
                      collection / "p00.png", expect=(1,))
    assert time.monotonic() - began < 10 + 5  # the interpreter's start and Dask's import
    assert "no Dask scheduler answers" in done.stderr
    assert not (tmp_path / "no.db").exists()


def test_databases_of_others_and_of_other_settings_are_refused_untouched(
        collection, reference, tmp_path):
    other = tmp_path / "other.db"
    with sqlite3.connect(other) as connection:
        connection.execute("CREATE TABLE things (name TEXT)")
    before = other.read_bytes()
    done = kvrn_study("--db", other, "--workers", "0", collection / "p00.png", expect=(1,))
    assert "is not a kvrn-study database" in done.stderr
    assert other.read_bytes() == before

    db = tmp_path / "study.db"
    shutil.copy(reference[0], db)
    before = db.read_bytes()
    changed = [*SETTINGS[:-2], "--qualities", "30,60,90,95", "--codecs", "kvrn,jpeg444,jpeg420,kvrn+zstd"]
    done = kvrn_study("--db", db, "--workers", "0", *changed, collection / "p00.png",
                      expect=(1,))
    assert "codecs:" in done.stderr and "qualities: 30,60,90 there, 30,60,90,95 asked" in done.stderr
    assert "steps" not in done.stderr
    assert db.read_bytes() == before

    frame = study.run([str(collection / "p00.png")], str(db), workers=0, add=True,
                      max_pixels=MAX_PIXELS, **dict(KEYWORDS, qualities=[30, 60, 90, 95],
                                                    codecs=[*KEYWORDS["codecs"], "kvrn+zstd"]))
    assert frame.attrs["measured"] == 0
    # Every picture there gets kvrn+zstd at its 4 steps and both JPEGs at quality 95.
    assert len(frame) == 10 * (10 + 4 + 2)
    assert len(frame.drop_duplicates(["sha256", "codec", "setting"])) == len(frame)


def test_summary_table_and_plots_of_a_study(collection, reference, tmp_path):
    db = tmp_path / "study.db"
    shutil.copy(reference[0], db)
    summary, plots = tmp_path / "summary.csv", tmp_path / "plots"
    # The installed command, as pip puts it beside the interpreter; a checkout run without
    # installing (scripts/mutants) has the module only.
    script = Path(sys.executable).with_name("kvrn-study")
    command = [str(script)] if script.exists() else [sys.executable, "-m", "kvrn.study"]
    done = subprocess.run(
        [*command, "--db", str(db), "--workers", "0", "--summary", str(summary), "--plot",
         str(plots), "--max-pixels", str(MAX_PIXELS), *SETTINGS, str(collection)],
        capture_output=True, text=True, check=False)
    assert done.returncode == 2, done.stderr
    lines = summary.read_text().splitlines()
    assert lines[0] == "codec,metric,pictures,bd_rate,bd_rate_of_mean_curve"
    cells = {tuple(line.split(",")[:2]): line.split(",")[2:] for line in lines[1:]}
    assert sorted(cells) == sorted((c, m) for c in KEYWORDS["codecs"] for m in KEYWORDS["metrics"])
    assert cells["jpeg420", "psnr_y"] == ["10", "0.00", "0.00"]
    # 4:4:4 spends more than 4:2:0 on these photographs at the same luma PSNR.
    assert float(cells["jpeg444", "psnr_y"][1]) > 0
    assert "BD-rate against jpeg420" in done.stdout and "(+0.0%)" in done.stdout
    for metric in KEYWORDS["metrics"]:
        assert (plots / f"{metric}.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
