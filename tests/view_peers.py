#!/usr/bin/env python3
"""The whole-file view on real files, checked against mkvtoolnix's own view of them.

Usage: view_peers.py MEDIA_DIR MATROSKA_DUMP CORPUS_DIR
Runs matroska-dump on files made by make_media.sh and compares tracks, segment info,
chapters and attachments with `mkvmerge -J` and `mkvextract chapters`; checks that the
view reads little more than the metadata; and checks the outcome for each file of the
external corpus.
"""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

from view_peers_floor import WINDOW, metadata_floor

media, dump_tool, corpus = sys.argv[1:4]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def dump(path):
    out = subprocess.run([dump_tool, "--stats", path], capture_output=True, text=True)
    return json.loads(out.stdout)[0], out.returncode


def mkvmerge(path):
    return json.loads(subprocess.run(["mkvmerge", "-J", path], capture_output=True, text=True).stdout)


def chapters_xml(path):
    out = subprocess.run(["mkvextract", path, "chapters", "-"], capture_output=True).stdout
    if not out.strip():
        return []
    root = ET.fromstring(out.decode("utf-8-sig"))
    return root.findall("EditionEntry")


def ns(text):
    h, m, s = text.split(":")
    sec, frac = (s.split(".") + ["0"])[:2]
    return ((int(h) * 60 + int(m)) * 60 + int(sec)) * 10**9 + int(frac.ljust(9, "0")[:9])


def compare_with_mkvtoolnix(name, segment, path):
    ref = mkvmerge(path)
    props = ref["container"]["properties"]
    info = segment["info"]
    check(info.get("segment_uuid") == props.get("segment_uid"), f"{name}: segment uid")
    check(info.get("title") == props.get("title"), f"{name}: title")
    duration_ns = round(info["duration"] * info["timestamp_scale"])
    check(abs(duration_ns - props["duration"]) <= info["timestamp_scale"], f"{name}: duration")
    kinds = {1: "video", 2: "audio", 17: "subtitles"}
    tracks = segment["tracks"]
    check(len(tracks) == len(ref["tracks"]), f"{name}: track count")
    for mine, theirs in zip(tracks, ref["tracks"]):
        p = theirs["properties"]
        check(mine["number"] == p["number"], f"{name}: track number")
        check(mine["uid"] == p["uid"], f"{name}: track uid {mine['uid']}")
        check(kinds.get(mine["type"]) == theirs["type"], f"{name}: track type")
        check(mine.get("name") == p.get("track_name"), f"{name}: track name")
        check(mine["language"] == p["language"], f"{name}: language {mine['language']}")
        check((mine["flag_default"] == 1) == p["default_track"], f"{name}: default flag")
        check(mine["codec_id"] == p["codec_id"], f"{name}: codec id")
        check(mine.get("codec_private_size", 0) == p.get("codec_private_length", 0), f"{name}: codec private data")
    editions = chapters_xml(path)
    check(len(editions) == len(segment["editions"]), f"{name}: edition count")
    for mine, theirs in zip(segment["editions"], editions):
        check(str(mine.get("uid")) == theirs.findtext("EditionUID"), f"{name}: edition uid")
        atoms = theirs.findall("ChapterAtom")
        check(len(atoms) == len(mine["atoms"]), f"{name}: atom count")
        for a, t in zip(mine["atoms"], atoms):
            check(str(a["uid"]) == t.findtext("ChapterUID"), f"{name}: chapter uid")
            check(a["start"] == ns(t.findtext("ChapterTimeStart")), f"{name}: chapter start")
            end = t.findtext("ChapterTimeEnd")
            check(a.get("end") == (ns(end) if end else None), f"{name}: chapter end")
            check(a["displays"][0]["string"] == t.findtext("ChapterDisplay/ChapterString"),
                  f"{name}: chapter name")
    attachments = ref.get("attachments", [])
    check(len(attachments) == len(segment["attachments"]), f"{name}: attachment count")
    for mine, theirs in zip(segment["attachments"], attachments):
        check(mine["name"] == theirs["file_name"], f"{name}: attachment name")
        check(mine["media_type"] == theirs["content_type"], f"{name}: attachment type")
        check(mine["uid"] == theirs["properties"]["uid"], f"{name}: attachment uid")
        check(mine["size"] == theirs["size"], f"{name}: attachment size")


def read_budget(name, view, path):
    floor = metadata_floor(path)
    used = view["io"]["bytes_read"]
    check(used <= 1.01 * floor + 4096, f"{name}: read {used} bytes for {floor} bytes of metadata")


# The window's reading mode: only what it shows and saves, whatever the fonts and Cues.
for name in ["full.mkv", "grown.mkv", "ffmpeg.mkv", "fonts.mkv", "editions.mkv", "live.mkv"]:
    path = os.path.join(media, name)
    out = subprocess.run([dump_tool, "--stats", "--metadata", path], capture_output=True, text=True)
    lean = json.loads(out.stdout)[0]
    floor = metadata_floor(path, WINDOW)
    used = lean["io"]["bytes_read"]
    check(out.returncode == 0 and used <= floor + 4096,
          f"{name}: the window's mode read {used} bytes for {floor} bytes of what it uses")

