#include "suggestions.h"

#include "chapter_edits.h"
#include "session.h"

#include <cmath>

namespace perlane {

namespace {

// The finder's own error is within 0.6 s on the test seasons: only a boundary closer than
// that is taken as the same one; a chapter named for the song may be a little further.
constexpr std::uint64_t snap_ns = 500'000'000, named_snap_ns = 1'500'000'000;

std::uint64_t to_ns(double seconds) { return static_cast<std::uint64_t>(std::llround(std::max(0.0, seconds) * 1e9)); }

QString quoted(const QStringList &names) {
    QStringList q;
    for (const QString &n : names)
        q << QStringLiteral("\u201C%1\u201D").arg(n);
    return q.join(QStringLiteral(", "));
}

// Marks the suggested parts on `editions`; what could not be marked, and why. `said`
// gets what marking does to the chapters around the songs.
QStringList mark(Editions &editions, const std::optional<TimeSpan> &opening, const std::optional<TimeSpan> &ending,
                 std::optional<std::uint64_t> end, QStringList *said = nullptr, std::size_t *absorbed = nullptr) {
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

bool EpisodeSuggestion::doubtful() const {
    return (found.opening && !found.opening->doubts.isEmpty()) || (found.ending && !found.ending->doubts.isEmpty());
}

EpisodeSuggestion suggest(const std::shared_ptr<Document> &doc, const EpisodeFindings &found) {
    EpisodeSuggestion s{doc, doc->name(), found, {}, {}, {}, false};
    const auto rows = chapter_rows(doc->state().editions, doc->segment_end());
    auto snapped = [&](const FoundPart &p, SongKind kind) {
        return TimeSpan{snap_to_chapters(to_ns(p.from), rows, kind, snap_ns, named_snap_ns),
                    snap_to_chapters(to_ns(p.to), rows, kind, snap_ns, named_snap_ns)};
    };
    if (found.opening)
        s.opening = snapped(*found.opening, SongKind::Opening);
    if (found.ending)
        s.ending = snapped(*found.ending, SongKind::Ending);
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
    s.accepted = (s.opening || s.ending) && failed.isEmpty() && !s.doubtful();
    return s;
}

MarkOutcome mark_suggestions(Session &session, const std::vector<EpisodeSuggestion> &suggestions) {
    MarkOutcome out;
    const std::uint64_t group = session.new_group();
    for (const EpisodeSuggestion &s : suggestions) {
        const auto doc = s.doc.lock();
        if (!doc || (!s.opening && !s.ending) || !s.accepted)
            continue;
        QStringList failed;
        out.changed += session.edit(*doc, [&](DocumentState &state) {
            failed = mark(state.editions, s.opening, s.ending, doc->segment_end());
            return true;
        }, group);
        for (const QString &f : failed)
            out.failed << s.file + QStringLiteral(" (") + f + QLatin1Char(')');
    }
    return out;
}

} // namespace perlane
