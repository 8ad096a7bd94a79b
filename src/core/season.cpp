#include "season.h"

#include "chapter_edits.h"
#include "languages.h"

#include <QRegularExpression>

#include <algorithm>
#include <map>

namespace perlane::season {

namespace {

QString flag_label(const TrackFlagInfo &f) {
    return QLatin1StringView(f.label.data(), static_cast<qsizetype>(f.label.size()));
}
QString flag_text(int value) {
    return value == flag_unset ? QStringLiteral("unset") : value ? QStringLiteral("yes") : QStringLiteral("no");
}
QString quoted(const QString &name) {
    return name.isEmpty() ? QStringLiteral("(no name)") : QStringLiteral("\u201C%1\u201D").arg(name);
}

std::uint64_t type_of(const Document &doc, std::size_t track) { return doc.tracks()[track].track_type.value; }

void add_edit(Plan &plan, const Documents &docs, std::size_t i, DocumentState next) {
    const Document &doc = *docs[i];
    if (next == doc.state()) {
        plan.unchanged.push_back(i);
        return;
    }
    auto found = changes(doc, doc.state(), next);
    plan.edits.push_back({i, std::move(next), std::move(found)});
}

} // namespace

QString type_name(std::uint64_t track_type) {
    switch (track_type) {
    case video_type: return QStringLiteral("Video");
    case audio_type: return QStringLiteral("Audio");
    case subtitle_type: return QStringLiteral("Subtitle");
    default: return QStringLiteral("Unknown");
    }
}

std::vector<Change> changes(const Document &doc, const DocumentState &from, const DocumentState &to) {
    std::vector<Change> out;
    for (std::size_t t = 0; t < from.tracks.size() && t < to.tracks.size(); ++t) {
        const TrackValues &a = from.tracks[t], &b = to.tracks[t];
        const QString item = QStringLiteral("#%1 %2").arg(doc.tracks()[t].track_number.value).arg(type_name(type_of(doc, t)));
        if (a.name != b.name)
            out.push_back({item, QStringLiteral("name"), quoted(a.name), quoted(b.name)});
        if (a.language != b.language)
            out.push_back({item, QStringLiteral("language"), a.language, b.language});
        if (a.is_default != b.is_default)
            out.push_back({item, QStringLiteral("default"), flag_text(a.is_default), flag_text(b.is_default)});
        for (const TrackFlagInfo &f : track_flags) {
            const auto k = static_cast<std::size_t>(f.flag);
            if (a.flags[k] != b.flags[k])
                out.push_back({item, flag_label(f), flag_text(a.flags[k]), flag_text(b.flags[k])});
        }
    }
    if (from.editions != to.editions) {
        const auto before = chapter_rows(from.editions, doc.segment_end());
        const auto after = chapter_rows(to.editions, doc.segment_end());
        for (std::size_t r = 0; r < before.size() && r < after.size(); ++r) {
            const QString item = QStringLiteral("Chapter %1").arg(r + 1);
            if (before[r].name != after[r].name)
                out.push_back({item, QStringLiteral("name"), quoted(before[r].name), quoted(after[r].name)});
            if (before[r].skip_type != after[r].skip_type)
                out.push_back({item, QStringLiteral("skip type"), skip_type_name(before[r].skip_type), skip_type_name(after[r].skip_type)});
        }
    }
    return out;
}

Plan chapter_names_to_all(const Documents &docs, std::size_t source) {
    Plan plan;
    if (source >= docs.size())
        return plan;
    const Document &src = *docs[source];
    const auto model = chapter_rows(src.state().editions, src.segment_end());
    if (model.empty()) {
        plan.refusal = QStringLiteral("The active file has no chapters to copy.");
        return plan;
    }
    if (docs.size() < 2) {
        plan.refusal = QStringLiteral("Only one file is open.");
        return plan;
    }
    auto length_text = [](std::uint64_t ns) { return Time{ns / ns_per_ms}.to_string(); };
    for (std::size_t i = 0; i < docs.size(); ++i) {
        if (i == source)
            continue;
        const Document &doc = *docs[i];
        const auto rows = chapter_rows(doc.state().editions, doc.segment_end());
        if (rows.size() != model.size()) {
            plan.skipped.push_back({i, QStringLiteral("it has %1 chapters, the active file %2").arg(rows.size()).arg(model.size())});
            continue;
        }
        QString mismatch;
        for (std::size_t r = 0; r < rows.size() && mismatch.isEmpty(); ++r) {
            const std::uint64_t a = model[r].end - model[r].start, b = rows[r].end - rows[r].start;
            const std::uint64_t diff = a > b ? a - b : b - a;
            if (diff > 2'000 * ns_per_ms && diff * 20 > std::max(a, b))
                mismatch = QStringLiteral("its chapter %1 lasts %2, in the active file %3").arg(r + 1).arg(length_text(b), length_text(a));
        }
        if (!mismatch.isEmpty()) {
            plan.skipped.push_back({i, mismatch});
            continue;
        }
        DocumentState next = doc.state();
        for (std::size_t r = 0; r < rows.size(); ++r) {
            rename_chapter(next.editions, rows[r].edition, rows[r].atom, model[r].name);
            set_skip_type(next.editions, rows[r].edition, rows[r].atom, model[r].skip_type ? static_cast<int>(*model[r].skip_type) : -1);
        }
        add_edit(plan, docs, i, std::move(next));
    }
    return plan;
}

Plan apply_track_to_all(const Documents &docs, std::size_t source, std::size_t track) {
    Plan plan;
    if (source >= docs.size() || track >= docs[source]->tracks().size()) {
        plan.refusal = QStringLiteral("There is no such track.");
        return plan;
    }
    const Document &src = *docs[source];
    const TrackValues &was = src.read().tracks[track], &now = src.state().tracks[track];
    const std::uint64_t type = type_of(src, track);
    const QString number = QString::number(src.tracks()[track].track_number.value);
    if (was == now) {
        plan.refusal = QStringLiteral("Track %1 has no changes to apply to other files: edit it first.").arg(number);
        return plan;
    }
    if (docs.size() < 2) {
        plan.refusal = QStringLiteral("Only one file is open.");
        return plan;
    }
    const QString type_text = type_name(type).toLower();
    const QString named = QStringLiteral("named %1 in \u201C%2\u201D").arg(quoted(was.name), was.language);
    for (std::size_t i = 0; i < docs.size(); ++i) {
        if (i == source)
            continue;
        const Document &doc = *docs[i];
        std::vector<std::size_t> matches;
        for (std::size_t t = 0; t < doc.tracks().size(); ++t) {
            const TrackValues &r = doc.read().tracks[t];
            if (type_of(doc, t) == type && r.name == was.name && languages::same(r.language, was.language))
                matches.push_back(t);
        }
        if (matches.empty()) {
            plan.skipped.push_back({i, QStringLiteral("it has no %1 track %2").arg(type_text, named)});
            continue;
        }
        if (matches.size() > 1) {
            plan.skipped.push_back({i, QStringLiteral("it has %1 %2 tracks %3: which one is meant is unclear")
                                           .arg(matches.size()).arg(type_text, named)});
            continue;
        }
        DocumentState next = doc.state();
        carry_track_edits(was, now, next.tracks[matches.front()]);
        add_edit(plan, docs, i, std::move(next));
    }
    return plan;
}

Plan default_by_language(const Documents &docs, std::uint64_t type, const QString &language) {
    Plan plan;
    if (type != audio_type && type != subtitle_type) {
        plan.refusal = QStringLiteral("Default by language is for audio or subtitle tracks.");
        return plan;
    }
    const auto wanted = languages::check(language);
    if (!wanted) {
        plan.refusal = wanted.error();
        return plan;
    }
    const QString kind = type_name(type).toLower();
    bool any = false;
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const Document &doc = *docs[i];
        DocumentState next = doc.state();
        bool found = false, of_type = false;
        for (std::size_t t = 0; t < doc.tracks().size(); ++t) {
            if (type_of(doc, t) != type)
                continue;
            of_type = true;
            const bool chosen = !found && languages::within(next.tracks[t].language, wanted->tag);
            found |= chosen;
            next.tracks[t].is_default = chosen;
        }
        if (!found) {
            plan.skipped.push_back({i, of_type ? QStringLiteral("it has no %1 track in %2").arg(kind, wanted->description)
                                               : QStringLiteral("it has no %1 track").arg(kind)});
            continue;
        }
        any = true;
        add_edit(plan, docs, i, std::move(next));
    }
    if (!any) {
        const QString article = kind.startsWith(QLatin1Char('a')) ? QStringLiteral("an") : QStringLiteral("a");
        plan.refusal = QStringLiteral("No open file has %1 %2 track in %3.").arg(article, kind, wanted->description);
    }
    return plan;
}

std::vector<Suggestion> flag_suggestions(const Documents &docs) {
    struct Rule {
        TrackFlag flag;
        const char *words;
        std::vector<std::uint64_t> types;
    };
    // Forced and hearing-impaired tracks are subtitles; commentary can be either.
    const Rule rules[] = {
        {TrackFlag::Forced, "Signs|Songs|Forced", {subtitle_type}},
        {TrackFlag::Commentary, "Commentary|Director", {audio_type, subtitle_type}},
        {TrackFlag::HearingImpaired, "SDH|CC", {subtitle_type}},
    };
    std::vector<Suggestion> out;
    for (const Rule &rule : rules) {
        const QRegularExpression words(QStringLiteral("\\b(%1)\\b").arg(QLatin1StringView(rule.words)),
                                       QRegularExpression::CaseInsensitiveOption);
        const auto k = static_cast<std::size_t>(rule.flag);
        Suggestion s{rule.flag,
                     QStringLiteral("names with %1").arg(QString::fromLatin1(rule.words).replace(QLatin1Char('|'), QStringLiteral(", "))),
                     {}};
        for (std::size_t i = 0; i < docs.size(); ++i) {
            const Document &doc = *docs[i];
            DocumentState next = doc.state();
            for (std::size_t t = 0; t < doc.tracks().size(); ++t)
                if (std::ranges::count(rule.types, type_of(doc, t)) && next.tracks[t].flags[k] != 1 &&
                    words.match(next.tracks[t].name).hasMatch())
                    next.tracks[t].flags[k] = 1;
            if (next != doc.state())
                add_edit(s.plan, docs, i, std::move(next));
        }
        if (!s.plan.edits.empty())
            out.push_back(std::move(s));
    }
    return out;
}

Overview overview(const Documents &docs) {
    struct Column {
        std::uint64_t type;
        QString language, name;
    };
    std::vector<Column> columns;
    Overview out;
    out.rows.resize(docs.size());
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const Document &doc = *docs[i];
        std::vector<Cell> &row = out.rows[i];
        for (std::size_t t = 0; t < doc.tracks().size(); ++t) {
            const TrackValues &v = doc.state().tracks[t];
            const std::uint64_t type = type_of(doc, t);
            // The first column of this kind that the file does not fill yet.
            std::size_t c = 0;
            for (; c < columns.size(); ++c)
                if (columns[c].type == type && columns[c].name == v.name && languages::same(columns[c].language, v.language) &&
                    (c >= row.size() || !row[c].present))
                    break;
            if (c == columns.size()) {
                columns.push_back({type, v.language, v.name});
                out.columns.push_back(QStringLiteral("%1 \u00B7 %2 \u00B7 %3").arg(type_name(type), v.language, quoted(v.name)));
            }
            if (row.size() <= c)
                row.resize(c + 1);
            QStringList parts{QStringLiteral("#%1").arg(doc.tracks()[t].track_number.value)};
            if (v.is_default)
                parts << QStringLiteral("default");
            for (const TrackFlagInfo &f : track_flags) {
                const int value = v.flags[static_cast<std::size_t>(f.flag)];
                if (f.flag == TrackFlag::Enabled ? value == 0 : value == 1)
                    parts << (f.flag == TrackFlag::Enabled ? QStringLiteral("disabled") : flag_label(f).toLower());
            }
            row[c] = {true, parts.join(QStringLiteral(" \u00B7 ")), false};
        }
    }
    // What most files have is the norm; the rest stands out.
    const std::size_t files = docs.size();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        std::map<QString, std::size_t> counts;
        std::size_t present = 0;
        for (auto &row : out.rows) {
            row.resize(columns.size());
            if (row[c].present) {
                ++present;
                ++counts[row[c].text];
            }
        }
        const auto mode = std::ranges::max_element(counts, {}, [](const auto &e) { return e.second; });
        for (auto &row : out.rows) {
            if (!row[c].present)
                row[c].odd = present * 2 > files;
            else
                row[c].odd = present * 2 < files || (row[c].text != mode->first && mode->second * 2 > present);
        }
    }
    return out;
}

} // namespace perlane::season
