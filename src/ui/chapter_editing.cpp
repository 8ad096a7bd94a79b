// The chapter edits QML asks for. A chapter is named by its key (a view hands back the key
// of the row it showed) or, in the older calls, by its edition and its row in the chapter
// list, turned into a key on arrival; times come in milliseconds.
#include "chapter_editing.h"

#include "backend.h"
#include "chapter_edits.h"
#include "player_rules.h"

#include <QRegularExpression>

namespace perlane {

ChapterEditing::ChapterEditing(Backend &backend) : QObject(&backend), b_(backend) {}


// The key of the chapter shown at row `chapter`, when that row is in `edition`.
// The slots of the chapter list change nothing quietly when there is no such row.
std::optional<ChapterKey> ChapterEditing::chapter_key_at(quint64 edition, quint64 chapter, bool quiet) {
    const Document *doc = b_.active_document();
    if (doc) {
        const auto rows = chapter_rows(doc->state().editions, doc->segment_end());
        if (chapter < rows.size() && rows[chapter].edition == edition)
            return perlane::key_of(rows, static_cast<std::size_t>(chapter), doc->serial());
    }
    if (!quiet)
        b_.report(QStringLiteral("There is no chapter %1 in edition %2. Nothing was changed.").arg(chapter + 1).arg(edition + 1), true);
    return std::nullopt;
}

std::optional<ChapterKey> ChapterEditing::chapter_key_of(const QString &text) {
    if (auto key = chapter_key(text))
        return key;
    b_.report(QStringLiteral("\u201C%1\u201D names no chapter. Nothing was changed.").arg(text), true);
    return std::nullopt;
}

// The chapter `key` names, as the active file shows it now.
std::optional<ChapterRow> ChapterEditing::chapter_keyed(const ChapterKey &key) const {
    const Document *doc = b_.active_document();
    if (!doc || doc->serial() != key.document)
        return std::nullopt; // another file's chapter, or a file no longer open
    const auto rows = chapter_rows(doc->state().editions, doc->segment_end());
    const auto row = row_of(rows, key);
    if (!row)
        return std::nullopt;
    return rows[*row];
}

bool ChapterEditing::edit_chapters(const std::function<EditOutcome(Editions &, std::optional<std::uint64_t>)> &op) {
    const Document *doc = b_.active_document();
    if (!doc) {
        b_.report(QStringLiteral("No file is open."), true);
        return false;
    }
    const auto end = doc->segment_end();
    QString why;
    const bool done = b_.edit_active([&](DocumentState &s) {
        auto outcome = op(s.editions, end);
        if (!outcome)
            why = outcome.error();
        return outcome.has_value();
    });
    if (!why.isEmpty())
        b_.report(why + QStringLiteral(" Nothing was changed."), true);
    return done;
}

// Edits the chapter `key` names, or says it is gone.
bool ChapterEditing::edit_chapter(const std::optional<ChapterKey> &key,
                           const std::function<EditOutcome(Editions &, const ChapterRow &, std::optional<std::uint64_t>)> &op) {
    if (!key)
        return false; // said where the key was made
    const auto row = chapter_keyed(*key);
    if (!row) {
        b_.report(QStringLiteral("That chapter is no longer in the active file. Nothing was changed."), true);
        return false;
    }
    return edit_chapters([&](Editions &e, std::optional<std::uint64_t> end) { return op(e, *row, end); });
}

static std::optional<std::uint64_t> ns_from_ms(qint64 ms) {
    if (ms < 0 || static_cast<std::uint64_t>(ms) > std::numeric_limits<std::uint64_t>::max() / ns_per_ms)
        return std::nullopt;
    return static_cast<std::uint64_t>(ms) * ns_per_ms;
}

bool ChapterEditing::refuse_time(qint64 ms) {
    if (ns_from_ms(ms))
        return false;
    b_.report(QStringLiteral("%1 ms is not a time in a file. Nothing was changed.").arg(ms), true);
    return true;
}

const ChapterRole *ChapterEditing::known_role(const QString &role) {
    const ChapterRole *which = role_named(role);
    if (!which)
        b_.report(QStringLiteral("\u201C%1\u201D is not a chapter role: use opening, ending, recap or preview. Nothing was changed.").arg(role), true);
    return which;
}

void ChapterEditing::rename_at(quint64 edition, quint64 chapter, const QString &name) {
    rename(chapter_key_at(edition, chapter, true), name);
}

bool ChapterEditing::set_chapter_name_by_key(const QString &key, const QString &name) { return rename(chapter_key_of(key), name); }

bool ChapterEditing::rename(const std::optional<ChapterKey> &key, const QString &name) {
    if (b_.refuse_control(name))
        return false;
    return edit_chapter(key, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t>) -> EditOutcome {
        rename_chapter(e, r.edition, r.atom, name);
        return {};
    });
}

bool ChapterEditing::split(const std::optional<ChapterKey> &key, SplitAt where) {
    return edit_chapter(key, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t> end) -> EditOutcome {
        if (!split_chapter(e, r.edition, r.atom, where, end))
            return std::unexpected(QString()); // 90 s or shorter: nothing to split off, quietly
        return {};
    });
}

void ChapterEditing::split_at(quint64 edition, quint64 chapter, SplitAt where) { split(chapter_key_at(edition, chapter, true), where); }
bool ChapterEditing::insert_chapter_start_by_key(const QString &key) { return split(chapter_key_of(key), SplitAt::Start); }
bool ChapterEditing::insert_chapter_end_by_key(const QString &key) { return split(chapter_key_of(key), SplitAt::End); }