# Files made here by mkvmerge, mkvpropedit and ffmpeg.
for name in ["full.mkv", "grown.mkv", "scale.mkv", "ffmpeg.mkv", "webm.webm", "live.mkv"]:
    path = os.path.join(media, name)
    view, status = dump(path)
    check(status == 0 and "error" not in view, f"{name}: view fails: {view.get('error')}")
    if status:
        continue
    check(len(view["segments"]) == 1, f"{name}: one segment")
    compare_with_mkvtoolnix(name, view["segments"][0], path)
    read_budget(name, view, path)

full, _ = dump(os.path.join(media, "full.mkv"))
seg = full["segments"][0]
check(seg["cue_points"] == 15 and len(seg["tags"]) > 0, "full: Cues and Tags after the Clusters found")
check(seg["first_cluster_position"] > seg["data_start"], "full: first cluster position")
grown, _ = dump(os.path.join(media, "grown.mkv"))
check(grown["segments"][0]["tracks"][0]["name"] == "x" * 6000, "grown: Tracks found behind the Clusters")
webm, _ = dump(os.path.join(media, "webm.webm"))
check(webm["ebml"]["doc_type"] == "webm", "webm: doc type")
live, _ = dump(os.path.join(media, "live.mkv"))
check(live["segments"][0]["info"]["muxing_app"].startswith("Lav"), "live: read")

# Two segments: each reads as its own file does.
two, status = dump(os.path.join(media, "two.mkv"))
ffm, _ = dump(os.path.join(media, "ffmpeg.mkv"))
check(status == 0 and len(two["segments"]) == 2, "two: two segments")
if status == 0 and len(two["segments"]) == 2:
    first, second = two["segments"]
    check(first["tracks"] == seg["tracks"] and first["info"] == seg["info"], "two: first segment")
    check(second["tracks"] == ffm["segments"][0]["tracks"], "two: second segment")
    check(second["data_start"] == os.path.getsize(os.path.join(media, "full.mkv")) + 52,
          "two: second data_start")

# Truncated copies.
with tempfile.TemporaryDirectory() as tmp:
    data = open(os.path.join(media, "full.mkv"), "rb").read()
    cut = os.path.join(tmp, "cut.mkv")
    # In the middle of a Cluster: the metadata before the Clusters is all there.
    open(cut, "wb").write(data[: len(data) // 2])
    view, status = dump(cut)
    check(status == 0 and view["segments"][0]["tracks"] == seg["tracks"], "cut in a cluster: view")
    check(view["segments"][0]["cue_points"] == "absent", "cut in a cluster: no cues")
    # In the middle of the Cues: an error in one of the elements fails the view.
    cues_at = data.rfind(bytes.fromhex("1C53BB6B"))
    open(cut, "wb").write(data[: cues_at + 20])
    view, status = dump(cut)
    check(status == 1 and view.get("error") == "Attempted to read past the end of the buffer",
          f"cut in the cues: {view.get('error')}")
    # Only an EBML header.
    open(cut, "wb").write(data[:40])
    view, status = dump(cut)
    check(view.get("error") == "I/O error: failed to fill whole buffer", "only an EBML header")

# The external corpus: what each file gives, and why.
expected = {
    # A Void between the EBML header and the Segment: the element after the header must be
    # the Segment.
    "invalid_ebml/level_0_crc.mkv": "Missing element, ID: 0x18538067",
    # A Void's 6-byte size (the edit left the following bytes misaligned): reading goes
    # astray, ends at an unreadable header, and the segment has no Info.
    "invalid_ebml/lower_EBMLMaxSizeLength_than_elements_are_using.mkv": "Missing element, ID: 0x1549A966",
    # DocType's size field starts with 0x00: the header's loop stops with bytes left.
    "invalid_ebml/really_invalid_EBML_ElementDataSize_in_EBMLHeader.mkv":
        "Element body under decode, ID: 0x1A45DFA3",
    # DocType of unknown size reads as 127 bytes, more than the header holds.
    "invalid_ebml/unknown_sized_non_master_element.mkv": "Element body over decode, ID: 0x1A45DFA3",
}
for folder in ["invalid_ebml", "test_files"]:
    for f in sorted(os.listdir(os.path.join(corpus, folder))):
        if not f.endswith(".mkv"):
            continue
        rel = f"{folder}/{f}"
        view, status = dump(os.path.join(corpus, rel))
        if rel in expected:
            check(view.get("error") == expected[rel], f"{rel}: {view.get('error')}")
        else:
            # Unchecked versions, odd max lengths, unknown children, short SegmentUID:
            # none of them is an error for this reader.
            check(status == 0, f"{rel}: {view.get('error')}")
            if status == 0:
                check(len(view["segments"][0]["tracks"]) >= 1, f"{rel}: tracks")

oddities = {
    "invalid_ebml/no_DocType.mkv": lambda v: "doc_type" not in v["ebml"],
    "invalid_ebml/empty_DocType.mkv": lambda v: v["ebml"]["doc_type"] == "matroska",
    "invalid_ebml/currently_undefined_EBMLVersion.mkv": lambda v: v["ebml"]["version"] == 255,
    "invalid_ebml/element_outside_of_size_range.mkv":
        lambda v: len(v["segments"][0]["info"]["segment_uuid"]) == 16,
}
for rel, ok in oddities.items():
    view, status = dump(os.path.join(corpus, rel))
    check(status == 0 and ok(view), f"{rel}: field values")

print("view_peers:", "FAILED" if failures else "ok", len(failures))
sys.exit(1 if failures else 0)
