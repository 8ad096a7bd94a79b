// Finding every episode's opening and ending by its sound, and marking them as chapters.
#include "backend.h"

#include "chapter_edits.h"

#include <cmath>

namespace perlane {

namespace {

// Which audio stream ffmpeg is to read: the default audio track, else the first.
std::optional<std::size_t> audio_stream(const Document &doc) {
    std::optional<std::size_t> first, chosen;
    std::size_t n = 0;
    for (const reader::TrackEntry &t : doc.tracks()) {
        if (t.track_type.value != season::audio_type)
            continue;
        if (!first)
            first = n;
        if (!chosen && t.flag_default.value)
            chosen = n;
        ++n;
    }
    return chosen ? chosen : first;
}

constexpr std::uint64_t snap_ns = 1'500'000'000;

std::uint64_t to_ns(double seconds) { return static_cast<std::uint64_t>(std::llround(std::max(0.0, seconds) * 1e9)); }

QString span_text(const std::optional<std::pair<std::uint64_t, std::uint64_t>> &span) {
    if (!span)
        return {};
    return Time{span->first / ns_per_ms}.to_string() + QStringLiteral(" \u2013 ") + Time{span->second / ns_per_ms}.to_string();
}

// Marks the suggested parts on `editions`; what could not be marked, and why.
QStringList mark(Editions &editions, const std::optional<std::pair<std::uint64_t, std::uint64_t>> &opening,
                 const std::optional<std::pair<std::uint64_t, std::uint64_t>> &ending, std::optional<std::uint64_t> end) {
    QStringList failed;
    if (opening)
        if (auto done = add_marked_chapter(editions, 0, opening->first, opening->second, *role_named(QStringLiteral("opening")), end); !done)
            failed << QStringLiteral("opening: ") + done.error();
    if (ending)
        if (auto done = add_marked_chapter(editions, 0, ending->first, ending->second, *role_named(QStringLiteral("ending")), end); !done)
            failed << QStringLiteral("ending: ") + done.error();
    return failed;
}

} // namespace

void Backend::detect_openings() {
    std::vector<EpisodeInput> inputs;
    detecting_.clear();
    for (const auto &doc : docs_) {
        const auto end = doc->segment_end();
        inputs.push_back({doc->path(), doc->name(), audio_stream(*doc),
                          end ? std::optional(static_cast<double>(*end) / 1e9) : std::nullopt});
        detecting_.push_back(doc);
    }
    if (!suggestions_.empty()) {
        suggestions_.clear();
        Q_EMIT suggestions_changed();
    }
    finder_.start(std::move(inputs));
}

void Backend::cancel_detection() { finder_.cancel(); }

void Backend::detection_done(const std::vector<EpisodeFindings> &findings) {
    suggestions_.clear();
    for (std::size_t i = 0; i < findings.size() && i < detecting_.size(); ++i) {
        const auto doc = detecting_[i].lock();
        if (!doc)
            continue; // removed from the list meanwhile
        EpisodeSuggestion s{doc, doc->name(), findings[i], {}, {}, {}};
        const auto rows = chapter_rows(doc->state().editions, doc->segment_end());
        auto snapped = [&](const FoundPart &p) {
            return std::pair{snap_to_chapters(to_ns(p.from), rows, snap_ns), snap_to_chapters(to_ns(p.to), rows, snap_ns)};
        };
        if (findings[i].opening)
            s.opening = snapped(*findings[i].opening);
        if (findings[i].ending)
            s.ending = snapped(*findings[i].ending);
        // What accepting would do to this file's chapters.
        Editions trial = doc->state().editions;
        const QStringList failed = mark(trial, s.opening, s.ending, doc->segment_end());
        const std::size_t before = rows.size(), after = chapter_rows(trial, doc->segment_end()).size();
        if (!s.opening && !s.ending)
            s.change = QStringLiteral("nothing");
        else if (before == 0)
            s.change = QStringLiteral("adds chapters (the file has none)");
        else if (after == before)
            s.change = QStringLiteral("renames and sets skip types");
        else
            s.change = after - before == 1 ? QStringLiteral("one split") : QStringLiteral("%1 splits").arg(after - before);
        for (const QString &f : failed)
            s.found.notes << QStringLiteral("cannot mark the ") + f;
        suggestions_.push_back(std::move(s));
    }
    Q_EMIT suggestions_changed();
    Q_EMIT detection_finished();
}

QVariantList Backend::suggestions() const {
    QVariantList out;
    for (const EpisodeSuggestion &s : suggestions_) {
        auto percent = [](const std::optional<FoundPart> &p) { return p ? static_cast<int>(std::lround(p->confidence * 100)) : 0; };
        out << QVariantMap{{QStringLiteral("file"), s.file},
                           {QStringLiteral("opening"), span_text(s.opening)},
                           {QStringLiteral("opening_confidence"), percent(s.found.opening)},
                           {QStringLiteral("ending"), span_text(s.ending)},
                           {QStringLiteral("ending_confidence"), percent(s.found.ending)},
                           {QStringLiteral("change"), s.change},
                           {QStringLiteral("notes"), s.found.notes.join(QStringLiteral("; "))}};
    }
    return out;
}

int Backend::accept_suggestions() {
    int changed = 0;
    QStringList failures;
    for (const EpisodeSuggestion &s : suggestions_) {
        const auto doc = s.doc.lock();
        if (!doc || (!s.opening && !s.ending))
            continue;
        QStringList failed;
        changed += doc->edit([&](DocumentState &state) {
            failed = mark(state.editions, s.opening, s.ending, doc->segment_end());
            return true;
        });
        for (const QString &f : failed)
            failures << s.file + QStringLiteral(" (") + f + QLatin1Char(')');
    }
    suggestions_.clear();
    Q_EMIT suggestions_changed();
    if (changed > 0)
        after_edit();
    QString status = QStringLiteral("Openings and endings marked in %1 (not saved yet).")
                         .arg(changed == 1 ? QStringLiteral("1 episode") : QStringLiteral("%1 episodes").arg(changed));
    if (!failures.isEmpty())
        status += QStringLiteral(" Not marked: ") + failures.join(QStringLiteral("; ")) + QLatin1Char('.');
    report(status, changed == 0);
    return changed;
}

} // namespace perlane
