// The chapter edits QML asks for. A chapter is named by its edition and its row in the
// chapter list; times come in milliseconds.
#include "backend.h"

#include "chapter_edits.h"

#include <QRegularExpression>

namespace perlane {

std::optional<ChapterRow> Backend::chapter_at(quint64 edition, quint64 chapter) const {
    const Document *doc = active_document();
    if (!doc)
        return std::nullopt;
    const auto rows = chapter_rows(doc->state().editions, doc->segment_end());
    if (chapter >= rows.size() || rows[chapter].edition != edition)
        return std::nullopt; // the row would no longer show what would be saved
    return rows[chapter];
}

bool Backend::edit_chapters(const std::function<EditOutcome(Editions &, std::optional<std::uint64_t>)> &op) {
    const Document *doc = active_document();
    if (!doc) {
        report(QStringLiteral("No file is open."), true);
        return false;
    }
    const auto end = doc->segment_end();
    QString why;
    const bool done = edit_active([&](DocumentState &s) {
        auto outcome = op(s.editions, end);
        if (!outcome)
            why = outcome.error();
        return outcome.has_value();
    });
    if (!why.isEmpty())
        report(why + QStringLiteral(" Nothing was changed."), true);
    return done;
}

// Edits the chapter at row `chapter` of `edition`, or says there is none.
bool Backend::edit_chapter(quint64 edition, quint64 chapter,
                           const std::function<EditOutcome(Editions &, const ChapterRow &, std::optional<std::uint64_t>)> &op) {
    const auto row = chapter_at(edition, chapter);
    if (!row) {
        report(QStringLiteral("There is no chapter %1 in edition %2. Nothing was changed.").arg(chapter + 1).arg(edition + 1), true);
        return false;
    }
    return edit_chapters([&](Editions &e, std::optional<std::uint64_t> end) { return op(e, *row, end); });
}

static std::optional<std::uint64_t> ns_from_ms(qint64 ms) {
    if (ms < 0 || static_cast<std::uint64_t>(ms) > std::numeric_limits<std::uint64_t>::max() / ns_per_ms)
        return std::nullopt;
    return static_cast<std::uint64_t>(ms) * ns_per_ms;
}

bool Backend::refuse_time(qint64 ms) {
    if (ns_from_ms(ms))
        return false;
    report(QStringLiteral("%1 ms is not a time in a file. Nothing was changed.").arg(ms), true);
    return true;
}

void Backend::set_chapter_name(quint64 edition, quint64 chapter, const QString &name) {
    if (refuse_control(name))
        return;
    if (const auto row = chapter_at(edition, chapter))
        edit_active([&](DocumentState &s) { return rename_chapter(s.editions, row->edition, row->atom, name); });
}

void Backend::split(quint64 edition, quint64 chapter, SplitAt where) {
    if (const auto row = chapter_at(edition, chapter))
        edit_chapters([&](Editions &e, std::optional<std::uint64_t> end) -> EditOutcome {
            if (!split_chapter(e, row->edition, row->atom, where, end))
                return std::unexpected(QString()); // 90 s or shorter: nothing to split off, quietly
            return {};
        });
}

void Backend::insert_chapter_start(quint64 edition, quint64 chapter) { split(edition, chapter, SplitAt::Start); }

void Backend::insert_chapter_end(quint64 edition, quint64 chapter) { split(edition, chapter, SplitAt::End); }

bool Backend::split_chapter_at(quint64 edition, quint64 chapter, qint64 ms) {
    if (refuse_time(ms))
        return false;
    return edit_chapter(edition, chapter, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t> end) {
        return perlane::split_chapter_at(e, r.edition, r.atom, *ns_from_ms(ms), end);
    });
}

bool Backend::add_chapter(quint64 edition, qint64 ms, const QString &name) {
    if (refuse_time(ms) || refuse_control(name))
        return false;
    return edit_chapters([&](Editions &e, std::optional<std::uint64_t> end) {
        return perlane::add_chapter(e, static_cast<std::size_t>(edition), *ns_from_ms(ms), name, end);
    });
}

bool Backend::delete_chapter(quint64 edition, quint64 chapter) {
    return edit_chapter(edition, chapter, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t> end) {
        return perlane::delete_chapter(e, r.edition, r.atom, end);
    });
}

bool Backend::set_chapter_start(quint64 edition, quint64 chapter, qint64 ms) {
    if (refuse_time(ms))
        return false;
    return edit_chapter(edition, chapter, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t> end) {
        return perlane::set_chapter_start(e, r.edition, r.atom, *ns_from_ms(ms), end);
    });
}

bool Backend::set_chapter_skip_type(quint64 edition, quint64 chapter, int type) {
    return edit_chapter(edition, chapter, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t>) {
        return set_skip_type(e, r.edition, r.atom, type);
    });
}

bool Backend::mark_chapter(quint64 edition, quint64 chapter, const QString &role) {
    const ChapterRole *which = role_named(role);
    if (!which) {
        report(QStringLiteral("\u201C%1\u201D is not a chapter role: use opening, ending, recap or preview. Nothing was changed.").arg(role), true);
        return false;
    }
    return edit_chapter(edition, chapter, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t>) {
        return perlane::mark_chapter(e, r.edition, r.atom, *which);
    });
}

bool Backend::add_marked_chapter(quint64 edition, qint64 from_ms, qint64 to_ms, const QString &role) {
    const ChapterRole *which = role_named(role);
    if (!which) {
        report(QStringLiteral("\u201C%1\u201D is not a chapter role: use opening, ending, recap or preview. Nothing was changed.").arg(role), true);
        return false;
    }
    if (refuse_time(from_ms) || (to_ms >= 0 && refuse_time(to_ms)))
        return false;
    const auto to = to_ms >= 0 ? ns_from_ms(to_ms) : std::nullopt;
    return edit_chapters([&](Editions &e, std::optional<std::uint64_t> end) {
        return perlane::add_marked_chapter(e, static_cast<std::size_t>(edition), *ns_from_ms(from_ms), to, *which, end);
    });
}

QVariantMap Backend::parse_time(const QString &text) const {
    // "1:00.000" or a span "1:00.000-2:28.000" (a dash or an en dash between).
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("\\s*[-\u2013]\\s*")));
    if (parts.size() > 2)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), QStringLiteral("Give one time, or two joined by a dash.")}};
    QVariantList times;
    for (const QString &p : parts) {
        const auto t = Time::parse(p);
        if (!t)
            return {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), t.error()}};
        times << static_cast<qint64>(t->ms);
    }
    return {{QStringLiteral("ok"), true},
            {QStringLiteral("ms"), times.front()},
            {QStringLiteral("to"), times.size() > 1 ? times.back() : QVariant(qint64(-1))}};
}

QVariantMap Backend::check_chapter_start(quint64 edition, quint64 chapter, const QString &text) const {
    const auto t = Time::parse(text);
    if (!t)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), t.error()}};
    const Document *doc = active_document();
    const auto row = chapter_at(edition, chapter);
    if (!doc || !row)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), QStringLiteral("There is no such chapter.")}};
    // The move itself decides, on a copy: one rule for the field and the edit.
    Editions copy = doc->state().editions;
    if (const auto moved = perlane::set_chapter_start(copy, row->edition, row->atom, t->ms * ns_per_ms, doc->segment_end()); !moved)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), moved.error()}};
    return {{QStringLiteral("ok"), true}, {QStringLiteral("ms"), static_cast<qint64>(t->ms)}};
}

} // namespace perlane
