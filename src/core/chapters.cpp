#include "chapters.h"

#include <QRegularExpression>

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

} // namespace

QString Time::to_string() const {
    // Thousands of rows are formatted on every edit: plain digits, no argument parsing.
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%02llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 60000),
                                static_cast<unsigned long long>((ms / 1000) % 60), static_cast<unsigned long long>(ms % 1000));
    return QString::fromLatin1(text, n);
}

std::expected<Time, QString> Time::parse(const QString &text) {
    static const QRegularExpression form(QStringLiteral("^(?:(\\d+):)?(\\d+):(\\d{1,2})(?:\\.(\\d{1,3}))?$"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::unexpected(QStringLiteral("\u201C%1\u201D is not a time: write mm:ss.fff or h:mm:ss.fff, for example 01:30.000.").arg(text.trimmed()));
    const bool hours = m.capturedLength(1) > 0;
    // Each number is checked on its own: a later conversion must not hide an earlier overflow.
    bool h_ok = true, min_ok = true;
    const std::uint64_t h = hours ? m.captured(1).toULongLong(&h_ok) : 0;
    const std::uint64_t min = m.captured(2).toULongLong(&min_ok);
    const std::uint64_t sec = m.captured(3).toULongLong();
    const std::uint64_t ms = m.captured(4).leftJustified(3, QLatin1Char('0')).toULongLong();
    if (!h_ok || !min_ok || h > 1'000'000 || min > 60'000'000 || (hours && min >= 60) || sec >= 60)
        return std::unexpected(QStringLiteral("\u201C%1\u201D is not a time: minutes and seconds go up to 59.").arg(text.trimmed()));
    return Time{((h * 60 + min) * 60 + sec) * 1000 + ms};
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

void add_nested(const reader::ChapterAtom &parent, int depth, std::vector<NestedRow> &out) {
    for (const reader::ChapterAtom &a : parent.chapter_atom) {
        const std::uint64_t start = a.chapter_time_start.value;
        out.push_back({depth,
                       a.chapter_display.empty() ? QString() : QString::fromStdString(a.chapter_display.front().chap_string.value),
                       start, a.chapter_time_end ? std::max(a.chapter_time_end->value, start) : start});
        if (depth < 8) // deeper levels are rare; the rows stay readable
            add_nested(a, depth + 1, out);
    }
}

// Appends the shown chapters of edition `e` to `rows`.
void add_edition_rows(const Editions &editions, std::size_t e, std::optional<std::uint64_t> segment_end,
                      std::vector<ChapterRow> &rows) {
    const auto &atoms = editions[e].chapter_atom;
    const std::size_t first = rows.size();
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        if (atoms[i].chapter_display.empty())
            continue; // kept and saved, not shown
        const reader::ChapterAtom &a = atoms[i];
        ChapterRow row{e, i, a.chapter_uid.value, QString::fromStdString(a.chapter_display.front().chap_string.value),
                       a.chapter_time_start.value, 0, 0, std::nullopt, {}};
        if (a.chapter_skip_type)
            row.skip_type = a.chapter_skip_type->value;
        add_nested(a, 1, row.nested);
        rows.push_back(std::move(row));
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
        if (r + 1 < rows.size() && rows[r + 1].start > start)
            rows[r].next_start = rows[r + 1].start;
        else if (segment_end && *segment_end > start)
            rows[r].next_start = *segment_end;
        else
            rows[r].next_start = end;
    }
}

} // namespace

std::vector<ChapterRow> edition_rows(const Editions &editions, std::size_t edition, std::optional<std::uint64_t> segment_end) {
    std::vector<ChapterRow> rows;
    if (edition < editions.size())
        add_edition_rows(editions, edition, segment_end, rows);
    return rows;
}

QString edition_label(const Editions &editions, std::size_t edition) {
    QString label = QStringLiteral("Edition %1").arg(edition + 1);
    if (edition >= editions.size())
        return label;
    const reader::EditionEntry &e = editions[edition];
    if (!e.edition_display.empty())
        label += QStringLiteral(" \u201C%1\u201D").arg(QString::fromStdString(e.edition_display.front().edition_string.value));
    if (e.edition_flag_default.value)
        label += QStringLiteral(" \u00B7 default");
    if (e.edition_flag_ordered.value)
        label += QStringLiteral(" \u00B7 ordered");
    if (e.edition_flag_hidden.value)
        label += QStringLiteral(" \u00B7 hidden");
    return label;
}

std::vector<ChapterRow> chapter_rows(const Editions &editions, std::optional<std::uint64_t> segment_end) {
    std::vector<ChapterRow> rows;
    for (std::size_t e = 0; e < editions.size(); ++e)
        add_edition_rows(editions, e, segment_end, rows);
    return rows;
}

} // namespace perlane
