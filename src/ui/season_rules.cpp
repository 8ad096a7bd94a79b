// The rules that change every open file at once, and their previews.
#include "season_rules.h"

#include "backend.h"
#include "languages.h"

namespace perlane {

SeasonRules::SeasonRules(Backend &backend) : QObject(&backend), b_(backend) {}


namespace {

std::optional<std::uint64_t> type_named(const QString &type) {
    if (type == QStringLiteral("audio"))
        return season::audio_type;
    if (type == QStringLiteral("subtitles"))
        return season::subtitle_type;
    return std::nullopt;
}


season::Plan refused(const QString &why) {
    season::Plan plan;
    plan.refusal = why;
    return plan;
}

} // namespace

QVariantMap SeasonRules::preview(const season::Plan &plan) const {
    QVariantList changes, skipped;
    for (const season::FileEdit &e : plan.edits)
        for (const season::Change &c : e.changes)
            changes << QVariantMap{{QStringLiteral("file"), b_.documents()[e.file]->name()},
                                   {QStringLiteral("track"), c.item},
                                   {QStringLiteral("change"), QStringLiteral("%1: %2 \u2192 %3").arg(c.what, c.from, c.to)}};
    // In file order: the files skipped, and those already as the rule would leave them.
    std::vector<std::pair<std::size_t, QString>> notes;
    for (const season::Skip &s : plan.skipped)
        notes.emplace_back(s.file, s.reason);
    for (std::size_t file : plan.unchanged)
        notes.emplace_back(file, QStringLiteral("nothing to change"));
    std::ranges::stable_sort(notes, {}, &std::pair<std::size_t, QString>::first);
    for (const auto &[file, why] : notes)
        skipped << b_.documents()[file]->name() + QStringLiteral(": ") + why;
    return {{QStringLiteral("ok"), plan.refusal.isEmpty() && !plan.edits.empty()},
            {QStringLiteral("message"), plan.refusal},
            {QStringLiteral("changes"), changes},
            {QStringLiteral("skipped"), skipped},
            {QStringLiteral("files"), static_cast<int>(plan.edits.size())}};
}

int SeasonRules::apply(const season::Plan &plan, const QString &rule) {
    if (!plan.refusal.isEmpty()) {
        b_.report(plan.refusal + QStringLiteral(" Nothing was changed."), true);
        return 0;
    }
    const int changed = b_.session().apply(plan);
    QString status = changed == 0 ? QStringLiteral("%1: no file needed a change.").arg(rule)
                                  : QStringLiteral("%1: %2 changed (not saved yet).").arg(rule, changed == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(changed));
    QStringList skipped;
    for (const season::Skip &s : plan.skipped)
        skipped << b_.documents()[s.file]->name() + QStringLiteral(" (") + s.reason + QLatin1Char(')');
    if (!skipped.isEmpty())
        status += QStringLiteral(" Skipped: ") + skipped.join(QStringLiteral("; ")) + QLatin1Char('.');
    b_.report(status, changed == 0 && !skipped.isEmpty());
    return changed;
}

static season::Plan plan_apply(const Backend &b, quint64 track) {
    const Document *doc = b.active_document();
    const auto t = doc ? doc->track_numbered(track) : std::nullopt;
    if (!t)
        return refused(QStringLiteral("The active file has no track %1.").arg(track));
    return season::apply_track_to_all(b.documents(), *b.active_index(), *t);
}

QVariantMap SeasonRules::preview_apply_track_to_all(quint64 track) const { return preview(plan_apply(b_, track)); }

int SeasonRules::apply_track_to_all(quint64 track) { return apply(plan_apply(b_, track), QStringLiteral("Apply to all files")); }

static season::Plan plan_default(const Backend &b, const QString &type, const QString &language) {
    const auto t = type_named(type);
    if (!t)
        return refused(QStringLiteral("\u201C%1\u201D is not a track type for this rule: use audio or subtitles.").arg(type));
    return season::default_by_language(b.documents(), *t, language);
}

QVariantMap SeasonRules::preview_default_by_language(const QString &type, const QString &language) const {
    return preview(plan_default(b_, type, language));
}

int SeasonRules::default_by_language(const QString &type, const QString &language) {
    return apply(plan_default(b_, type, language), QStringLiteral("Default by language"));
}

QVariantList SeasonRules::flag_suggestions() const {
    QVariantList out;
    for (const season::Suggestion &s : season::flag_suggestions(b_.documents())) {
        const TrackFlagInfo &f = flag_info(s.flag);
        out << QVariantMap{{QStringLiteral("flag"), QString::fromLatin1(f.name.data(), static_cast<qsizetype>(f.name.size()))},
                           {QStringLiteral("label"), QString::fromLatin1(f.label.data(), static_cast<qsizetype>(f.label.size()))},
                           {QStringLiteral("reason"), s.reason},
                           {QStringLiteral("preview"), preview(s.plan)}};
    }
    return out;
}

int SeasonRules::accept_flag_suggestion(const QString &flag) {
    const auto which = flag_named(flag);
    if (!which) {
        b_.report(QStringLiteral("\u201C%1\u201D is not a track flag. Nothing was changed.").arg(flag), true);
        return 0;
    }
    for (const season::Suggestion &s : season::flag_suggestions(b_.documents()))
        if (s.flag == *which)
            return apply(s.plan, QStringLiteral("Set the %1 flag").arg(flag));
    b_.report(QStringLiteral("No track's name suggests the %1 flag. Nothing was changed.").arg(flag), true);
    return 0;
}

QVariantMap SeasonRules::season_overview() const {
    const season::Overview o = season::overview(b_.documents());
    QVariantList rows;
    for (std::size_t i = 0; i < o.rows.size(); ++i) {
        QVariantList cells;
        bool odd = false;
        for (const season::Cell &c : o.rows[i]) {
            cells << QVariantMap{{QStringLiteral("text"), c.present ? c.text : QStringLiteral("\u2014")},
                                 {QStringLiteral("present"), c.present},
                                 {QStringLiteral("odd"), c.odd}};
            odd |= c.odd;
        }
        rows << QVariantMap{{QStringLiteral("file"), b_.documents()[i]->name()}, {QStringLiteral("odd"), odd}, {QStringLiteral("cells"), cells}};
    }
    return {{QStringLiteral("columns"), QStringList(o.columns.begin(), o.columns.end())}, {QStringLiteral("rows"), rows}};
}

QVariantList SeasonRules::season_languages(const QString &type) const {
    const auto t = type_named(type);
    QStringList seen;
    QVariantList out;
    for (const auto &doc : b_.documents())
        for (std::size_t i = 0; t && i < doc->tracks().size(); ++i) {
            const QString &language = doc->state().tracks[i].language;
            if (doc->tracks()[i].track_type.value != *t ||
                std::ranges::any_of(seen, [&](const QString &s) { return languages::same(s, language); }))
                continue;
            seen << language;
            const QString name = languages::describe(language);
            out << QVariantMap{{QStringLiteral("tag"), language},
                               {QStringLiteral("label"), name.isEmpty() ? language : name + QStringLiteral(" \u2014 ") + language}};
        }
    return out;
}

QVariantMap SeasonRules::preview_chapter_names_to_all() const {
    return preview(b_.active_index() ? season::chapter_names_to_all(b_.documents(), *b_.active_index()) : refused(QStringLiteral("No file is open.")));
}

int SeasonRules::apply_chapter_names_to_all() {
    return apply(b_.active_index() ? season::chapter_names_to_all(b_.documents(), *b_.active_index()) : refused(QStringLiteral("No file is open.")),
                 QStringLiteral("Chapter names to all files"));
}


} // namespace perlane
