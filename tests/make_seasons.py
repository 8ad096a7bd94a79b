#!/usr/bin/python3
"""Makes seasons that hold what real releases hold, for finding openings and endings.

Usage: make_seasons.py OUTDIR [SEASON...]

Each season is a folder of episodes (eNN.mkv) and truth.json: per episode its length
and the true opening and ending, in seconds (null where it has none). The sound is made
here: songs with a verse and a repeating chorus, speech from espeak-ng, room noise, each
episode's own music; then encoded (Opus, AAC, Vorbis, AC-3) and muxed by mkvmerge with
chapters. Every season is made from fixed seeds: the same files every run.
"""
import json
import os
import random
import subprocess
import sys
import tempfile
import wave
from concurrent.futures import ThreadPoolExecutor

import numpy as np

RATE = 22050
SCALE = [0, 2, 4, 5, 7, 9, 11, 12, 14, 16]


def note_wave(freq, seconds, timbre):
    t = np.arange(int(seconds * RATE)) / RATE
    v = sum(a * np.sin(2 * np.pi * freq * (k + 1) * t) for k, a in enumerate(timbre))
    fade = np.minimum(1, np.minimum(t / 0.01, (seconds - t) / 0.03))
    return v * np.clip(fade, 0, 1) * np.exp(-t * 1.5)


