#include "intro_match.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <tuple>
#include <unordered_map>

namespace perlane::intro {

namespace {

// Matches further apart than this at a stretch's ends are stray.
constexpr std::ptrdiff_t sparse_gap = 2;

// Every stretch of at least `shortest` points at one offset: `a[i]` against `b[i - offset]`.
void runs_at(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b, std::ptrdiff_t offset, const MatchRules &rules,
             std::size_t shortest, std::vector<Shared> &out) {
    const std::ptrdiff_t first = std::max<std::ptrdiff_t>(0, offset);
    const std::ptrdiff_t last = std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(a.size()),
                                                         static_cast<std::ptrdiff_t>(b.size()) + offset);
    std::vector<std::ptrdiff_t> hits; // the matching points of the run under way
    auto close = [&] {
        if (hits.empty())
            return;
        // Where the shared sound ends, points whose reach still takes in some of it match
        // now and then: a stretch ends (and starts) where its matches are dense.
        std::size_t head = 0, tail = hits.size();
        while (tail - head > 1 && hits[tail - 1] - hits[tail - 2] > sparse_gap)
            --tail;
        while (tail - head > 1 && hits[head + 1] - hits[head] > sparse_gap)
            ++head;
        const Span s{static_cast<std::size_t>(hits[head]), static_cast<std::size_t>(hits[tail - 1] + 1)};
        hits.clear();
        if (s.length() >= shortest && s.length() <= rules.max_points)
            out.push_back({s, {s.begin - static_cast<std::size_t>(offset), s.end - static_cast<std::size_t>(offset)}});
    };
    for (std::ptrdiff_t i = first; i < last; ++i) {
        const bool same = std::popcount(a[static_cast<std::size_t>(i)] ^ b[static_cast<std::size_t>(i - offset)]) <=
                          rules.max_bit_errors;
        if (!same)
            continue;
        if (!hits.empty() && static_cast<std::size_t>(i - hits.back() - 1) > rules.max_gap)
            close();
        hits.push_back(i);
    }
    close();
}

std::size_t gap(std::size_t end, std::size_t begin) { return begin > end ? begin - end : 0; }

// The chain of stretches that follow on in both parts, each piece after the one before it
// in both with nothing between in at least one, that matches the most: a song edited down
// in one episode (a middle cut out) is still one song.
std::optional<Shared> longest_chain(std::vector<Shared> pieces, const MatchRules &rules, std::size_t joint) {
    std::ranges::sort(pieces, {}, [](const Shared &s) { return s.a.begin; });
    const auto follows = [&](const Shared &x, const Shared &next) {
        return next.a.begin + joint >= x.a.end && next.b.begin + joint >= x.b.end &&
               (gap(x.a.end, next.a.begin) <= joint || gap(x.b.end, next.b.begin) <= joint);
    };
    // Per piece, the best chain ending with it: its matched points and where it starts.
    std::vector<std::size_t> matched(pieces.size()), first(pieces.size());
    std::optional<Shared> best;
    std::size_t best_matched = 0;
    for (std::size_t m = 0; m < pieces.size(); ++m) {
        matched[m] = pieces[m].a.length();
        first[m] = m;
        for (std::size_t k = 0; k < m; ++k) {
            const Shared whole{{pieces[first[k]].a.begin, pieces[m].a.end}, {pieces[first[k]].b.begin, pieces[m].b.end}};
            if (follows(pieces[k], pieces[m]) && matched[k] + pieces[m].a.length() > matched[m] &&
                whole.a.length() <= rules.max_points && whole.b.length() <= rules.max_points) {
                matched[m] = matched[k] + pieces[m].a.length();
                first[m] = first[k];
            }
        }
        const Shared chain{{pieces[first[m]].a.begin, pieces[m].a.end}, {pieces[first[m]].b.begin, pieces[m].b.end}};
        if (chain.a.length() >= rules.min_points && chain.b.length() >= rules.min_points && matched[m] > best_matched) {
            best = chain;
            best_matched = matched[m];
        }
    }
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
    // Every stretch at the best offsets, so that the pieces of an edited song can be joined.
    std::vector<Shared> pieces;
    const std::size_t shortest = std::max<std::size_t>(rules.max_gap * 4, 1);
    for (const auto &[count, offset] : ranked)
        for (std::ptrdiff_t d = offset - 1; d <= offset + 1; ++d)
            runs_at(a, b, d, rules, std::min(shortest, std::max<std::size_t>(rules.min_points, 1)), pieces);
    std::ranges::sort(pieces, {}, [](const Shared &s) { return std::tuple(s.a.begin, s.a.end, s.b.begin); });
    pieces.erase(std::ranges::unique(pieces).begin(), pieces.end());
    return longest_chain(std::move(pieces), rules, rules.max_gap * 2);
}

std::vector<std::vector<PairStretch>> pair_stretches(const std::vector<std::vector<std::uint32_t>> &parts, const MatchRules &rules) {
    const std::size_t n = parts.size();
    std::vector<std::vector<PairStretch>> seen(n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            if (auto s = longest_shared(parts[i], parts[j], rules)) {
                seen[i].push_back({j, s->a, s->b});
                seen[j].push_back({i, s->b, s->a});
            }
    return seen;
}

namespace {

// Per episode, the stretches that end together with the most others: their votes, the
// earliest start two of them agree on (talk over a song's first seconds in some episodes
// makes their pairs start late), and the middle of their ends.
std::vector<std::optional<Agreement>> choose(const std::vector<std::vector<PairStretch>> &seen, std::size_t tolerance,
                                             const std::function<bool(const PairStretch &)> &counts) {
    auto near = [&](std::size_t x, std::size_t y) { return (x > y ? x - y : y - x) <= tolerance; };
    std::vector<std::optional<Agreement>> out(seen.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        for (const PairStretch &s : seen[i]) {
            if (!counts(s))
                continue;
            std::vector<std::size_t> begins, ends;
            for (const PairStretch &t : seen[i])
                if (counts(t) && near(s.mine.end, t.mine.end)) {
                    begins.push_back(t.mine.begin);
                    ends.push_back(t.mine.end);
                }
            const std::size_t votes = begins.size();
            // The earliest cluster of starts two or more pairs agree on, and its middle; the
            // middle of them all when no two agree.
            std::ranges::sort(begins);
            std::size_t begin = begins[votes / 2];
            for (std::size_t k = 0; k + 1 < votes; ++k) {
                std::size_t last = k;
                while (last + 1 < votes && near(begins[k], begins[last + 1]))
                    ++last;
                if (last > k) {
                    begin = begins[(k + last + 1) / 2];
                    break;
                }
            }
            std::ranges::nth_element(ends, ends.begin() + static_cast<std::ptrdiff_t>(votes / 2));
            const Span span{begin, std::max(begin + 1, ends[votes / 2])};
            if (out[i] && (votes < out[i]->votes || (votes == out[i]->votes && span.length() <= out[i]->span.length())))
                continue;
            out[i] = Agreement{span, votes, seen[i].size()};
        }
    }
    return out;
}

} // namespace

std::vector<std::optional<Agreement>> agree(const std::vector<std::vector<std::uint32_t>> &parts, const MatchRules &rules,
                                            std::size_t tolerance) {
    const auto seen = pair_stretches(parts, rules);
    const auto first = choose(seen, tolerance, [](const PairStretch &) { return true; });
    // A vote counts only when the partner's side lies inside what the partner chose: a
    // music cue several episodes share is no opening in the episode that has no other.
    auto agreed = choose(seen, tolerance, [&](const PairStretch &s) {
        const auto &theirs = first[s.partner];
        return theirs && s.theirs.begin + tolerance >= theirs->span.begin && s.theirs.end <= theirs->span.end + tolerance;
    });
    // Where a partner's song starts (or ends) further out than what this episode shares
    // with it, and the points there are still near its (talk over the song blurs them but
    // leaves them closer than unrelated sound), the song is there too.
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!agreed[i])
            continue;
        Span &span = agreed[i]->span;
        const Span found = span;
        for (const PairStretch &s : seen[i]) {
            const auto &theirs = agreed[s.partner];
            if (!theirs || !(s.mine.end + tolerance >= found.end && s.mine.end <= found.end + tolerance))
                continue;
            const auto offset = static_cast<std::ptrdiff_t>(s.mine.begin) - static_cast<std::ptrdiff_t>(s.theirs.begin);
            const std::ptrdiff_t from = static_cast<std::ptrdiff_t>(theirs->span.begin) + offset;
            if (from < 0 || static_cast<std::size_t>(from) + tolerance >= found.begin)
                continue;
            if (blurred_copy(parts[i], parts[s.partner], static_cast<std::size_t>(from), found.begin, offset, rules))
                span.begin = std::min(span.begin, static_cast<std::size_t>(from));
        }
    }
    return agreed;
}

bool blurred_copy(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b, std::size_t from, std::size_t to,
                  std::ptrdiff_t offset, const MatchRules &rules) {
    if (from >= to || to > a.size())
        return false;
    std::size_t bits = 0;
    for (std::size_t k = from; k < to; ++k) {
        const std::ptrdiff_t other = static_cast<std::ptrdiff_t>(k) - offset;
        if (other < 0 || static_cast<std::size_t>(other) >= b.size())
            return false;
        bits += static_cast<std::size_t>(std::popcount(a[k] ^ b[static_cast<std::size_t>(other)]));
    }
    return static_cast<double>(bits) / static_cast<double>(to - from) <= rules.blurred_bit_errors;
}

} // namespace perlane::intro
