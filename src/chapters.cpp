#include "chapters.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <set>

namespace perlane {

namespace {

std::uint64_t saturating_mul_add(std::uint64_t a, std::uint64_t m, std::uint64_t b) {
    constexpr auto max = std::numeric_limits<std::uint64_t>::max();
    if (m != 0 && a > max / m)
        return max;
    const std::uint64_t p = a * m;
    return p > max - b ? max : p + b;
}

void collect_uids(const reader::ChapterAtom &atom, std::set<std::uint64_t> &uids) {
    uids.insert(atom.chapter_uid.value);
    for (const auto &inner : atom.chapter_atom)
        collect_uids(inner, uids);
}

// A UID no atom of the file uses, nested ones included: 90000 below the original when
// that is free (readable in a list of UIDs), else above the largest, else the first gap.
std::uint64_t fresh_uid(const Editions &editions, std::uint64_t old) {
    std::set<std::uint64_t> used;
    for (const auto &e : editions)
        for (const auto &atom : e.chapter_atom)
            collect_uids(atom, used);
    if (old > 90000 && !used.contains(old - 90000))
        return old - 90000;
    const std::uint64_t top = used.empty() ? 0 : *used.rbegin();
    if (top < std::numeric_limits<std::uint64_t>::max())
        return top + 1;
    std::uint64_t v = 1;
    while (used.contains(v))
        ++v;
    return v;
}

const reader::ChapterAtom *shown_atom(const Editions &editions, std::size_t edition, std::size_t atom) {
    if (edition >= editions.size() || atom >= editions[edition].chapter_atom.size())
        return nullptr;
    const reader::ChapterAtom &a = editions[edition].chapter_atom[atom];
    return a.chapter_display.empty() ? nullptr : &a;
}

reader::ChapterTimeEnd time_end(std::uint64_t ns) {
    reader::ChapterTimeEnd e;
    e.value = ns;
    return e;
}

} // namespace

QString Time::to_string() const {
    // Thousands of rows are formatted on every edit: plain digits, no argument parsing.
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%02llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 60000),
                                static_cast<unsigned long long>((ms / 1000) % 60), static_cast<unsigned long long>(ms % 1000));
    return QString::fromLatin1(text, n);
}

std::optional<std::uint64_t> segment_length_ns(std::optional<double> duration, std::uint64_t scale) {
    if (!duration)
        return std::nullopt;
    const double ticks = *duration;
    std::uint64_t whole = 0;
    if (!(ticks > 0)) // also NaN
        whole = 0;
    else if (ticks >= 18446744073709551616.0)
        whole = std::numeric_limits<std::uint64_t>::max();
    else
        whole = static_cast<std::uint64_t>(ticks);
    return saturating_mul_add(whole, scale, 0);
}

namespace {

// Appends the shown chapters of edition `e` to `rows`.
void add_edition_rows(const Editions &editions, std::size_t e, std::optional<std::uint64_t> segment_end,
                      std::vector<ChapterRow> &rows) {
    const auto &atoms = editions[e].chapter_atom;
    const std::size_t first = rows.size();
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        if (atoms[i].chapter_display.empty())
            continue; // kept and saved, not shown
        const reader::ChapterAtom &a = atoms[i];
        rows.push_back({e, i, QString::fromStdString(a.chapter_display.front().chap_string.value),
                        a.chapter_time_start.value, 0});
    }
    for (std::size_t r = first; r < rows.size(); ++r) {
        const reader::ChapterAtom &a = atoms[rows[r].atom];
        const std::uint64_t start = rows[r].start;
        std::uint64_t end = start;
        if (a.chapter_time_end)
            end = std::max(a.chapter_time_end->value, start);
        else if (r + 1 < rows.size() && rows[r + 1].start > start)
            end = rows[r + 1].start;
        else if (segment_end && *segment_end > start)
            end = *segment_end;
        rows[r].end = end;
    }
}

} // namespace

std::vector<ChapterRow> chapter_rows(const Editions &editions, std::optional<std::uint64_t> segment_end) {
    std::vector<ChapterRow> rows;
    for (std::size_t e = 0; e < editions.size(); ++e)
        add_edition_rows(editions, e, segment_end, rows);
    return rows;
}

bool rename_chapter(Editions &editions, std::size_t edition, std::size_t atom, const QString &name) {
    if (!shown_atom(editions, edition, atom))
        return false;
    editions[edition].chapter_atom[atom].chapter_display.front().chap_string.value = name.toStdString();
    return true;
}

bool split_chapter(Editions &editions, std::size_t edition, std::size_t atom, SplitAt where,
                   std::optional<std::uint64_t> segment_end) {
    if (!shown_atom(editions, edition, atom))
        return false;
    std::vector<ChapterRow> rows; // of this edition only: a chapter's end depends on nothing else
    add_edition_rows(editions, edition, segment_end, rows);
    std::uint64_t end = 0;
    for (const ChapterRow &r : rows)
        if (r.atom == atom)
            end = r.end;
    auto &atoms = editions[edition].chapter_atom;
    reader::ChapterAtom &k = atoms[atom];
    const std::uint64_t start = k.chapter_time_start.value;
    if (end - start <= split_ns)
        return false; // a split would leave nothing, or less than nothing, of the chapter
    reader::ChapterAtom piece = k;
    piece.chapter_uid.value = fresh_uid(editions, k.chapter_uid.value);
    piece.chapter_string_uid.reset(); // string UIDs must stay unique too
    piece.chapter_atom.clear();       // nested chapters stay with the original
    std::size_t at = atom;
    if (where == SplitAt::Start) {
        piece.chapter_time_end = time_end(start + split_ns);
        k.chapter_time_start.value = start + split_ns;
    } else {
        piece.chapter_time_start.value = end - split_ns;
        piece.chapter_time_end = time_end(end);
        k.chapter_time_end = time_end(end - split_ns);
        at = atom + 1;
    }
    atoms.insert(atoms.begin() + static_cast<std::ptrdiff_t>(at), std::move(piece));
    return true;
}

} // namespace perlane
