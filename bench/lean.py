#!/usr/bin/env python3
"""What the window reads, and what it costs, on files that are heavy for the wrong reasons.

Usage: bench/lean.py BUILD_DIR [WORK_DIR]
BUILD_DIR holds a Release build (tools/matroska-dump and src/perlane); WORK_DIR (default
/tmp/perlane-bench) keeps the generated files in lean/. Needs strace, /usr/bin/time,
mkvtoolnix, ffmpeg and mediainfo. Prints Markdown tables:
- per file: bytes read by the window's reading mode (matroska-dump --metadata) and by the
  full view, the floor of what the window uses (EBML and Segment headers, SeekHead, Info,
  Tracks, Chapters), and the bytes, wall time and peak RSS of the peers;
- the real window (the program with the files as arguments, offscreen) opening the fonts
  season and the 5,000-chapter file: time to the first frame, wall time, peak RSS, and the
  time a chapter rename takes to reach the screen.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
from bench import io_on, peak_kib, run  # noqa: E402

build = os.path.abspath(sys.argv[1])
work = os.path.join(sys.argv[2] if len(sys.argv) > 2 else "/tmp/perlane-bench", "lean")
dump = os.path.join(build, "tools", "matroska-dump")
perlane = os.path.join(build, "src", "perlane")
os.makedirs(work, exist_ok=True)
WINDOW = {0x114D9B74, 0x1549A966, 0x1654AE6B, 0x1043A770}


def vint(b):
    first = b[0]
    length = 9 - first.bit_length()
    value = first & (0xFF >> length)
    for x in b[1:length]:
        value = (value << 8) | x
    return value, length, first == 0xFF


def enc_size(n):
    return bytes([0x01]) + n.to_bytes(7, "big")


def element(ident, body):
    return ident.to_bytes((ident.bit_length() + 7) // 8, "big") + enc_size(len(body)) + body


def window_floor(path):
    """EBML and Segment headers plus SeekHead, Info, Tracks and Chapters, walking headers only."""
    total, size = 0, os.path.getsize(path)
    with open(path, "rb") as f:
        pos = 0
        while pos < size:
            f.seek(pos)
            head = f.read(12)
            if len(head) < 2 or head[0] == 0:
                break  # the end, or bytes that are no element
            _, idlen, _ = vint(head)
            ident = int.from_bytes(head[:idlen], "big")
            body, slen, unknown = vint(head[idlen:])
            header = idlen + slen
            if ident == 0x18538067:
                total += header
                pos += header
                continue
            if ident == 0x1F43B675 and unknown:
                break
            if ident in WINDOW or ident == 0x1A45DFA3:
                total += header + body
            pos += header + body
    return total


def make_files():
    ff = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-y"]
    src = os.path.join(work, "src.mkv")
    if not os.path.exists(src):
        run(ff + ["-f", "lavfi", "-i", "testsrc=s=64x36:r=10:d=20", "-f", "lavfi", "-i", "sine=r=8000:d=20",
                  "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "pcm_s16le", src])
    chapters = os.path.join(work, "chapters.txt")
    with open(chapters, "w") as f:
        for i, (t, n) in enumerate([("00:00:00.000", "Opening"), ("00:00:05.000", "Part A"),
                                    ("00:00:15.000", "Ending")], 1):
            f.write(f"CHAPTER{i:02d}={t}\nCHAPTER{i:02d}NAME={n}\n")
    season = os.path.join(work, "season")
    if not os.path.isdir(season):
        os.makedirs(season)
        fonts = []
        for i in range(4):  # 20 MB of "fonts" per episode
            p = os.path.join(work, f"font{i}.ttf")
            with open(p, "wb") as f:
                f.write(os.urandom(5_000_000))
            fonts += ["--attachment-mime-type", "font/ttf", "--attach-file", p]
        for e in range(24):
            run(["mkvmerge", "-q", "-o", os.path.join(season, f"ep{e + 1:02d}.mkv"), "--title", f"Episode {e + 1}",
                 src, "--chapters", chapters] + fonts)
    many = os.path.join(work, "many.mkv")
    if not os.path.exists(many):
        xml = os.path.join(work, "many.xml")
        with open(xml, "w") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<Chapters><EditionEntry>\n')
            for i in range(5000):
                ms = i * 4
                f.write(f"<ChapterAtom><ChapterTimeStart>00:{ms // 60000:02d}:{ms // 1000 % 60:02d}.{ms % 1000:03d}"
                        f"</ChapterTimeStart><ChapterDisplay><ChapterString>Chapter {i + 1}</ChapterString>"
                        "<ChapterLanguage>eng</ChapterLanguage></ChapterDisplay></ChapterAtom>\n")
            f.write("</EditionEntry></Chapters>\n")
        run(["mkvmerge", "-q", "-o", many, src, "--chapters", xml])
    header = element(0x1A45DFA3, element(0x4282, b"matroska") + element(0x4287, b"\x04") + element(0x4285, b"\x02"))
    info = element(0x1549A966, element(0x2AD7B1, (1000000).to_bytes(3, "big")) + element(0x4D80, b"bench") +
                   element(0x5741, b"bench"))
    tracks = element(0x1654AE6B, element(0xAE, element(0xD7, b"\x01") + element(0x73C5, b"\x01") +
                                         element(0x83, b"\x02") + element(0x86, b"A_PCM/INT/LIT")))
    flood = os.path.join(work, "voids.mkv")
    if not os.path.exists(flood):
        with open(flood, "wb") as f:  # 16 MB of empty Void elements before Tracks
            f.write(header + bytes([0x18, 0x53, 0x80, 0x67, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF]) + info)
            f.write(b"\xEC\x80" * 8_000_000)
            f.write(tracks)
    tags = os.path.join(work, "tags.mkv")
    if not os.path.exists(tags):
        with open(tags, "wb") as f:  # a 2 GB Tags element in a sparse 3 GB file
            tag_size = 2_000_000_000
            body = info + tracks
            f.write(header + bytes([0x18, 0x53, 0x80, 0x67]) + enc_size(len(body) + 12 + tag_size) + body)
            f.write(bytes([0x12, 0x54, 0xC3, 0x67]) + enc_size(tag_size))
            f.truncate(3_000_000_000)
    return season, many, flood, tags


def dump_bytes(args, path):
    out = subprocess.run([dump, "--stats"] + args + [path], capture_output=True, text=True)
    import json
    return json.loads(out.stdout)[0].get("io", {}).get("bytes_read")


def wall(cmd, runs=3):
    times = []
    for _ in range(runs):
        t = time.perf_counter()
        subprocess.run(cmd, capture_output=True)
        times.append(time.perf_counter() - t)
    return statistics.median(times)


PROBE = """
import QtQuick
Item {
    property var started: Date.now()
    Component.onCompleted: {
        const w = Qt.createComponent("file://%s/App.qml").createObject(null)
        const backend = w.backendObject
        let frames = 0
        w.frameSwapped.connect(function() {
            if (++frames > 1)
                return
            console.log("first-frame-ms", Date.now() - started, "files", backend.file_names.length)
            // A rename: the document, the rows and the delegate's bindings, all synchronous.
            const renamed = Date.now()
            backend.set_chapter_name(0, 0, "Renamed")
            console.log("rename-to-frame-ms", Date.now() - renamed)
            Qt.quit()
        })
    }
}
"""


def window(files):
    with tempfile.TemporaryDirectory() as probe:
        qml = os.path.abspath(os.path.join(build, "src"))
        with open(os.path.join(probe, "App.qml"), "w") as f:
            f.write(PROBE % qml)
        for doc in ("FileEntry.qml", "TrackEntry.qml", "ChapterEntry.qml"):
            os.symlink(os.path.join(qml, doc), os.path.join(probe, doc))
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_QUICK_BACKEND="software",
                   XDG_STATE_HOME=os.path.join(probe, "state"))
        t = time.perf_counter()
        r = subprocess.run(["/usr/bin/time", "-f", "%M", perlane] + files, cwd=probe, env=env,
                           capture_output=True, text=True, timeout=300)
        elapsed = time.perf_counter() - t
        log = r.stderr
        first = next((l.split() for l in log.splitlines() if "first-frame-ms" in l), None)
        rename = next((l.split() for l in log.splitlines() if "rename-to-frame-ms" in l), None)
        rss = int(log.strip().splitlines()[-1])
        return (first[first.index("first-frame-ms") + 1] if first else "?",
                rename[rename.index("rename-to-frame-ms") + 1] if rename else "?", elapsed, rss)


def peers(path):
    return {
        "mkvinfo": ["mkvinfo", path],
        "mkvmerge -J": ["mkvmerge", "-J", path],
        "ffprobe": ["ffprobe", "-v", "error", "-of", "json", "-show_format", "-show_streams", "-show_chapters", path],
        "mediainfo": ["mediainfo", "--Output=JSON", path],
    }


def main():
    season, many, flood, tags = make_files()
    episodes = sorted(os.path.join(season, f) for f in os.listdir(season))
    cases = [("fonts season, one episode (%.1f MB)" % (os.path.getsize(episodes[0]) / 1e6), episodes[0]),
             ("5,000 chapters", many), ("16 MB of empty Voids", flood), ("2 GB Tags, sparse 3 GB file", tags)]
    only = os.environ.get("LEAN_CASES")  # e.g. "3,window": some of the tables only
    for i, (label, path) in enumerate(cases):
        if only and str(i) not in only.split(","):
            continue
        print(f"\n### {label}\n")
        print(f"Floor of what the window uses: {window_floor(path)} bytes\n")
        print("| reader | bytes read | read calls | wall | peak RSS |")
        print("|---|---|---|---|---|")
        for name, cmd in [("perlane, window's mode (matroska-dump --metadata)", [dump, "--metadata", path]),
                          ("perlane, everything (matroska-dump)", [dump, path])] + list(peers(path).items()):
            total, reads, _ = io_on(cmd, [path])
            runs = 1 if os.path.getsize(path) > 1e9 else 3
            print(f"| {name} | {total} | {reads} | {wall(cmd, runs) * 1000:.1f} ms | {peak_kib(cmd) / 1024:.1f} MiB |")
    if only and "window" not in only.split(","):
        return
    small = sorted(os.path.join(work, "..", "season", f) for f in os.listdir(os.path.join(work, "..", "season"))) \
        if os.path.isdir(os.path.join(work, "..", "season")) else []
    print("\n### The window (offscreen) opening files given as arguments\n")
    print("| files | to first frame | rename (model and delegates) | process wall | peak RSS |")
    print("|---|---|---|---|---|")
    for label, files in [("none", []), ("the fonts season (24 episodes, 20 MB of fonts each)", episodes),
                         ("the 5,000-chapter file", [many])] + \
                        ([("200 small episodes (bench.py's season)", small)] if small else []):
        results = [window(files) for _ in range(3)]
        first = statistics.median(float(r[0]) for r in results)
        rename = statistics.median(float(r[1]) for r in results)
        print(f"| {label} | {first:.0f} ms | {rename:.0f} ms | {statistics.median(r[2] for r in results) * 1000:.0f} ms "
              f"| {statistics.median(r[3] for r in results) / 1024:.0f} MiB |")


main()
