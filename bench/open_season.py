#!/usr/bin/env python3
"""A season opened in a running window: the time from the chooser's answer to the frame that
shows every file listed.

Usage: bench/open_season.py BUILD_DIR [WORK_DIR] [FILES]
BUILD_DIR holds a Release build (src/perlane); WORK_DIR (default /tmp/perlane-bench) keeps
the generated episodes in open-season/. The window starts empty (offscreen); after its first
frame the probe hands the files to the backend the way the chooser's answer is handed
(add_urls: the same loading path as Open and Add), then waits for the frame whose file list
holds them all. Prints the median of five runs: the loading call itself, and the whole time
to that frame.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

build = os.path.abspath(sys.argv[1])
work = os.path.join(sys.argv[2] if len(sys.argv) > 2 else "/tmp/perlane-bench", "open-season")
count = int(sys.argv[3]) if len(sys.argv) > 3 else 200
perlane = os.path.join(build, "src", "perlane")

PROBE = """
import QtQuick
Item {
    Component.onCompleted: {
        const w = Qt.createComponent("file://%s/App.qml").createObject(null)
        const backend = w.backendObject
        const urls = %s
        let started = 0, loaded = 0
        w.frameSwapped.connect(function() {
            if (started === 0) {
                started = Date.now()
                backend.add_urls(urls)
                loaded = Date.now() - started
                w.update()
                return
            }
            if (w.listedNames.length < urls.length)
                return
            console.log("load-ms", loaded, "frame-ms", Date.now() - started, "files", w.listedNames.length)
            Qt.quit()
        })
    }
}
"""


def season():
    folder = os.path.join(work, str(count))
    if os.path.isdir(folder) and len(os.listdir(folder)) == count:
        return sorted(os.path.join(folder, f) for f in os.listdir(folder))
    os.makedirs(folder, exist_ok=True)
    src, one = os.path.join(work, "src.mkv"), os.path.join(work, "one.mkv")
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=s=64x36:r=10:d=30", "-f", "lavfi", "-i", "sine=r=8000:d=30", "-c:v", "libx264",
                    "-preset", "ultrafast", "-c:a", "pcm_s16le", src], check=True)
    subprocess.run(["mkvmerge", "-q", "-o", one, src], check=True)
    for i in range(count):
        shutil.copy(one, os.path.join(folder, f"Show - S01E{i + 1:03d} - Title.mkv"))
    return season()


def run(files):
    qml = os.path.join(build, "src")
    with tempfile.TemporaryDirectory() as probe:
        urls = "[" + ",".join('"file://%s"' % f for f in files) + "]"
        with open(os.path.join(probe, "App.qml"), "w") as f:
            f.write(PROBE % (qml, urls))
        for doc in ("FileEntry.qml", "TrackEntry.qml", "ChapterEntry.qml"):
            os.symlink(os.path.join(qml, doc), os.path.join(probe, doc))
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_QUICK_BACKEND="software",
                   XDG_STATE_HOME=os.path.join(probe, "state"))
        r = subprocess.run([perlane], cwd=probe, env=env, capture_output=True, text=True, timeout=300)
        line = next((l.split() for l in r.stderr.splitlines() if "load-ms" in l), None)
        if not line:
            sys.exit("the probe said nothing:\n" + r.stderr)
        return float(line[line.index("load-ms") + 1]), float(line[line.index("frame-ms") + 1])


files = season()
runs = [run(files) for _ in range(5)]
print(f"{count} files: loading {statistics.median(r[0] for r in runs):.0f} ms, "
      f"to the frame listing them {statistics.median(r[1] for r in runs):.0f} ms")
