#pragma once
// Finding the stretch of sound two episodes share (their opening or ending song) in audio
// fingerprints: Chromaprint's 32-bit points, one every 4096/3 samples at 11025 Hz. Plain
// C++, no Qt: the matching is the same whoever decoded the audio.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace perlane::intro {

// Seconds between two points.
inline constexpr double point_seconds = 4096.0 / 3.0 / 11025.0;
// Each point sums up about this much sound from its own time on (Chromaprint's filters
// span 16 frames of 4096 samples, a third apart).
inline constexpr double point_reach_seconds = (15 * 4096.0 / 3.0 + 4096.0) / 11025.0;

// The time a point stands for: a point matches once most of its reach is in the shared
// sound, so a stretch of points starts and ends half a reach before the sound does.
inline double begin_seconds(std::size_t point) { return static_cast<double>(point) * point_seconds + point_reach_seconds / 2; }
inline double end_seconds(std::size_t end_point) {
    return static_cast<double>(end_point) * point_seconds - point_seconds + point_reach_seconds / 2;
}

struct Span {
    std::size_t begin = 0, end = 0; // points, end excluded
    std::size_t length() const { return end - begin; }
    bool operator==(const Span &) const = default;
};

struct Shared {
    Span a, b; // the same stretch in each
    bool operator==(const Shared &) const = default;
};

struct MatchRules {
    // Points of the same sound differ in a few bits (the two episodes' audio is cut at
    // different places); unrelated points in about 16: at most 6 keeps noise from matching.
    int max_bit_errors = 6;
    std::size_t max_gap = 8;     // unmatched points allowed inside a stretch (about 1 s)
    std::size_t min_points = 0;  // stretches outside these lengths are not returned
    std::size_t max_points = SIZE_MAX;
    // The mean differing bits of a stretch that is the same sound under other sound: talk
    // over a song measures 10 to 12.3; unrelated sound 15 in the middle, and 1 % of 5 s
    // windows of it under 12.1.
    double blurred_bit_errors = 12.5;
};

// The longest stretch `a` and `b` share, within the rules' lengths: pieces at different
// offsets join when they follow on in both with nothing between in one (an edited song).
std::optional<Shared> longest_shared(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b,
                                     const MatchRules &rules);

// One episode's part, and what it shares with the others.
struct Agreement {
    Span span;             // in this episode's points
    std::size_t votes;     // episodes that share it
    std::size_t partners;  // episodes that share some stretch with this one
};
// What each episode shares with each other one.
struct PairStretch {
    std::size_t partner;
    Span mine, theirs;
};
std::vector<std::vector<PairStretch>> pair_stretches(const std::vector<std::vector<std::uint32_t>> &parts, const MatchRules &rules);

// Per episode, the stretch most other episodes share with it (none when no other shares
// anything): stretches ending within `tolerance` points agree; the start is the earliest
// two of them agree on, or further out where a partner's song is still heard under other
// sound. A partner's vote counts only when its side lies in the partner's own choice.
std::vector<std::optional<Agreement>> agree(const std::vector<std::vector<std::uint32_t>> &parts,
                                            const MatchRules &rules, std::size_t tolerance);

// Whether a[from, to) is b's sound at `offset` (a[k] against b[k - offset]) under other
// sound: near in the mean, not point by point.
bool blurred_copy(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b, std::size_t from, std::size_t to,
                  std::ptrdiff_t offset, const MatchRules &rules);

} // namespace perlane::intro
