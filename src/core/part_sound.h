#pragma once
// What the finder keeps of a part of an episode's audio, decoded by ffmpeg to 16-bit mono
// at Chromaprint's own rate: its fingerprint and its loudness, so that a boundary can be
// put at a pause. Plain C++ (libchromaprint), no Qt.
#include <cstdint>
#include <span>
#include <vector>

namespace perlane::intro {

inline constexpr int sound_rate = 11025;
inline constexpr double level_seconds = 0.01; // one loudness value per 10 ms

struct PartSound {
    std::vector<std::uint32_t> points; // Chromaprint's raw fingerprint
    std::vector<float> levels;         // dBFS per 10 ms
};
PartSound analyse(std::span<const std::int16_t> samples);

// A stretch where the sound is down at the part's own floor (room noise, not silence).
struct Pause {
    double from = 0, to = 0; // seconds from the part's start
};
// The pauses of at least `shortest` seconds: frames within 6 dB of the part's floor (its
// quietest tenth of a second) and 20 dB under its median.
std::vector<Pause> pauses(std::span<const float> levels, double shortest = 0.2);

// Where the loudness steps down by at least `step` dB (0.5 s before against 0.5 s after)
// most within [from, to) seconds of the part; a step up with `up`. None: -1.
double loudness_step(std::span<const float> levels, double from, double to, bool up, double step = 6.0);

} // namespace perlane::intro