def phrase(rng, seconds, root):
    """A melody with a bass under it and a beat: distinctive, in one key."""
    out = np.zeros(int(seconds * RATE))
    at = 0.0
    while at < seconds:
        length = rng.choice([0.25, 0.25, 0.5, 0.5, 0.75])
        freq = root * 2 ** (rng.choice(SCALE) / 12)
        w = note_wave(freq, min(length, seconds - at), [0.5, 0.25, 0.12])
        i = int(at * RATE)
        out[i:i + len(w)] += w[:len(out) - i]
        at += length
    beat = 0.5
    for k in range(int(seconds / beat)):
        i = int(k * beat * RATE)
        bass = note_wave(root / 4 * 2 ** (SCALE[(k // 4) % 4 * 2] / 12), beat, [0.6, 0.2])
        out[i:i + len(bass)] += bass[:len(out) - i] * 0.7
        hit = np.random.default_rng(k % 2).standard_normal(int(0.05 * RATE)) * np.exp(-np.arange(int(0.05 * RATE)) / 200)
        out[i:i + len(hit)] += hit[:len(out) - i] * 0.15
    return out


def song(seed, seconds):
    """Verse, chorus, verse, chorus, chorus...: the chorus repeats exactly, as in songs."""
    rng = random.Random(seed)
    root = 220 * 2 ** (rng.randrange(12) / 12)
    verse_a, chorus, verse_b = (phrase(rng, 8, root) for _ in range(3))
    parts, n = [], 0
    while sum(len(p) for p in parts) < seconds * RATE:
        parts.append([verse_a, chorus, verse_b, chorus, chorus][n % 5])
        n += 1
    return 0.5 * np.concatenate(parts)[:int(seconds * RATE)]


def words(rng, count):
    syllables = ["ka", "to", "ri", "men", "sa", "lo", "vi", "dor", "pe", "na", "tu", "shi", "bar", "el", "mo"]
    return " ".join("".join(rng.choice(syllables) for _ in range(rng.randint(1, 3))) for _ in range(count))


def speech(seed, seconds, work):
    """Two people talking, in made-up words, with pauses between their lines."""
    rng = random.Random(seed)
    out = np.zeros(int(seconds * RATE))
    at = rng.uniform(0.2, 1.0)
    voices = [("en", 45), ("en+f3", 60)]
    while at < seconds:
        voice, pitch = voices[rng.randrange(2)]
        path = os.path.join(work, f"speech-{seed}.wav")
        subprocess.run(["espeak-ng", "-v", voice, "-p", str(pitch), "-s", str(rng.randint(140, 190)),
                        "-w", path, words(rng, rng.randint(4, 12)) + "."], check=True)
        line = read_wav(path)
        i = int(at * RATE)
        out[i:i + len(line)] += line[:len(out) - i] * 0.8
        at += len(line) / RATE + rng.uniform(0.3, 1.5)
    return out


def read_wav(path):
    with wave.open(path) as w:
        data = np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16).astype(np.float64) / 32768
        if w.getnchannels() > 1:
            data = data.reshape(-1, w.getnchannels()).mean(axis=1)
        if w.getframerate() != RATE:
            data = np.interp(np.arange(0, len(data), w.getframerate() / RATE), np.arange(len(data)), data)
    return data


def room(seed, seconds, level=0.01):
    """A room's hiss and hum: the floor under everything, never silence."""
    g = np.random.default_rng(seed)
    n = int(seconds * RATE)
    hiss = np.convolve(g.standard_normal(n), np.ones(8) / 8, mode="same")
    hum = np.sin(2 * np.pi * 50 * np.arange(n) / RATE) * 0.3
    return level * (hiss + hum)


def own_music(seed, seconds):
    """An episode's own score: soft, and never the same twice."""
    return 0.25 * phrase(random.Random(seed), seconds, 180 * 2 ** (seed % 7 / 12))


def body(seed, seconds, work):
    return speech(seed, seconds, work) + own_music(seed + 1, seconds) + room(seed + 2, seconds)


# An episode: its pieces one after another, each ("kind", seconds, ...); what it is in truth
# follows from where the songs fall.
def episode_audio(pieces, seed, work, songs):
    """Pieces: ("body", s), ("opening"|"ending", s[, talk_over_s]), ("edited", first_s, last_s)
    (the opening cut down to its first and last seconds), ("pause", s) (room noise only),
    ("sting", s) and ("cue", s) (music every episode shares that is neither song),
    ("other_ending", s) (an ending song no other episode has)."""
    parts, truth, at = [], {"opening": None, "ending": None}, 0.0
    for k, piece in enumerate(pieces):
        kind, seconds = piece[0], piece[1]
        if kind == "body":
            parts.append(body(seed * 100 + k, seconds, work))
        elif kind in ("opening", "ending", "opening_b", "ending_b"):
            s = songs[kind][:int(seconds * RATE)] + room(seed * 100 + k, seconds)
            kind = kind.removesuffix("_b")
            if len(piece) > 2:  # people talking over its start
                n = int(piece[2] * RATE)
                s[:n] = 0.35 * s[:n] + speech(seed * 100 + k, piece[2], work) * 1.2
            parts.append(s)
            truth[kind] = [round(at, 3), round(at + seconds, 3)]
        elif kind == "edited":
            first, last = piece[1], piece[2]
            song = songs["opening"]
            whole = int(songs["opening_length"] * RATE)
            s = np.concatenate([song[:int(first * RATE)], song[whole - int(last * RATE):whole]])
            parts.append(s + room(seed * 100 + k, len(s) / RATE))
            seconds = first + last
            truth["opening"] = [round(at, 3), round(at + seconds, 3)]
        elif kind == "pause":
            parts.append(room(seed * 100 + k, seconds))
        elif kind == "other_ending":  # a song no other episode of the season has
            parts.append(songs["ending_b"][:int(seconds * RATE)] + room(seed * 100 + k, seconds))
        elif kind in ("sting", "cue"):
            parts.append(songs[kind][:int(seconds * RATE)] + room(seed * 100 + k, seconds))
        at += seconds
    audio = np.concatenate(parts)
    return audio, truth, len(audio) / RATE


def write_episode(path, audio, codec, work, chapters, title, layout="stereo"):
    """Encodes the sound with a black picture, muxes it with its chapters."""
    wav = path + ".wav"
    if audio.ndim == 1:
        audio = np.stack([audio, audio], axis=1)
    pcm = (np.clip(audio, -1, 1) * 32767).astype(np.int16)
    with wave.open(wav, "wb") as w:
        w.setnchannels(pcm.shape[1])
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())
    seconds = len(pcm) / RATE
    ff = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-y"]
    encoded = path + ".part.mkv"
    bitrate = {"libopus": "48k", "aac": "96k", "libvorbis": "64k", "ac3": "192k"}[codec]
    subprocess.run(ff + ["-f", "lavfi", "-i", f"color=c=black:s=16x16:r=1:d={seconds:.3f}", "-guess_layout_max", "0",
                         "-i", wav, "-map", "0", "-map", "1", "-c:v", "mpeg4", "-c:a", codec, "-b:a", bitrate,
                         "-ar", "48000", "-channel_layout", layout, "-shortest", encoded], check=True)
    args = ["mkvmerge", "-q", "-o", path, "--title", title]
    if chapters:
        text = "".join(f"CHAPTER{i + 1:02d}={clock(t)}\nCHAPTER{i + 1:02d}NAME={n}\n" for i, (t, n) in enumerate(chapters))
        with open(path + ".chapters.txt", "w") as f:
            f.write(text)
        args += ["--chapters", path + ".chapters.txt"]
    subprocess.run(args + [encoded], check=True)
    for p in (wav, encoded, path + ".chapters.txt"):
        if os.path.exists(p):
            os.remove(p)


def clock(seconds):
    ms = int(round(seconds * 1000))
    return f"{ms // 3600000:02d}:{ms // 60000 % 60:02d}:{ms // 1000 % 60:02d}.{ms % 1000:03d}"


# The seasons. Each returns its episodes: (pieces, codec, chapters(truth) -> list, layout).

def season_edges():
    """The opening from the first second, the ending up to the last; chapters near the
    songs but not at them (0.6 to 1.4 s off, generic names), a "Credits" chapter 3 s into
    the ending and a "Next" one 4 s before its end."""
    eps = []
    for i, off in enumerate([0.6, 0.9, 1.2, 1.4]):
        def chapters(t, off=off):
            o, e = t["opening"], t["ending"]
            return [(0, "Intro"), (o[1] + off, "Part A"), (e[0] + 3, "Credits"), (e[1] - 4, "Next")]
        eps.append(([("opening", 50), ("body", 85 + 5 * i), ("ending", 45)], "libopus", chapters, "stereo"))
    return eps


def season_short():
    """Episodes of four minutes: the part searched for the opening and the one for the
    ending must not be the same."""
    return [([("body", 20 + 5 * i), ("opening", 70), ("body", 85 - 5 * i), ("ending", 50), ("body", 15)],
             "aac", None, "stereo") for i in range(4)]


def season_cold_open():
    """A cold open longer than the part first searched: the opening starts near its end."""
    return [([("body", 150 + 10 * i), ("opening", 60), ("body", 140 - 10 * i), ("ending", 40), ("body", 30)],
             "libvorbis", None, "stereo") for i in range(3)]


def season_surround():
    """5.1: talk in the centre, the music at the front and again 18 ms late at the back."""
    return [([("body", 15 + 4 * i), ("opening", 45), ("body", 40 - 4 * i), ("ending", 40), ("body", 10)],
             "ac3", None, "5.1") for i in range(3)]


def season_dialogue():
    """People talk over the first 20 s of the opening in two of five episodes."""
    return [([("body", 10 + 5 * i), ("opening", 60, 20) if i in (1, 3) else ("opening", 60), ("body", 95 - 5 * i),
              ("ending", 45), ("body", 30)], "libopus", None, "stereo") for i in range(5)]


def season_sting():
    """After the ending, 0.4 s of the room, then the same 3 s "next episode" sting."""
    return [([("body", 15 + 5 * i), ("opening", 50), ("body", 105 - 5 * i), ("ending", 45), ("pause", 0.4), ("sting", 3),
              ("body", 21.6)], "aac", None, "stereo") for i in range(4)]


def season_edited():
    """One episode's opening is the song's first 25 s and its last 20 s."""
    return [([("body", 15 + 5 * i), ("edited", 25, 20) if i == 2 else ("opening", 70), ("body", 95 - 5 * i),
              ("ending", 40), ("body", 20)], "libvorbis", None, "stereo") for i in range(4)]


def season_cue():
    """A 20 s music cue recurs early in every episode; the last episode has no opening, and
    an ending of its own."""
    eps = []
    for i in range(4):
        head = [("body", 10 + 5 * i), ("opening", 55), ("body", 10)] if i < 3 else [("body", 40)]
        eps.append((head + [("cue", 20), ("body", 70), ("ending" if i < 3 else "other_ending", 40), ("body", 15)],
                    "libopus", None, "stereo"))
    return eps


def season_early_ending():
    """Six-and-a-half-minute episodes whose ending starts 30 s before the last part searched
    and only 10 s after the first: reading on for it must take in all the room between."""
    return [([("body", 10 + 5 * i), ("opening", 50), ("body", 130 - 5 * i), ("ending", 120), ("body", 90)],
             "libopus", None, "stereo") for i in range(4)]


def season_mixed():
    """Two seasons open at once: three episodes of each, each season with its own songs."""
    return [([("body", 20 + 4 * i), ("opening" if i < 3 else "opening_b", 50), ("body", 60 - 4 * i),
              ("ending" if i < 3 else "ending_b", 40), ("body", 15)], "libopus", None, "stereo") for i in range(6)]


SEASONS = {"edges": season_edges, "short": season_short, "cold-open": season_cold_open, "surround": season_surround,
           "dialogue": season_dialogue, "sting": season_sting, "edited": season_edited, "cue": season_cue,
           "early-ending": season_early_ending, "mixed": season_mixed}


def surround(pieces, seed, work, songs):
    """Front: music; centre: the talk; back: the music 18 ms late; LFE: the music's low end."""
    music_parts, talk_parts, truth, at = [], [], {"opening": None, "ending": None}, 0.0
    for k, (kind, seconds) in enumerate(pieces):
        n = int(seconds * RATE)
        if kind == "body":
            music_parts.append(own_music(seed * 100 + k + 1, seconds))
            talk_parts.append(speech(seed * 100 + k, seconds, work))
        else:
            music_parts.append(songs[kind][:n])
            talk_parts.append(np.zeros(n))
            truth[kind] = [round(at, 3), round(at + seconds, 3)]
        at += seconds
    music, talk = np.concatenate(music_parts), np.concatenate(talk_parts)
    floor = room(seed, len(music) / RATE)
    late = np.concatenate([np.zeros(int(0.018 * RATE)), music])[:len(music)]
    low = np.convolve(music, np.ones(64) / 64, mode="same")
    # FL FR FC LFE BL BR
    audio = np.stack([music + floor, music + floor, talk + floor, low, late * 0.8 + floor, late * 0.8 + floor], axis=1)
    return audio, truth, len(music) / RATE


def make_season(out, name):
    folder = os.path.join(out, name)
    os.makedirs(folder, exist_ok=True)
    episodes = SEASONS[name]()
    seed = sum(map(ord, name))
    songs = {"opening": song(seed, 130), "ending": song(seed + 1, 130), "opening_length": 70,
             "sting": song(seed + 2, 3), "cue": song(seed + 3, 20), "opening_b": song(seed + 4, 130),
             "ending_b": song(seed + 5, 130)}
    truth = []
    with tempfile.TemporaryDirectory() as work:
        for i, (pieces, codec, chapters, layout) in enumerate(episodes, 1):
            make = surround if layout == "5.1" else episode_audio
            audio, t, length = make(pieces, seed * 10 + i, work, songs)
            file = f"e{i:02d}.mkv"
            write_episode(os.path.join(folder, file), audio, codec, work, chapters(t) if chapters else None,
                          f"{name} {i}", layout)
            entry = {"file": file, "length": round(length, 3), **t}
            if any(len(p) > 2 and p[0] == "opening" for p in pieces):
                entry["start_tolerance"] = 2.0  # the song's start is under talk
            truth.append(entry)
    with open(os.path.join(folder, "truth.json"), "w") as f:
        json.dump({"season": name, "episodes": truth}, f, indent=1)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out, names = sys.argv[1], sys.argv[2:] or list(SEASONS)
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        for f in [pool.submit(make_season, out, n) for n in names]:
            f.result()


if __name__ == "__main__":
    main()
