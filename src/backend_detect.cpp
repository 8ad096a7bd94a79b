// Finding every episode's opening and ending by its sound, and marking them as chapters.
#include "backend.h"

#include "chapter_edits.h"

#include <cmath>

namespace perlane {

namespace {

// The finder's own error is within 0.6 s on the test seasons: only a boundary closer than
// that is taken as the same one; a chapter named for the song may be a little further.
constexpr std::uint64_t snap_ns = 500'000'000, named_snap_ns = 1'500'000'000;

std::uint64_t to_ns(double seconds) { return static_cast<std::uint64_t>(std::llround(std::max(0.0, seconds) * 1e9)); }

QString span_text(const std::optional<std::pair<std::uint64_t, std::uint64_t>> &span) {
    if (!span)
        return {};
    return Time{span->first / ns_per_ms}.to_string() + QStringLiteral(" \u2013 ") + Time{span->second / ns_per_ms}.to_string();
}

QString quoted(const QStringList &names) {
    QStringList q;
    for (const QString &n : names)
        q << QStringLiteral("\u201C%1\u201D").arg(n);
    return q.join(QStringLiteral(", "));
}

// Marks the suggested parts on `editions`; what could not be marked, and why. `said`
// gets what marking does to the chapters around the songs.
QStringList mark(Editions &editions, const std::optional<std::pair<std::uint64_t, std::uint64_t>> &opening,
                 const std::optional<std::pair<std::uint64_t, std::uint64_t>> &ending, std::optional<std::uint64_t> end,
                 QStringList *said = nullptr, std::size_t *absorbed = nullptr) {
    QStringList failed;
    for (const auto &[part, role] : {std::pair{&opening, "opening"}, {&ending, "ending"}}) {
        if (!*part)
            continue;
        MarkEffect effect;
        if (auto done = add_marked_chapter(editions, 0, (*part)->first, (*part)->second, *role_named(QLatin1StringView(role)), end,
                                           &effect);
            !done) {
            failed << QLatin1StringView(role) + QStringLiteral(": ") + done.error();
            continue;
        }
        if (absorbed)
            *absorbed += static_cast<std::size_t>(effect.absorbed.size());
        if (said && !effect.absorbed.isEmpty())
            *said << QStringLiteral("the %1 takes in %2").arg(QLatin1StringView(role), quoted(effect.absorbed));
        if (said && !effect.moved.isEmpty())
            *said << QStringLiteral("%1 starts after the %2").arg(quoted({effect.moved}), QLatin1StringView(role));
    }
    return failed;
}

} // namespace

void Backend::detect_openings() {
    std::vector<EpisodeInput> inputs;
    detecting_.clear();
    for (const auto &doc : docs_) {
        inputs.push_back(episode_input(*doc));
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
        EpisodeSuggestion s{doc, doc->name(), findings[i], {}, {}, {}, false};
        const auto rows = chapter_rows(doc->state().editions, doc->segment_end());
        auto snapped = [&](const FoundPart &p, SongKind kind) {
            return std::pair{snap_to_chapters(to_ns(p.from), rows, kind, snap_ns, named_snap_ns),
                             snap_to_chapters(to_ns(p.to), rows, kind, snap_ns, named_snap_ns)};
        };
        if (findings[i].opening)
            s.opening = snapped(*findings[i].opening, SongKind::Opening);
        if (findings[i].ending)
            s.ending = snapped(*findings[i].ending, SongKind::Ending);
        // What accepting would do to this file's chapters.
        Editions trial = doc->state().editions;
        QStringList said;
        std::size_t absorbed = 0;
        const QStringList failed = mark(trial, s.opening, s.ending, doc->segment_end(), &said, &absorbed);
        // Chapters taken into a song are gone from the count: what remains are the splits.
        const std::size_t before = rows.size(), after = chapter_rows(trial, doc->segment_end()).size() + absorbed;
        if (!s.opening && !s.ending)
            s.change = QStringLiteral("nothing");
        else if (before == 0)
            s.change = QStringLiteral("adds chapters (the file has none)");
        else if (after == before)
            s.change = QStringLiteral("renames and sets skip types");
        else
            s.change = after - before == 1 ? QStringLiteral("one split") : QStringLiteral("%1 splits").arg(after - before);
        if (!said.isEmpty())
            s.change += QStringLiteral("; ") + said.join(QStringLiteral("; "));
        for (const QString &f : failed)
            s.found.notes << QStringLiteral("cannot mark the ") + f;
        const bool doubtful = (s.found.opening && !s.found.opening->doubts.isEmpty()) ||
                              (s.found.ending && !s.found.ending->doubts.isEmpty());
        s.accepted = (s.opening || s.ending) && failed.isEmpty() && !doubtful;
        suggestions_.push_back(std::move(s));
    }
    Q_EMIT suggestions_changed();
    Q_EMIT detection_finished();
}

QVariantList Backend::suggestions() const {
    QVariantList out;
    for (const EpisodeSuggestion &s : suggestions_) {
        auto percent = [](const std::optional<FoundPart> &p) { return p ? static_cast<int>(std::lround(p->confidence * 100)) : 0; };
        QStringList doubts;
        for (const auto &[part, what] : {std::pair{&s.found.opening, "opening"}, {&s.found.ending, "ending"}})
            if (*part)
                for (const QString &d : (*part)->doubts)
                    doubts << QStringLiteral("%1: %2").arg(QLatin1StringView(what), d);
        out << QVariantMap{{QStringLiteral("file"), s.file},
                           {QStringLiteral("opening"), span_text(s.opening)},
                           {QStringLiteral("opening_confidence"), percent(s.found.opening)},
                           {QStringLiteral("opening_votes"), s.found.opening ? static_cast<int>(s.found.opening->votes) : 0},
                           {QStringLiteral("ending"), span_text(s.ending)},
                           {QStringLiteral("ending_confidence"), percent(s.found.ending)},
                           {QStringLiteral("ending_votes"), s.found.ending ? static_cast<int>(s.found.ending->votes) : 0},
                           {QStringLiteral("change"), s.change},
                           {QStringLiteral("notes"), s.found.notes.join(QStringLiteral("; "))},
                           {QStringLiteral("doubt"), doubts.join(QStringLiteral("; "))},
                           {QStringLiteral("accepted"), s.accepted}};
    }
    return out;
}

void Backend::set_suggestion_accepted(int index, bool accepted) {
    if (index < 0 || static_cast<std::size_t>(index) >= suggestions_.size())
        return;
    EpisodeSuggestion &s = suggestions_[static_cast<std::size_t>(index)];
    accepted = accepted && (s.opening || s.ending);
    if (s.accepted == accepted)
        return;
    s.accepted = accepted;
    Q_EMIT suggestions_changed();
}

int Backend::accept_suggestions() {
    int changed = 0;
    QStringList failures;
    const std::uint64_t group = ++next_group_;
    for (const EpisodeSuggestion &s : suggestions_) {
        const auto doc = s.doc.lock();
        if (!doc || (!s.opening && !s.ending) || !s.accepted)
            continue;
        QStringList failed;
        changed += doc->edit([&](DocumentState &state) {
            failed = mark(state.editions, s.opening, s.ending, doc->segment_end());
            return true;
        }, group);
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
