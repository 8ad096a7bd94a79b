#!/usr/bin/env python3
"""Open-speed benchmark: perlane's reader (through matroska-dump) against mkvinfo,
mkvmerge -J, ffprobe and mediainfo on the same files.

Usage: bench/bench.py BUILD_DIR [WORK_DIR]        (or --files-only: make the files and stop)
BUILD_DIR holds a Release build (tools/matroska-dump). WORK_DIR (default
/tmp/perlane-bench) keeps the generated files between runs. Needs hyperfine, strace,
/usr/bin/time, mkvtoolnix, ffmpeg and mediainfo (Debian packages of those names).
Prints a Markdown table per file.
"""
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

files_only = "--files-only" in sys.argv
args = [a for a in sys.argv[1:] if a != "--files-only"]
build, work = args[0], (args[1] if len(args) > 1 else "/tmp/perlane-bench")
dump = os.path.join(build, "tools", "matroska-dump")
os.makedirs(work, exist_ok=True)
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests"))


def run(cmd, **kw):
    subprocess.run(cmd, check=True, **kw)


def sparse_wav(path, seconds, rate=96000, channels=2):
    data = seconds * rate * channels * 2
    header = b"RIFF" + (36 + data).to_bytes(4, "little") + b"WAVEfmt " + (16).to_bytes(4, "little")
    header += (1).to_bytes(2, "little") + channels.to_bytes(2, "little") + rate.to_bytes(4, "little")
    header += (rate * channels * 2).to_bytes(4, "little") + (channels * 2).to_bytes(2, "little")
    header += (16).to_bytes(2, "little") + b"data" + data.to_bytes(4, "little")
    with open(path, "wb") as f:
        f.write(header)
        f.truncate(len(header) + data)


def make_files():
    ff = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-y"]
    chapters = os.path.join(work, "chapters.txt")
    with open(chapters, "w") as f:
        for i, (t, n) in enumerate([("00:00:00.000", "Intro"), ("00:01:00.000", "Opening"),
                                    ("00:02:30.000", "Part A"), ("00:12:00.000", "Part B"),
                                    ("00:22:00.000", "Ending")], 1):
            f.write(f"CHAPTER{i:02d}={t}\nCHAPTER{i:02d}NAME={n}\n")
    big = os.path.join(work, "big.mkv")
    if not os.path.exists(big):
        wav = os.path.join(work, "big.wav")
        sparse_wav(wav, 2 * 3600)  # 2 hours of 96 kHz stereo silence: 2.76 GB
        run(["mkvmerge", "-q", "-o", big, "--title", "Two hours", wav, "--chapters", chapters])
        os.remove(wav)
    episode = os.path.join(work, "episode.mkv")
    if not os.path.exists(episode):
        src = os.path.join(work, "episode-src.mkv")
        run(ff + ["-f", "lavfi", "-i", "testsrc=s=320x180:r=24:d=1440", "-f", "lavfi", "-i",
                  "sine=f=440:r=48000:d=1440", "-c:v", "libx264", "-preset", "ultrafast", "-crf", "40",
                  "-c:a", "pcm_s16le", src])
        fonts = []
        for i in range(6):  # font-sized attachments
            p = os.path.join(work, f"font{i}.ttf")
            with open(p, "wb") as f:
                f.write(os.urandom(300_000))
            fonts += ["--attachment-mime-type", "font/ttf", "--attach-file", p]
        run(["mkvmerge", "-q", "-o", episode, "--title", "Episode", src, "--chapters", chapters] + fonts)
        os.remove(src)
    folder = os.path.join(work, "season")
    if not os.path.isdir(folder):
        os.makedirs(folder)
        small = os.path.join(work, "small.mkv")
        run(ff + ["-f", "lavfi", "-i", "testsrc=s=64x36:r=10:d=30", "-f", "lavfi", "-i",
                  "sine=r=8000:d=30", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "pcm_s16le",
                  os.path.join(work, "small-src.mkv")])
        run(["mkvmerge", "-q", "-o", small, os.path.join(work, "small-src.mkv"), "--chapters", chapters])
        for i in range(200):
            shutil.copy(small, os.path.join(folder, f"ep{i:03d}.mkv"))
    return big, episode, folder


