#include "scan.h"

#include "chapter_edits.h"
#include "opening_finder.h"
#include "season.h"

#include <QFileInfo>
#include <QJsonArray>

#include <map>

namespace perlane::batch {

namespace {

QString type_word(std::uint64_t type) {
    return season::type_name(type).toLower();
}

// "marked" when a chapter has the skip type and a name that says so; else what is missing.
QString song_mark(const std::vector<ChapterRow> &rows, SongKind kind) {
    const std::uint64_t skip = kind == SongKind::Opening ? 1 : 2;
    bool typed = false, named = false;
    for (const ChapterRow &r : rows) {
        const bool t = r.skip_type == skip, n = names_song(r.name, kind);
        if (t && n)
            return QStringLiteral("marked");
        typed |= t;
        named |= n;
    }
    return typed ? QStringLiteral("skip type only") : named ? QStringLiteral("named only") : QStringLiteral("not marked");
}

QJsonObject track_json(const Document &doc, std::size_t i) {
    const reader::TrackEntry &t = doc.tracks()[i];
    const TrackValues &v = doc.read().tracks[i];
    QJsonObject flags;
    for (const TrackFlagInfo &f : track_flags) {
        const int value = v.flags[static_cast<std::size_t>(f.flag)];
        flags.insert(QString::fromLatin1(f.name.data(), static_cast<qsizetype>(f.name.size())),
                     value == flag_unset ? QJsonValue() : QJsonValue(value == 1));
    }
    return {{QStringLiteral("number"), static_cast<qint64>(t.track_number.value)},
            {QStringLiteral("uid"), QString::number(t.track_uid.value)},
            {QStringLiteral("type"), type_word(t.track_type.value)},
            {QStringLiteral("codec"), QString::fromStdString(t.codec_id.value)},
            {QStringLiteral("language"), v.language},
            {QStringLiteral("name"), v.name},
            {QStringLiteral("default"), v.is_default},
            {QStringLiteral("flags"), flags}};
}

// Per column of the overview: the text most episodes have, and the episodes that differ.
struct ColumnSummary {
    QString column, common;
    int having = 0;
    std::vector<std::pair<std::size_t, QString>> odd; // episode, its text ("absent")
};

std::vector<ColumnSummary> summarise(const Episodes &e) {
    const season::Overview o = season::overview(e.docs);
    std::vector<ColumnSummary> out;
    for (std::size_t c = 0; c < o.columns.size(); ++c) {
        ColumnSummary s{o.columns[c], {}, 0, {}};
        std::map<QString, int> counts;
        for (const auto &row : o.rows)
            if (row[c].present)
                ++counts[row[c].text];
        int best = 0;
        for (const auto &[text, n] : counts)
            if (n > best) {
                best = n;
                s.common = text;
            }
        for (std::size_t f = 0; f < o.rows.size(); ++f) {
            const season::Cell &cell = o.rows[f][c];
            if (cell.present)
                ++s.having;
            if (cell.odd)
                s.odd.emplace_back(f, cell.present ? cell.text : QStringLiteral("absent"));
        }
        out.push_back(std::move(s));
    }
    return out;
}

// A track column's text, short enough for a line.
QString brief(const QString &text) {
    constexpr qsizetype most = 72;
    return text.size() <= most ? text : text.left(most - 1) + QChar(0x2026);
}

} // namespace

QJsonObject season_json(const QString &folder, const Episodes &e) {
    QJsonArray episodes;
    for (const auto &doc : e.docs) {
        QJsonArray tracks, chapters;
        for (std::size_t i = 0; i < doc->tracks().size(); ++i)
            tracks << track_json(*doc, i);
        const auto rows = chapter_rows(doc->read().editions, doc->segment_end());
        for (const ChapterRow &r : rows)
            chapters << QJsonObject{{QStringLiteral("edition"), static_cast<qint64>(r.edition)},
                                    {QStringLiteral("name"), r.name},
                                    {QStringLiteral("start"), Time{r.start / ns_per_ms}.to_string()},
                                    {QStringLiteral("end"), Time{r.end / ns_per_ms}.to_string()},
                                    {QStringLiteral("skip_type"), r.skip_type ? QJsonValue(static_cast<qint64>(*r.skip_type)) : QJsonValue()}};
        QJsonObject ep{{QStringLiteral("file"), doc->path()},
                       {QStringLiteral("title"), doc->read().title},
                       {QStringLiteral("tracks"), tracks},
                       {QStringLiteral("chapters"), chapters},
                       {QStringLiteral("opening"), song_mark(rows, SongKind::Opening)},
                       {QStringLiteral("ending"), song_mark(rows, SongKind::Ending)}};
        if (!doc->warning().isEmpty())
            ep.insert(QStringLiteral("warning"), doc->warning());
        episodes << ep;
    }
    QJsonArray differs;
    for (const ColumnSummary &s : summarise(e))
        for (const auto &[f, text] : s.odd)
            differs << QJsonObject{{QStringLiteral("file"), e.docs[f]->path()},
                                   {QStringLiteral("track"), s.column},
                                   {QStringLiteral("has"), text},
                                   {QStringLiteral("most_have"), s.common}};
    QJsonArray unreadable;
    for (const Problem &p : e.unreadable)
        unreadable << QJsonObject{{QStringLiteral("file"), p.path}, {QStringLiteral("reason"), p.reason}};
    return {{QStringLiteral("season"), folder},
            {QStringLiteral("episodes"), episodes},
            {QStringLiteral("differs"), differs},
            {QStringLiteral("unreadable"), unreadable}};
}

QString season_text(const QString &folder, const Episodes &e) {
    const auto count = [](std::size_t n, const char *one) {
        return n == 1 ? QStringLiteral("1 %1").arg(QLatin1StringView(one)) : QStringLiteral("%1 %2s").arg(n).arg(QLatin1StringView(one));
    };
    QString out = folder + QStringLiteral(": ") + count(e.docs.size(), "episode");
    if (!e.unreadable.empty())
        out += QStringLiteral(", ") + count(e.unreadable.size(), "file") + QStringLiteral(" not read");
    out += QLatin1Char('\n');
    const std::size_t n = e.docs.size();
    if (n > 0) {
        out += QStringLiteral("  Tracks:\n");
        for (const ColumnSummary &s : summarise(e)) {
            out += QStringLiteral("    %1: %2").arg(brief(s.column), s.common);
            if (static_cast<std::size_t>(s.having) < n)
                out += QStringLiteral(" (in %1 of %2)").arg(s.having).arg(n);
            out += QLatin1Char('\n');
            for (const auto &[f, text] : s.odd)
                out += QStringLiteral("      differs in %1: %2\n").arg(QFileInfo(e.docs[f]->path()).fileName(), text);
        }
        out += QStringLiteral("  Chapters:\n");
        for (const auto &doc : e.docs) {
            const auto rows = chapter_rows(doc->read().editions, doc->segment_end());
            out += QStringLiteral("    %1: %2; opening %3, ending %4\n")
                       .arg(QFileInfo(doc->path()).fileName(), rows.empty() ? QStringLiteral("no chapters") : count(rows.size(), "chapter"),
                            song_mark(rows, SongKind::Opening), song_mark(rows, SongKind::Ending));
            if (!doc->warning().isEmpty())
                out += QStringLiteral("      warning: %1\n").arg(doc->warning());
        }
    }
    if (!e.unreadable.empty()) {
        out += QStringLiteral("  Not read:\n");
        for (const Problem &p : e.unreadable)
            out += QStringLiteral("    %1: %2\n").arg(QFileInfo(p.path).fileName(), p.reason);
    }
    return out;
}

} // namespace perlane::batch
