#include "part_sound.h"

#include <chromaprint.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>

namespace perlane::intro {

PartSound analyse(std::span<const std::int16_t> samples) {
    PartSound out;
    const std::unique_ptr<ChromaprintContext, void (*)(ChromaprintContext *)> ctx(chromaprint_new(CHROMAPRINT_ALGORITHM_DEFAULT),
                                                                                   chromaprint_free);
    if (ctx && chromaprint_start(ctx.get(), sound_rate, 1)) {
        // Fed in pieces: the length argument is an int.
        constexpr std::size_t piece = 1 << 20;
        for (std::size_t at = 0; at < samples.size(); at += piece)
            chromaprint_feed(ctx.get(), samples.data() + at, static_cast<int>(std::min(piece, samples.size() - at)));
        std::uint32_t *raw = nullptr;
        int size = 0;
        if (chromaprint_finish(ctx.get()) && chromaprint_get_raw_fingerprint(ctx.get(), &raw, &size) && raw) {
            out.points.assign(raw, raw + size);
            chromaprint_dealloc(raw);
        }
    }
    const auto frame = static_cast<std::size_t>(sound_rate * level_seconds);
    out.levels.reserve(samples.size() / frame);
    for (std::size_t at = 0; at + frame <= samples.size(); at += frame) {
        double sum = 0;
        for (std::size_t k = at; k < at + frame; ++k)
            sum += static_cast<double>(samples[k]) * samples[k];
        const double rms = std::sqrt(sum / static_cast<double>(frame)) / 32768.0;
        out.levels.push_back(static_cast<float>(20 * std::log10(std::max(rms, 1e-6))));
    }
    return out;
}

std::vector<Pause> pauses(std::span<const float> levels, double shortest) {
    std::vector<Pause> out;
    if (levels.empty())
        return out;
    // The part's floor: its quietest tenth of a second (a room's hiss, or digital silence).
    const std::size_t window = std::min<std::size_t>(10, levels.size());
    double sum = std::accumulate(levels.begin(), levels.begin() + static_cast<std::ptrdiff_t>(window), 0.0);
    double floor = sum;
    for (std::size_t i = window; i < levels.size(); ++i) {
        sum += levels[i] - levels[i - window];
        floor = std::min(floor, sum);
    }
    floor /= static_cast<double>(window);
    // ...and well under the part's middle loudness: sound that never pauses has a floor too.
    std::vector<float> sorted(levels.begin(), levels.end());
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::ranges::nth_element(sorted, middle);
    const auto quiet = static_cast<float>(std::min(floor + 6.0, static_cast<double>(*middle) - 20.0));
    const auto frames = static_cast<std::size_t>(std::lround(shortest / level_seconds));
    for (std::size_t i = 0; i < levels.size();) {
        if (levels[i] > quiet) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < levels.size() && levels[j] <= quiet)
            ++j;
        if (j - i >= frames)
            out.push_back({static_cast<double>(i) * level_seconds, static_cast<double>(j) * level_seconds});
        i = j;
    }
    return out;
}

double loudness_step(std::span<const float> levels, double from, double to, bool up, double step) {
    const auto half = static_cast<std::ptrdiff_t>(std::lround(0.5 / level_seconds));
    const auto n = static_cast<std::ptrdiff_t>(levels.size());
    const auto mean = [&](std::ptrdiff_t a, std::ptrdiff_t b) {
        double sum = 0;
        for (std::ptrdiff_t k = a; k < b; ++k)
            sum += levels[static_cast<std::size_t>(k)];
        return sum / static_cast<double>(b - a);
    };
    double best = step, at = -1;
    for (auto k = std::max<std::ptrdiff_t>(half, std::lround(from / level_seconds));
         k < std::min<std::ptrdiff_t>(n - half, std::lround(to / level_seconds)); ++k) {
        const double change = (mean(k, k + half) - mean(k - half, k)) * (up ? 1 : -1);
        if (change >= best) {
            best = change;
            at = static_cast<double>(k) * level_seconds;
        }
    }
    return at;
}

} // namespace perlane::intro
