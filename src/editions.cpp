#include "editions.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace perlane {

namespace {

std::uint64_t read_piece(const QString &piece) {
    QStringView digits(piece);
    if (digits.startsWith(u'+'))
        digits = digits.mid(1);
    if (digits.isEmpty())
        return 0;
    for (QChar c : digits)
        if (c < u'0' || c > u'9')
            return 0;
    bool ok = false;
    const qulonglong v = digits.toULongLong(&ok);
    return ok ? v : 0;
}

std::uint64_t saturating_mul_add(std::uint64_t a, std::uint64_t m, std::uint64_t b) {
    constexpr auto max = std::numeric_limits<std::uint64_t>::max();
    if (m != 0 && a > max / m)
        return max;
    const std::uint64_t p = a * m;
    return p > max - b ? max : p + b;
}

std::uint64_t segment_length_ns(std::optional<double> duration, std::uint64_t scale) {
    if (!duration)
        return 0;
    // Saturating conversion of the float to an unsigned count.
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

QString time_text(std::uint64_t ns) { return Time{ns / ns_per_ms}.to_string(); }

// Every chapter UID used anywhere in the file, nested atoms included.
void collect_uids(const reader::ChapterAtom &atom, std::set<std::uint64_t> &uids) {
    uids.insert(atom.chapter_uid.value);
    for (const auto &inner : atom.chapter_atom)
        collect_uids(inner, uids);
}

std::uint64_t fresh_uid(const std::vector<Edition> &editions, std::uint64_t old) {
    std::set<std::uint64_t> used;
    for (const auto &e : editions) {
        for (const auto &c : e.chapters) {
            used.insert(c.uid);
            collect_uids(c.atom, used);
        }
        for (const auto &[k, atom] : e.undisplayed)
            collect_uids(atom, used);
    }
    if (old > 90000 && !used.contains(old - 90000))
        return old - 90000;
    // Otherwise the first unused value above the largest, or failing that, from 1 up.
    const std::uint64_t top = used.empty() ? 0 : *used.rbegin();
    if (top < std::numeric_limits<std::uint64_t>::max())
        return top + 1;
    std::uint64_t v = 1;
    while (used.contains(v))
        ++v;
    return v;
}

} // namespace

Time Time::from_string(const QString &text) {
    std::vector<std::uint64_t> pieces;
    for (const QString &part : text.split(u':'))
        for (const QString &piece : part.split(u'.'))
            pieces.push_back(read_piece(piece));
    pieces.resize(std::max<std::size_t>(pieces.size(), 3), 0);
    const std::uint64_t seconds = saturating_mul_add(pieces[0], 60, pieces[1]);
    return Time{saturating_mul_add(seconds, 1000, pieces[2])};
}

QString Time::to_string() const {
    return QStringLiteral("%1:%2.%3")
        .arg(ms / 60000, 2, 10, QLatin1Char('0'))
        .arg((ms / 1000) % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

std::uint64_t Chapter::end_or(std::optional<std::uint64_t> next_start) const {
    if (end)
        return std::max(*end, start);
    if (next_start && *next_start > start)
        return *next_start;
    if (duration && *duration > start)
        return *duration;
    return start;
}

std::uint64_t Edition::end_of(std::size_t i) const {
    std::optional<std::uint64_t> next;
    if (i + 1 < chapters.size())
        next = chapters[i + 1].start;
    return chapters[i].end_or(next);
}

chapter_list::ChapterInfo Edition::row(std::size_t i, std::size_t position) const {
    const Chapter &c = chapters[i];
    const std::uint64_t end = end_of(i);
    const std::uint64_t length_ms = (end - c.start) / ns_per_ms;
    return {c.edition,
            position,
            c.name,
            time_text(c.start),
            time_text(end),
            Time{length_ms}.to_string(),
            length_ms >= 85000 && length_ms <= 95000};
}

Edition parse_edition(const reader::EditionEntry &entry, std::size_t position,
                      std::uint64_t timestamp_scale, std::optional<double> duration) {
    Edition edition;
    edition.uid = entry.edition_uid ? std::optional(entry.edition_uid->value) : std::nullopt;
    edition.flag_hidden = entry.edition_flag_hidden.value;
    edition.flag_default = entry.edition_flag_default.value;
    edition.entry = entry;
    edition.entry.chapter_atom.clear();
    const std::uint64_t length = segment_length_ns(duration, timestamp_scale);
    for (std::size_t i = 0; i < entry.chapter_atom.size(); ++i) {
        const reader::ChapterAtom &atom = entry.chapter_atom[i];
        if (atom.chapter_display.empty()) {
            edition.undisplayed.emplace_back(edition.chapters.size(), atom);
            continue;
        }
        const reader::ChapterDisplay &display = atom.chapter_display.front();
        Chapter c;
        c.end = atom.chapter_time_end ? std::optional(atom.chapter_time_end->value) : std::nullopt;
        if (duration)
            c.duration = length;
        c.name = QString::fromStdString(display.chap_string.value);
        if (!display.chap_language.empty())
            c.language = QString::fromStdString(display.chap_language.front().value);
        c.index = i;
        c.edition = position;
        c.uid = atom.chapter_uid.value;
        c.flag_hidden = atom.chapter_flag_hidden.value;
        c.flag_enabled = atom.chapter_flag_enabled.value;
        c.timestamp_scale = timestamp_scale;
        c.start = atom.chapter_time_start.value;
        c.atom = atom;
        edition.chapters.push_back(std::move(c));
    }
    return edition;
}

std::vector<chapter_list::ChapterInfo> chapter_rows(const std::vector<Edition> &editions) {
    std::vector<chapter_list::ChapterInfo> rows;
    for (const Edition &e : editions)
        for (std::size_t i = 0; i < e.chapters.size(); ++i)
            rows.push_back(e.row(i, rows.size()));
    return rows;
}

std::optional<std::pair<std::size_t, std::size_t>> locate_row(const std::vector<Edition> &editions,
                                                              std::size_t row) {
    for (std::size_t e = 0; e < editions.size(); ++e) {
        if (row < editions[e].chapters.size())
            return std::pair{e, row};
        row -= editions[e].chapters.size();
    }
    return std::nullopt;
}

bool split_chapter(std::vector<Edition> &editions, std::size_t edition, std::size_t position,
                   SplitAt where) {
    Edition &e = editions.at(edition);
    Chapter &k = e.chapters.at(position);
    const std::uint64_t end = e.end_of(position);
    if (end - k.start <= split_ns)
        return false; // a split would leave nothing, or less than nothing, of the chapter
    Chapter piece = k;
    piece.uid = fresh_uid(editions, k.uid);
    piece.atom.chapter_uid.value = piece.uid;
    piece.atom.chapter_string_uid.reset(); // string UIDs must stay unique too
    piece.atom.chapter_atom.clear();       // nested chapters stay with the original
    std::size_t at = 0;
    if (where == SplitAt::Start) {
        piece.end = k.start + split_ns;
        k.start += split_ns;
        at = position;
        for (auto &[before, atom] : e.undisplayed)
            if (before > position)
                ++before;
    } else {
        piece.start = end - split_ns;
        piece.end = end;
        k.end = end - split_ns;
        at = position + 1;
        for (auto &[before, atom] : e.undisplayed)
            if (before >= at)
                ++before;
    }
    e.chapters.insert(e.chapters.begin() + static_cast<std::ptrdiff_t>(at), std::move(piece));
    for (std::size_t i = 0; i < e.chapters.size(); ++i)
        e.chapters[i].index = i;
    return true;
}

} // namespace perlane