def peers(path):
    return {
        "perlane (matroska-dump)": [dump, path],
        "mkvinfo": ["mkvinfo", path],
        "mkvmerge -J": ["mkvmerge", "-J", path],
        "ffprobe": ["ffprobe", "-v", "error", "-of", "json", "-show_format", "-show_streams",
                    "-show_chapters", path],
        "mediainfo": ["mediainfo", "--Output=JSON", path],
    }


def wall_median(cmd, runs):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        run(["hyperfine", "-N", "--warmup", "2", "--runs", str(runs), "-i", "--export-json", out.name,
             "--", " ".join(f"'{c}'" for c in cmd)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return statistics.median(json.load(open(out.name))["results"][0]["times"])


def peak_kib(cmd):
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, capture_output=True, text=True)
    return int(r.stderr.strip().splitlines()[-1])


def io_on(cmd, paths):
    """Bytes read from the media files, and read/seek calls on them, from strace."""
    with tempfile.NamedTemporaryFile(suffix=".strace") as log:
        subprocess.run(["strace", "-f", "-qq", "-e", "trace=openat,open,read,pread64,readv,lseek,close,"
                        "dup,dup2,dup3,mmap", "-o", log.name] + cmd, capture_output=True)
        fds, total, reads, seeks = {}, 0, 0, 0
        targets = {os.path.realpath(p) for p in paths}
        for line in open(log.name, errors="replace"):
            m = re.match(r"(\d+)\s+(\w+)\((.*)\)\s+=\s+(-?\d+)", line)
            if not m:
                continue
            pid, call, args, ret = m.group(1), m.group(2), m.group(3), int(m.group(4))
            if call in ("openat", "open"):
                q = re.search(r'"([^"]*)"', args)
                if q and ret >= 0 and os.path.realpath(q.group(1)) in targets:
                    fds[(pid, ret)] = True
                continue
            fd = int(args.split(",")[0]) if args.split(",")[0].strip().isdigit() else -1
            key = (pid, fd)
            if call == "close":
                fds.pop(key, None)
            elif key in fds or any(k[1] == fd and k in fds for k in fds):
                if call in ("read", "pread64", "readv") and ret > 0:
                    total, reads = total + ret, reads + 1
                elif call in ("read", "pread64", "readv"):
                    reads += 1
                elif call == "lseek":
                    seeks += 1
        return total, reads, seeks


def main():
    from view_peers_floor import metadata_floor
    big, episode, folder = make_files()
    if files_only:
        return
    for label, path, runs in [("2-hour file (%.2f GB)" % (os.path.getsize(big) / 1e9), big, 10),
                              ("24-minute episode with 6 font attachments (%.0f MB)" %
                               (os.path.getsize(episode) / 1e6), episode, 10)]:
        floor = metadata_floor(path)
        print(f"\n### {label}\n\nMetadata floor: {floor} bytes\n")
        print("| tool | wall median | peak RSS | bytes read | read calls | seeks |")
        print("|---|---|---|---|---|---|")
        for name, cmd in peers(path).items():
            t = wall_median(cmd, runs)
            rss = peak_kib(cmd)
            total, reads, seeks = io_on(cmd, [path])
            print(f"| {name} | {t * 1000:.2f} ms | {rss / 1024:.1f} MiB | {total} | {reads} | {seeks} |")
    files = sorted(os.path.join(folder, f) for f in os.listdir(folder))
    print(f"\n### 200 small episodes in one process\n")
    print("| tool | wall median |")
    print("|---|---|")
    for name, cmd in [("perlane (matroska-dump)", [dump] + files), ("mediainfo", ["mediainfo", "--Output=JSON"] + files)]:
        print(f"| {name} | {wall_median(cmd, 5) * 1000:.1f} ms |")


if __name__ == "__main__":
    main()
