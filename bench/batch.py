#!/usr/bin/env python3
"""perlane-batch over generated libraries: `scan` of 1,000 (and 3,000) small episodes in
folders of 10 (wall time warm, peak RSS), and `mark-openings --apply` over 100 episodes of
24 minutes (CPU time per episode, ffmpeg and mkvpropedit included; files per minute).

Usage: bench/batch.py BUILD_DIR [WORK_DIR] [--no-openings]
BUILD_DIR holds a Release build (src/perlane-batch). WORK_DIR (default /tmp/perlane-batch-bench)
keeps the generated files. The 24-minute season is tests/make_season.sh's (12 episodes, about
5 minutes to make); the 100 episodes are 8 copies of it and 4 more, one folder per copy.
"""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

args = [a for a in sys.argv[1:] if not a.startswith("--")]
build, work = args[0], (args[1] if len(args) > 1 else "/tmp/perlane-batch-bench")
batch = os.path.join(build, "src", "perlane-batch")
here = os.path.dirname(os.path.abspath(__file__))
os.makedirs(work, exist_ok=True)
env = dict(os.environ, XDG_STATE_HOME=os.path.join(work, "state"))


def small_library(files):
    lib = os.path.join(work, f"lib{files}")
    if os.path.isdir(lib):
        return lib
    one = os.path.join(work, "one.mkv")
    if not os.path.exists(one):
        src = os.path.join(work, "src.mkv")
        subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=64x36:r=10:d=30",
                        "-f", "lavfi", "-i", "sine=r=8000:d=30", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", src],
                       check=True)
        chapters = os.path.join(work, "chapters.txt")
        with open(chapters, "w") as f:
            for i, name in enumerate(["Intro", "Opening", "Part A", "Ending", "Preview"]):
                f.write(f"CHAPTER{i + 1:02d}=00:00:{i * 6:02d}.000\nCHAPTER{i + 1:02d}NAME={name}\n")
        subprocess.run(["mkvmerge", "-q", "-o", one, "--chapters", chapters, "--language", "1:ja", "--track-name", "1:Japanese",
                        src], check=True)
    for s in range(files // 10):
        folder = os.path.join(lib + ".part", f"Show {s // 4 + 1}", f"Season {s % 4 + 1}")
        os.makedirs(folder, exist_ok=True)
        for e in range(10):
            shutil.copy(one, os.path.join(folder, f"Show - S{s % 4 + 1:02d}E{e + 1:02d}.mkv"))
    os.rename(lib + ".part", lib)
    return lib


def timed(cmd):
    """Wall seconds, and the peak RSS (MiB) and CPU seconds of the children so far."""
    start = time.monotonic()
    subprocess.run(cmd, check=False, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - start


def scan(files):
    lib = small_library(files)
    cmd = [batch, "scan", "--json", lib]
    timed(cmd)  # warm the page cache
    walls = [timed(cmd) for _ in range(5)]
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, env=env, capture_output=True, text=True)
    rss = int(r.stderr.strip().splitlines()[-1]) / 1024
    seasons = len(r.stdout.splitlines())
    print(f"| scan, {files} episodes in {seasons} folders | {statistics.median(walls):.2f} s | {rss:.1f} MiB |")


def openings():
    season = os.path.join(work, "season24")
    if not os.path.exists(os.path.join(season, "truth.json")):
        subprocess.run([os.path.join(here, "..", "tests", "make_season.sh"), season, "24", "12"], check=True)
    lib = os.path.join(work, "lib-openings")
    shutil.rmtree(lib, ignore_errors=True)
    episodes = sorted(f for f in os.listdir(season) if f.endswith(".mkv"))
    n = 0
    copy = 0
    while n < 100:
        copy += 1
        folder = os.path.join(lib, f"Copy {copy}")
        os.makedirs(folder)
        for e in episodes[: min(len(episodes), 100 - n)]:
            shutil.copy(os.path.join(season, e), os.path.join(folder, e))
            n += 1
    shutil.rmtree(env["XDG_STATE_HOME"], ignore_errors=True)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    r = subprocess.run([batch, "mark-openings", "--apply", lib], env=env, capture_output=True, text=True)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    summary = r.stdout.strip().splitlines()[-1] if r.returncode else [l for l in r.stdout.splitlines() if "season" in l][-1]
    print(f"| mark-openings --apply, {n} episodes of 24 min | {wall:.1f} s wall | {cpu / n:.2f} CPU-s per episode | "
          f"{n / wall * 60:.0f} files/min | exit {r.returncode}: {summary} |")


print("| run | wall | peak RSS |\n|---|---|---|")
scan(1000)
scan(3000)
if "--no-openings" not in sys.argv:
    print()
    openings()
