#include "chapter_edits.h"

#include <algorithm>
#include <limits>
#include <random>
#include <set>

namespace perlane {

namespace {

void collect_uids(const reader::ChapterAtom &atom, std::set<std::uint64_t> &uids) {
    uids.insert(atom.chapter_uid.value);
    for (const auto &inner : atom.chapter_atom)
        collect_uids(inner, uids);
}

std::uint64_t random_uid() {
    std::random_device device;
    std::mt19937_64 generator((static_cast<std::uint64_t>(device()) << 32) ^ device());
    std::uint64_t v = 0;
    while (v == 0)
        v = generator();
    return v;
}

// A UID no atom of the file uses, nested ones included: 90000 below the original when
// that is free (readable in a list of UIDs), else above the largest, else the first gap;
// a random one in a file without chapters.
std::uint64_t fresh_uid(const Editions &editions, std::uint64_t old) {
    std::set<std::uint64_t> used;
    for (const auto &e : editions)
        for (const auto &atom : e.chapter_atom)
            collect_uids(atom, used);
    if (used.empty())
        return random_uid();
    if (old > 90000 && !used.contains(old - 90000))
        return old - 90000;
    const std::uint64_t top = *used.rbegin();
    if (top < std::numeric_limits<std::uint64_t>::max())
        return top + 1;
    std::uint64_t v = 1;
    while (used.contains(v))
        ++v;
    return v;
}

bool shown(const Editions &editions, std::size_t edition, std::size_t atom) {
    return edition < editions.size() && atom < editions[edition].chapter_atom.size() &&
           !editions[edition].chapter_atom[atom].chapter_display.empty();
}

// The position of atom `atom` among the rows.
std::size_t row_index(const std::vector<ChapterRow> &rows, std::size_t atom) {
    return static_cast<std::size_t>(std::ranges::find(rows, atom, &ChapterRow::atom) - rows.begin());
}

QString at(std::uint64_t ns) { return Time{ns / ns_per_ms}.to_string(); }

reader::ChapterTimeEnd time_end(std::uint64_t ns) {
    reader::ChapterTimeEnd e;
    e.value = ns;
    return e;
}

void set_name(reader::ChapterAtom &atom, const QString &name) {
    for (auto &d : atom.chapter_display)
        d.chap_string.value = name.toStdString();
}

reader::ChapterAtom new_atom(std::uint64_t uid, std::uint64_t start, const QString &name) {
    reader::ChapterAtom a;
    a.chapter_uid.value = uid;
    a.chapter_time_start.value = start;
    reader::ChapterDisplay d;
    d.chap_string.value = name.toStdString();
    a.chapter_display.push_back(std::move(d));
    return a;
}

std::unexpected<QString> no_chapter() { return std::unexpected(QStringLiteral("There is no such chapter.")); }

} // namespace

bool rename_chapter(Editions &editions, std::size_t edition, std::size_t atom, const QString &name) {
    if (!shown(editions, edition, atom))
        return false;
    editions[edition].chapter_atom[atom].chapter_display.front().chap_string.value = name.toStdString();
    return true;
}

namespace {

// A new chapter cut from `k`: its copy under a UID of its own, without the string UID (those
// must stay unique too) and without the nested chapters, which stay with the original.
reader::ChapterAtom piece_of(const Editions &editions, const reader::ChapterAtom &k) {
    reader::ChapterAtom piece = k;
    piece.chapter_uid.value = fresh_uid(editions, k.chapter_uid.value);
    piece.chapter_string_uid.reset();
    piece.chapter_atom.clear();
    return piece;
}

} // namespace

EditOutcome split_chapter_at(Editions &editions, std::size_t edition, std::size_t atom, std::uint64_t ns,
                             std::optional<std::uint64_t> segment_end, const QString *name) {
    if (!shown(editions, edition, atom))
        return no_chapter();
    const auto rows = edition_rows(editions, edition, segment_end);
    const ChapterRow &row = rows[row_index(rows, atom)];
    if (ns <= row.start || ns >= row.end)
        return std::unexpected(QStringLiteral("%1 is not inside the chapter (%2 to %3): a split there would leave an empty piece.")
                                   .arg(at(ns), at(row.start), at(row.end)));
    auto &atoms = editions[edition].chapter_atom;
    reader::ChapterAtom &k = atoms[atom];
    reader::ChapterAtom piece = piece_of(editions, k);
    piece.chapter_time_start.value = ns;
    if (name)
        set_name(piece, *name);
    // Without an end of its own, each piece ends where the next one starts, as before.
    if (k.chapter_time_end)
        k.chapter_time_end = time_end(ns);
    atoms.insert(atoms.begin() + static_cast<std::ptrdiff_t>(atom + 1), std::move(piece));
    return {};
}

namespace {

// `wanted`, or with " 2", " 3"… when a chapter of the edition has that name already.
QString distinct_name(const Editions &editions, std::size_t edition, const QString &wanted) {
    const auto rows = edition_rows(editions, edition, std::nullopt);
    const auto taken = [&](const QString &name) { return std::ranges::any_of(rows, [&](const ChapterRow &r) { return r.name == name; }); };
    QString name = wanted;
    for (int n = 2; taken(name); ++n)
        name = wanted + QStringLiteral(" %1").arg(n);
    return name;
}

// A new chapter named `name` takes the part of chapter `atom` before `ns`; the chapter
// itself starts at `ns` and keeps its UID, string UID, nested chapters and name, so that
// whatever refers to it (tags, ordered editions) still finds it.
void split_off_head(Editions &editions, std::size_t edition, std::size_t atom, std::uint64_t ns, const QString &name) {
    auto &atoms = editions[edition].chapter_atom;
    reader::ChapterAtom &k = atoms[atom];
    reader::ChapterAtom head = piece_of(editions, k);
    if (k.chapter_time_end)
        head.chapter_time_end = time_end(ns); // else it ends where the chapter now starts
    set_name(head, name);
    k.chapter_time_start.value = ns;
    atoms.insert(atoms.begin() + static_cast<std::ptrdiff_t>(atom), std::move(head));
}

} // namespace

bool split_chapter(Editions &editions, std::size_t edition, std::size_t atom, SplitAt where,
                   std::optional<std::uint64_t> segment_end) {
    if (!shown(editions, edition, atom))
        return false;
    const auto rows = edition_rows(editions, edition, segment_end);
    const ChapterRow &row = rows[row_index(rows, atom)];
    if (row.end - row.start <= split_ns)
        return false; // a split would leave nothing, or less than nothing, of the chapter
    // The 90 s piece is the new chapter, named for what it is; the rest stays the chapter it was.
    const QString base = row.name.isEmpty() ? QStringLiteral("Chapter %1").arg(row_index(rows, atom) + 1) : row.name;
    const QString name = distinct_name(editions, edition, base + (where == SplitAt::Start ? QStringLiteral(" (first 90 s)")
                                                                                          : QStringLiteral(" (last 90 s)")));
    if (where == SplitAt::Start) {
        split_off_head(editions, edition, atom, row.start + split_ns, name);
        return true;
    }
    return split_chapter_at(editions, edition, atom, row.end - split_ns, segment_end, &name).has_value();
}

EditOutcome add_chapter(Editions &editions, std::size_t edition, std::uint64_t ns, const QString &name,
                        std::optional<std::uint64_t> segment_end) {
    if (segment_end && ns >= *segment_end)
        return std::unexpected(QStringLiteral("%1 is not before the end of the file (%2).").arg(at(ns), at(*segment_end)));
    const bool empty_edition = edition < editions.size() && editions[edition].chapter_atom.empty();
    if (editions.empty() || empty_edition) {
        // A first chapter: the part before it becomes "Chapter 1" (none when it starts at 0).
        reader::EditionEntry fresh;
        reader::EditionEntry &e = empty_edition ? editions[edition] : fresh;
        if (!empty_edition) {
            e.edition_uid.emplace();
            e.edition_uid->value = random_uid();
        }
        const std::uint64_t first = random_uid();
        if (ns > 0)
            e.chapter_atom.push_back(new_atom(first, 0, QStringLiteral("Chapter 1")));
        e.chapter_atom.push_back(new_atom(ns > 0 && first < std::numeric_limits<std::uint64_t>::max() ? first + 1 : first, ns, name));
        if (!empty_edition)
            editions.push_back(std::move(fresh));
        return {};
    }
    if (edition >= editions.size())
        return std::unexpected(QStringLiteral("There is no edition %1.").arg(edition + 1));
    const auto rows = edition_rows(editions, edition, segment_end);
    for (const ChapterRow &r : rows) {
        if (r.start == ns)
            return std::unexpected(QStringLiteral("A chapter starts at %1 already.").arg(at(ns)));
        if (r.start < ns && ns < r.end)
            return split_chapter_at(editions, edition, r.atom, ns, segment_end, &name);
    }
    // Before the first chapter, in a gap, or after the last: up to whatever comes next.
    auto &atoms = editions[edition].chapter_atom;
    std::size_t position = atoms.size();
    for (const ChapterRow &r : rows)
        if (r.start > ns) {
            position = r.atom;
            break;
        }
    atoms.insert(atoms.begin() + static_cast<std::ptrdiff_t>(position), new_atom(fresh_uid(editions, 0), ns, name));
    return {};
}

EditOutcome delete_chapter(Editions &editions, std::size_t edition, std::size_t atom,
                           std::optional<std::uint64_t> segment_end) {
    if (!shown(editions, edition, atom))
        return no_chapter();
    const auto rows = edition_rows(editions, edition, segment_end);
    if (rows.size() < 2)
        return std::unexpected(QStringLiteral("This is the only chapter of its edition: there is nothing to merge it into."));
    const std::size_t i = row_index(rows, atom);
    auto &atoms = editions[edition].chapter_atom;
    reader::ChapterAtom &gone = atoms[atom];
    reader::ChapterAtom &into = atoms[rows[i > 0 ? i - 1 : 1].atom];
    if (i > 0) {
        if (into.chapter_time_end || gone.chapter_time_end)
            into.chapter_time_end = time_end(rows[i].end);
    } else {
        into.chapter_time_start.value = rows[0].start;
    }
    into.chapter_atom.insert(into.chapter_atom.end(), gone.chapter_atom.begin(), gone.chapter_atom.end());
    atoms.erase(atoms.begin() + static_cast<std::ptrdiff_t>(atom));
    return {};
}

EditOutcome set_chapter_start(Editions &editions, std::size_t edition, std::size_t atom, std::uint64_t ns,
                              std::optional<std::uint64_t> segment_end) {
    if (!shown(editions, edition, atom))
        return no_chapter();
    const auto rows = edition_rows(editions, edition, segment_end);
    const std::size_t i = row_index(rows, atom);
    const ChapterRow &row = rows[i];
    if ((i > 0 && ns <= rows[i - 1].start) || ns >= row.end)
        return std::unexpected(
            i > 0 ? QStringLiteral("The start must lie after the previous chapter's start (%1) and before this chapter's end (%2).")
                        .arg(at(rows[i - 1].start), at(row.end))
                  : QStringLiteral("The start must lie before this chapter's end (%1).").arg(at(row.end)));
    auto &atoms = editions[edition].chapter_atom;
    if (i > 0) {
        reader::ChapterAtom &previous = atoms[rows[i - 1].atom];
        if (previous.chapter_time_end && previous.chapter_time_end->value == row.start)
            previous.chapter_time_end = time_end(ns);
    }
    atoms[atom].chapter_time_start.value = ns;
    return {};
}

EditOutcome set_skip_type(Editions &editions, std::size_t edition, std::size_t atom, int type) {
    if (!shown(editions, edition, atom))
        return no_chapter();
    if (type < -1 || type >= skip_type_count)
        return std::unexpected(QStringLiteral("Skip type %1 is not one of 0 to 6 (or -1 for none).").arg(type));
    auto &skip = editions[edition].chapter_atom[atom].chapter_skip_type;
    if (type < 0) {
        skip.reset();
    } else {
        skip.emplace();
        skip->value = static_cast<std::uint64_t>(type);
    }
    return {};
}

QString skip_type_name(std::optional<std::uint64_t> type) {
    if (!type)
        return QStringLiteral("none");
    return *type < std::size(skip_type_labels) ? QString::fromLatin1(skip_type_labels[*type]).toLower()
                                               : QString::number(*type);
}

const ChapterRole *role_named(const QString &role) {
    for (const ChapterRole &r : chapter_roles)
        if (role == QLatin1StringView(r.role))
            return &r;
    return nullptr;
}

EditOutcome mark_chapter(Editions &editions, std::size_t edition, std::size_t atom, const ChapterRole &role) {
    if (!rename_chapter(editions, edition, atom, QString::fromLatin1(role.name)))
        return no_chapter();
    return set_skip_type(editions, edition, atom, role.skip_type);
}

EditOutcome add_marked_chapter(Editions &editions, std::size_t edition, std::uint64_t from,
                               std::optional<std::uint64_t> to, const ChapterRole &role,
                               std::optional<std::uint64_t> segment_end, MarkEffect *effect) {
    std::uint64_t until = to.value_or(from + split_ns);
    if (until <= from)
        return std::unexpected(QStringLiteral("The end (%1) must come after the start (%2).").arg(at(until), at(from)));
    if (segment_end && until > *segment_end && from < *segment_end)
        until = *segment_end; // a span found up to the very end may overrun it by a rounding
    Editions work = editions;
    std::size_t e = work.empty() ? 0 : edition;
    // The chapter that holds `from` keeps its UID and name on the part it starts: the marked
    // chapter is new, and so is a rest after it, named as the chapter it continues.
    QString held;
    bool starts_there = false;
    for (const ChapterRow &r : edition_rows(work, e, segment_end)) {
        if (r.start == from)
            starts_there = true;
        if (r.start <= from && from < r.end)
            held = r.name;
    }
    if (!starts_there)
        if (auto added = add_chapter(work, e, from, QString::fromLatin1(role.name), segment_end); !added)
            return added;
    const auto rows = edition_rows(work, e, segment_end);
    const std::size_t i = static_cast<std::size_t>(std::ranges::find(rows, from, &ChapterRow::start) - rows.begin());
    std::size_t j = i; // the last chapter starting inside the span
    while (j + 1 < rows.size() && rows[j + 1].start < until)
        ++j;
    const auto label = [&](std::size_t k) { return rows[k].name.isEmpty() ? QStringLiteral("Chapter %1").arg(k + 1) : rows[k].name; };
    auto &atoms = work[e].chapter_atom;
    std::size_t marked = rows[i].atom; // stays right through the splits below: each inserts after it or at it
    if (j > i) {
        // Whatever starts inside the span becomes part of it; the chapter the span ends in
        // keeps (with its UID and name) the part after the span.
        const bool last_runs_on = rows[j].end > until;
        std::vector<std::size_t> gone;
        for (std::size_t k = i + 1; k <= j - (last_runs_on ? 1 : 0); ++k) {
            auto &nested = atoms[rows[i].atom].chapter_atom;
            nested.insert(nested.end(), atoms[rows[k].atom].chapter_atom.begin(), atoms[rows[k].atom].chapter_atom.end());
            gone.push_back(rows[k].atom);
            if (effect)
                effect->absorbed << label(k);
        }
        if (last_runs_on) {
            atoms[rows[j].atom].chapter_time_start.value = until;
            if (effect)
                effect->moved = label(j);
        }
        std::ranges::sort(gone, std::greater<>());
        for (std::size_t atom : gone) {
            atoms.erase(atoms.begin() + static_cast<std::ptrdiff_t>(atom));
            if (atom < marked)
                --marked;
        }
    } else if (rows[i].end > until && starts_there) {
        // The marked head takes the chapter's place in the list: rows[i].atom now names it.
        split_off_head(work, e, rows[i].atom, until, QString::fromLatin1(role.name));
    } else if (rows[i].end > until) {
        const QString rest = held.isEmpty() ? QStringLiteral("Chapter %1").arg(i + 2)
                                            : distinct_name(work, e, held + QStringLiteral(" (continued)"));
        if (auto cut = split_chapter_at(work, e, rows[i].atom, until, segment_end, &rest); !cut)
            return cut;
    }
    if (atoms[marked].chapter_time_end && j > i)
        atoms[marked].chapter_time_end = time_end(until);
    if (auto done = mark_chapter(work, e, marked, role); !done)
        return done;
    editions = std::move(work);
    return {};
}

} // namespace perlane
