#include "intro_match.h"

#include <algorithm>
#include <bit>
#include <unordered_map>

namespace perlane::intro {

namespace {

// The longest stretch at one offset: `a[i]` against `b[i - offset]`.
std::optional<Shared> at_offset(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b,
                                std::ptrdiff_t offset, const MatchRules &rules) {
    const std::ptrdiff_t first = std::max<std::ptrdiff_t>(0, offset);
    const std::ptrdiff_t last = std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(a.size()),
                                                         static_cast<std::ptrdiff_t>(b.size()) + offset);
    std::optional<Shared> best;
    std::ptrdiff_t run_begin = -1, run_last = -1;
    auto close = [&] {
        if (run_begin < 0)
            return;
        const Span s{static_cast<std::size_t>(run_begin), static_cast<std::size_t>(run_last + 1)};
        if (s.length() <= rules.max_points && s.length() >= rules.min_points && (!best || s.length() > best->a.length()))
            best = Shared{s, {s.begin - static_cast<std::size_t>(offset), s.end - static_cast<std::size_t>(offset)}};
        run_begin = -1;
    };
    for (std::ptrdiff_t i = first; i < last; ++i) {
        const bool same = std::popcount(a[static_cast<std::size_t>(i)] ^ b[static_cast<std::size_t>(i - offset)]) <=
                          rules.max_bit_errors;
        if (!same)
            continue;
        if (run_begin >= 0 && static_cast<std::size_t>(i - run_last - 1) > rules.max_gap)
            close();
        if (run_begin < 0)
            run_begin = i;
        run_last = i;
    }
    close();
    return best;
}

} // namespace

std::optional<Shared> longest_shared(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b,
                                     const MatchRules &rules) {
    if (a.empty() || b.empty())
        return std::nullopt;
    // Offsets where points agree in one half (16 bits) vote: a few flipped bits often leave
    // a half whole. Only the offsets with votes are walked.
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> where; // half (tagged by side) -> points
    auto key = [](std::uint32_t v, bool high) { return high ? (v >> 16) | 0x10000u : v & 0xffffu; };
    for (std::size_t j = 0; j < b.size(); ++j)
        for (bool high : {false, true})
            where[key(b[j], high)].push_back(static_cast<std::uint32_t>(j));
    std::unordered_map<std::ptrdiff_t, std::size_t> votes;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (bool high : {false, true})
            if (auto it = where.find(key(a[i], high)); it != where.end() && it->second.size() < 64) // silence repeats: no vote
                for (std::uint32_t j : it->second)
                    ++votes[static_cast<std::ptrdiff_t>(i) - static_cast<std::ptrdiff_t>(j)];
    std::vector<std::pair<std::size_t, std::ptrdiff_t>> ranked;
    for (const auto &[offset, count] : votes)
        if (count >= 3)
            ranked.emplace_back(count, offset);
    std::ranges::sort(ranked, std::greater<>());
    if (ranked.size() > 16)
        ranked.resize(16);
    std::optional<Shared> best;
    for (const auto &[count, offset] : ranked)
        for (std::ptrdiff_t d = offset - 1; d <= offset + 1; ++d)
            if (auto found = at_offset(a, b, d, rules); found && (!best || found->a.length() > best->a.length()))
                best = found;
    return best;
}

std::vector<std::optional<Agreement>> agree(const std::vector<std::vector<std::uint32_t>> &parts,
                                            const MatchRules &rules, std::size_t tolerance) {
    const std::size_t n = parts.size();
    std::vector<std::vector<Span>> seen(n); // per episode, what each other one shares with it
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            if (auto s = longest_shared(parts[i], parts[j], rules)) {
                seen[i].push_back(s->a);
                seen[j].push_back(s->b);
            }
    auto near = [&](std::size_t x, std::size_t y) { return (x > y ? x - y : y - x) <= tolerance; };
    std::vector<std::optional<Agreement>> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        for (const Span &s : seen[i]) {
            std::vector<std::size_t> begins, ends;
            for (const Span &t : seen[i])
                if (near(s.begin, t.begin) && near(s.end, t.end)) {
                    begins.push_back(t.begin);
                    ends.push_back(t.end);
                }
            const std::size_t votes = begins.size();
            if (out[i] && (votes < out[i]->votes || (votes == out[i]->votes && s.length() <= out[i]->span.length())))
                continue;
            // The middle of what agrees: one odd pair does not move the boundaries.
            std::ranges::nth_element(begins, begins.begin() + static_cast<std::ptrdiff_t>(votes / 2));
            std::ranges::nth_element(ends, ends.begin() + static_cast<std::ptrdiff_t>(votes / 2));
            out[i] = Agreement{{begins[votes / 2], ends[votes / 2]}, votes, seen[i].size()};
        }
    }
    return out;
}

} // namespace perlane::intro