bool ChapterEditing::split_chapter_at(quint64 edition, quint64 chapter, qint64 ms) {
    if (refuse_time(ms))
        return false;
    return edit_chapter(chapter_key_at(edition, chapter), [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t> end) {
        return perlane::split_chapter_at(e, r.edition, r.atom, *ns_from_ms(ms), end);
    });
}

bool ChapterEditing::add_chapter(quint64 edition, qint64 ms, const QString &name) {
    if (refuse_time(ms) || b_.refuse_control(name))
        return false;
    return edit_chapters([&](Editions &e, std::optional<std::uint64_t> end) {
        return perlane::add_chapter(e, static_cast<std::size_t>(edition), *ns_from_ms(ms), name, end);
    });
}

bool ChapterEditing::delete_chapter(quint64 edition, quint64 chapter) { return remove(chapter_key_at(edition, chapter)); }
bool ChapterEditing::delete_chapter_by_key(const QString &key) { return remove(chapter_key_of(key)); }

bool ChapterEditing::remove(const std::optional<ChapterKey> &key) {
    return edit_chapter(key, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t> end) {
        return perlane::delete_chapter(e, r.edition, r.atom, end);
    });
}

bool ChapterEditing::set_chapter_start(quint64 edition, quint64 chapter, qint64 ms) { return move_start(chapter_key_at(edition, chapter), ms); }
bool ChapterEditing::set_chapter_start_by_key(const QString &key, qint64 ms) { return move_start(chapter_key_of(key), ms); }

bool ChapterEditing::move_start(const std::optional<ChapterKey> &key, qint64 ms) {
    if (refuse_time(ms))
        return false;
    return edit_chapter(key, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t> end) {
        return perlane::set_chapter_start(e, r.edition, r.atom, *ns_from_ms(ms), end);
    });
}

bool ChapterEditing::set_chapter_skip_type(quint64 edition, quint64 chapter, int type) { return skip_type(chapter_key_at(edition, chapter), type); }
bool ChapterEditing::set_chapter_skip_type_by_key(const QString &key, int type) { return skip_type(chapter_key_of(key), type); }

bool ChapterEditing::skip_type(const std::optional<ChapterKey> &key, int type) {
    return edit_chapter(key, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t>) {
        return set_skip_type(e, r.edition, r.atom, type);
    });
}

bool ChapterEditing::mark_chapter(quint64 edition, quint64 chapter, const QString &role) { return mark_role(chapter_key_at(edition, chapter), role); }
bool ChapterEditing::mark_chapter_by_key(const QString &key, const QString &role) { return mark_role(chapter_key_of(key), role); }

bool ChapterEditing::mark_role(const std::optional<ChapterKey> &key, const QString &role) {
    const ChapterRole *which = known_role(role);
    if (!which)
        return false;
    return edit_chapter(key, [&](Editions &e, const ChapterRow &r, std::optional<std::uint64_t>) {
        return perlane::mark_chapter(e, r.edition, r.atom, *which);
    });
}

bool ChapterEditing::add_marked_chapter(quint64 edition, qint64 from_ms, qint64 to_ms, const QString &role) {
    const ChapterRole *which = known_role(role);
    if (!which)
        return false;
    if (refuse_time(from_ms) || (to_ms >= 0 && refuse_time(to_ms)))
        return false;
    const auto to = to_ms >= 0 ? ns_from_ms(to_ms) : std::nullopt;
    return edit_chapters([&](Editions &e, std::optional<std::uint64_t> end) {
        return perlane::add_marked_chapter(e, static_cast<std::size_t>(edition), *ns_from_ms(from_ms), to, *which, end);
    });
}

QVariantMap ChapterEditing::parse_time(const QString &text) const {
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

QVariantMap ChapterEditing::check_chapter_start(quint64 edition, quint64 chapter, const QString &text) const {
    const Document *doc = b_.active_document();
    if (!doc)
        return check_start(std::nullopt, text);
    const auto rows = chapter_rows(doc->state().editions, doc->segment_end());
    if (chapter >= rows.size() || rows[chapter].edition != edition)
        return check_start(std::nullopt, text);
    return check_start(perlane::key_of(rows, static_cast<std::size_t>(chapter), doc->serial()), text);
}

QVariantMap ChapterEditing::check_chapter_start_by_key(const QString &key, const QString &text) const {
    return check_start(chapter_key(key), text);
}

QVariantMap ChapterEditing::check_start(const std::optional<ChapterKey> &key, const QString &text) const {
    const auto t = Time::parse(text);
    if (!t)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), t.error()}};
    const Document *doc = b_.active_document();
    const auto row = key ? chapter_keyed(*key) : std::nullopt;
    if (!doc || !row)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), QStringLiteral("There is no such chapter.")}};
    // The move itself decides, on a copy: one rule for the field and the edit.
    Editions copy = doc->state().editions;
    if (const auto moved = perlane::set_chapter_start(copy, row->edition, row->atom, t->ms * ns_per_ms, doc->segment_end()); !moved)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), moved.error()}};
    return {{QStringLiteral("ok"), true}, {QStringLiteral("ms"), static_cast<qint64>(t->ms)}};
}

QStringList ChapterEditing::skip_type_labels() const {
    QStringList out{QStringLiteral("None")};
    for (const char *label : perlane::skip_type_labels)
        out << QString::fromLatin1(label);
    return out;
}

QVariantMap ChapterEditing::role_names() const {
    QVariantMap out;
    for (const ChapterRole &r : chapter_roles)
        out.insert(QString::fromLatin1(r.role), QString::fromLatin1(r.name));
    return out;
}

} // namespace perlane
