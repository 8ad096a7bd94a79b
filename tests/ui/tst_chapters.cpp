// Chapter edits on real files: simple chapters (no ends), chapters with ends in two
// editions with nested atoms, and a file without chapters — checked on the rows and on
// the chapters XML; skip types through the real mkvpropedit, read back by the reader and
// mkvinfo; the player rules; and the season template.
#include "error_of.h"
#include "backend_setup.h"
#include "chapter_edits.h"
#include "chapters_xml.h"
#include "media_files.h"
#include "player_rules.h"
#include "row_keys.h"

#include <QProcess>

#include <cmath>

#include <set>

using namespace perlane;

namespace {

using Setup = BackendSetup;
constexpr std::uint64_t s = 1'000'000'000; // ns per second

struct Loaded {
    std::unique_ptr<Document> doc;
    Editions editions;
    std::optional<std::uint64_t> end;
    explicit Loaded(const char *name) : doc(*Document::load(media(name))), editions(doc->state().editions), end(doc->segment_end()) {}

    // "edition|name|start-end|skip" per row, times in seconds.
    QStringList rows() const {
        QStringList out;
        for (const ChapterRow &r : chapter_rows(editions, end))
            out << QStringLiteral("%1|%2|%3-%4|%5").arg(r.edition).arg(r.name).arg(r.start / s).arg(r.end / s)
                       .arg(r.skip_type ? QString::number(*r.skip_type) : QStringLiteral("-"));
        return out;
    }
    QString xml() const { return QString::fromUtf8(chapters_document(editions)); }
    // Every UID is non-zero and used once.
    bool uids_unique() const {
        std::set<std::uint64_t> seen;
        std::function<bool(const reader::ChapterAtom &)> visit = [&](const reader::ChapterAtom &a) {
            if (a.chapter_uid.value == 0 || !seen.insert(a.chapter_uid.value).second)
                return false;
            return std::ranges::all_of(a.chapter_atom, visit);
        };
        return std::ranges::all_of(editions, [&](const auto &e) { return std::ranges::all_of(e.chapter_atom, visit); });
    }
};

// A copy of full.mkv named `name` whose chapters are one edition of `atoms` (ChapterAtom
// elements, as other tools write them); empty when mkvpropedit refuses them.
QString with_chapters(MediaWork &work, const QString &name, const QByteArray &atoms) {
    const QString path = work.copy(QStringLiteral("full.mkv"), name);
    QFile xml(work.dir.filePath(name + QStringLiteral(".xml")));
    if (!xml.open(QIODevice::WriteOnly) || xml.write("<?xml version=\"1.0\"?>\n<Chapters><EditionEntry>" + atoms + "</EditionEntry></Chapters>") < 0)
        return {};
    xml.close();
    return QProcess::execute(QStringLiteral("mkvpropedit"), {QStringLiteral("-q"), path, QStringLiteral("--chapters"), xml.fileName()}) == 0 ? path : QString();
}

} // namespace

class TestChapters : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Times as typed: every form that is one, and nonsense refused (overflow included).
    void times_are_parsed_strictly_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("ms"); // -1: refused
        QTest::newRow("mm:ss") << QStringLiteral("01:30") << qint64(90000);
        QTest::newRow("mm:ss.f") << QStringLiteral(" 1:30.5 ") << qint64(90500);
        QTest::newRow("h:mm:ss.fff") << QStringLiteral("1:02:03.004") << qint64(3723004);
        QTest::newRow("long minutes") << QStringLiteral("90:00") << qint64(5400000);
        QTest::newRow("60 seconds") << QStringLiteral("00:60.000") << qint64(-1);
        QTest::newRow("60 minutes after hours") << QStringLiteral("1:60:00") << qint64(-1);
        QTest::newRow("hours overflow") << QStringLiteral("99999999999999999999999:00:00") << qint64(-1);
        QTest::newRow("minutes overflow") << QStringLiteral("99999999999999999999999:00") << qint64(-1);
        QTest::newRow("four decimals") << QStringLiteral("00:01.0001") << qint64(-1);
        QTest::newRow("words") << QStringLiteral("one minute") << qint64(-1);
    }
    void times_are_parsed_strictly() {
        QFETCH(QString, text);
        QFETCH(qint64, ms);
        const auto parsed = Time::parse(text);
        QCOMPARE(parsed ? static_cast<qint64>(parsed->ms) : qint64(-1), ms);
    }

    void simple_chapters_without_ends() {
        Loaded f("full.mkv"); // Intro 0, Opening 10 s, Episode 100 s; the file lasts 180 s
        QCOMPARE(f.rows(), (QStringList{"0|Intro|0-10|-", "0|Opening|10-100|-", "0|Episode|100-180|-"}));
        // The file's length unknown: the last one ends where it starts, never before.
        const auto unknown = chapter_rows(f.editions, std::nullopt);
        QCOMPARE(unknown.back().end, 100 * s);
        QVERIFY(split_chapter_at(f.editions, 0, 2, 120 * s, f.end));
        QCOMPARE(f.rows().mid(2), (QStringList{"0|Episode|100-120|-", "0|Episode|120-180|-"}));
        QVERIFY(!f.xml().contains(QStringLiteral("ChapterTimeEnd"))); // each still ends where the next starts
        QVERIFY(f.uids_unique());
        // At a boundary or outside: refused, nothing changed.
        const Editions before = f.editions;
        QVERIFY(!split_chapter_at(f.editions, 0, 2, 100 * s, f.end));
        QVERIFY(!split_chapter_at(f.editions, 0, 2, 120 * s, f.end));
        QVERIFY(!add_chapter(f.editions, 0, 10 * s, QStringLiteral("x"), f.end));
        QCOMPARE(error_of(add_chapter(f.editions, 0, 180 * s, QStringLiteral("x"), f.end)),
                 QStringLiteral("03:00.000 is not before the end of the file (03:00.000)."));
        QVERIFY(!add_chapter(f.editions, 3, 50 * s, QStringLiteral("x"), f.end));
        QVERIFY(f.editions == before);
        // Add inside a chapter: a split with that name, in any script.
        QVERIFY(add_chapter(f.editions, 0, 150 * s, QStringLiteral("Preview \u2013 \u4E88\u544A"), f.end));
        QCOMPARE(f.rows().mid(3), (QStringList{"0|Episode|120-150|-", "0|Preview \u2013 \u4E88\u544A|150-180|-"}));
        // Move a start: the previous chapter ends there too.
        QVERIFY(set_chapter_start(f.editions, 0, 2, 95 * s, f.end));
        QCOMPARE(f.rows().mid(1, 2), (QStringList{"0|Opening|10-95|-", "0|Episode|95-120|-"}));
        QVERIFY(!set_chapter_start(f.editions, 0, 2, 10 * s, f.end));  // the previous start
        QVERIFY(!set_chapter_start(f.editions, 0, 2, 120 * s, f.end)); // its own end
        // Delete: into the previous one; the first into the next.
        QVERIFY(delete_chapter(f.editions, 0, 1, f.end));
        QCOMPARE(f.rows().mid(0, 2), (QStringList{"0|Intro|0-95|-", "0|Episode|95-120|-"}));
        QVERIFY(delete_chapter(f.editions, 0, 0, f.end));
        QCOMPARE(f.rows().front(), QStringLiteral("0|Episode|0-120|-"));
        // Added before the first chapter: it comes first and runs up to it.
        QVERIFY(set_chapter_start(f.editions, 0, 0, 5 * s, f.end));
        QVERIFY(add_chapter(f.editions, 0, 2 * s, QStringLiteral("Cold open"), f.end));
        QCOMPARE(f.rows().mid(0, 2), (QStringList{"0|Cold open|2-5|-", "0|Episode|5-120|-"}));
        // An edition without chapters (a file may hold one) takes its first chapter itself.
        f.editions.emplace_back();
        QVERIFY(add_chapter(f.editions, 1, 30 * s, QStringLiteral("Late"), f.end));
        QCOMPARE(f.editions.size(), 2u);
        QCOMPARE(f.rows().mid(f.rows().size() - 2), (QStringList{"1|Chapter 1|0-30|-", "1|Late|30-180|-"}));
        QVERIFY(f.uids_unique());
    }

    void ends_editions_and_nested_chapters() {
        Loaded f("editions.mkv");
        QCOMPARE(edition_label(f.editions, 1), QStringLiteral("Edition 2 \u00B7 ordered"));
        Editions flagged = f.editions;
        flagged[0].edition_flag_default.value = flagged[0].edition_flag_hidden.value = 1;
        QCOMPARE(edition_label(flagged, 0), QStringLiteral("Edition 1 \u00B7 default \u00B7 hidden"));
        flagged[1].edition_display.emplace_back().edition_string.value = "Director's cut"; // its own name, the first one
        flagged[1].edition_display.emplace_back().edition_string.value = "Version longue";
        QCOMPARE(edition_label(flagged, 1), QStringLiteral("Edition 2 \u201CDirector's cut\u201D \u00B7 ordered"));
        flagged[0].chapter_atom[1].chapter_time_end->value = 5 * s; // an end before its start is no end
        QCOMPARE(chapter_rows(flagged, f.end)[1].end, 10 * s);
        const auto rows = chapter_rows(f.editions, f.end);
        QCOMPARE(rows[3].nested.size(), 1u);
        QCOMPARE(rows[3].nested[0].name, QStringLiteral("Inner"));
        QCOMPARE(rows[3].nested[0].end, 60 * s);
        // So for a nested chapter: it ends where it starts, never before.
        Editions backwards = f.editions;
        reader::ChapterAtom &back = backwards[rows[3].edition].chapter_atom[rows[3].atom].chapter_atom[0];
        back.chapter_time_start.value = 30 * s;
        back.chapter_time_end->value = 20 * s;
        QCOMPARE(chapter_rows(backwards, f.end)[3].nested[0].end, 30 * s);
        // A level further down is one deeper.
        Editions deeper = f.editions;
        reader::ChapterAtom &inner = deeper[rows[3].edition].chapter_atom[rows[3].atom].chapter_atom[0];
        inner.chapter_atom.push_back(inner);
        inner.chapter_atom.back().chapter_atom.clear();
        const auto nested = chapter_rows(deeper, f.end)[3].nested;
        QCOMPARE(nested.size(), 2u);
        QCOMPARE(nested[0].depth + 1, nested[1].depth);
        // A new chapter's UID is none of the nested ones either, the largest included.
        std::uint64_t top = 0;
        for (const auto &r : chapter_rows(deeper, f.end))
            top = std::max(top, r.uid);
        inner.chapter_uid.value = top + 1;
        QVERIFY(add_chapter(deeper, rows[3].edition, rows[3].start + 1 * s, QStringLiteral("New"), f.end));
        Loaded copy("editions.mkv");
        copy.editions = deeper;
        QVERIFY(copy.uids_unique());
        QCOMPARE(segment_length_ns(std::nan(""), 1000000), std::optional<std::uint64_t>(0));
        QCOMPARE(segment_length_ns(-5.0, 1000000), std::optional<std::uint64_t>(0));
        // Split with ends: the first piece ends at the cut, the second keeps the end.
        QVERIFY(split_chapter_at(f.editions, 0, 1, 60 * s, f.end));
        QVERIFY(f.xml().contains(QStringLiteral("<ChapterTimeEnd>00:01:00.000</ChapterTimeEnd>")));
        QVERIFY(f.xml().contains(QStringLiteral("<ChapterTimeEnd>00:05:10.000</ChapterTimeEnd>")));
        QCOMPARE(f.rows().mid(1, 2), (QStringList{"0|Main|10-60|-", "0|Main|60-310|-"}));
        // Moving Short's start moves Main's end with it (past the hidden atom between).
        QVERIFY(set_chapter_start(f.editions, 0, 4, 300 * s, f.end));
        QCOMPARE(f.rows().mid(2, 2), (QStringList{"0|Main|60-300|-", "0|Short|300-390|-"}));
        // Deleting a chapter between two: the previous one takes its end, the next is untouched.
        QVERIFY(delete_chapter(f.editions, 0, 1, f.end));
        QCOMPARE(f.rows().mid(0, 3), (QStringList{"0|Cold open|0-60|-", "0|Main|60-300|-", "0|Short|300-390|-"}));
        // Deleting the first chapter of edition 2: the next takes its start and its nested atom.
        QVERIFY(delete_chapter(f.editions, 1, 0, f.end));
        QCOMPARE(f.rows().mid(3), (QStringList{"1|Part two|0-360|-"}));
        QCOMPARE(chapter_rows(f.editions, f.end).back().nested.front().name, QStringLiteral("Inner"));
        // The last chapter of an edition cannot go.
        QVERIFY(!delete_chapter(f.editions, 1, 0, f.end));
        // Each edition keeps its own chapters: adding to edition 2 leaves edition 1 alone.
        QVERIFY(add_chapter(f.editions, 1, 90 * s, QStringLiteral("Later"), f.end));
        QCOMPARE(f.rows().mid(3), (QStringList{"1|Part two|0-90|-", "1|Later|90-360|-"}));
        QVERIFY(f.uids_unique());
    }

    // Where a chapter ends before the next starts, a chapter added at that end fills the gap.
    void a_chapter_added_where_one_ends_fills_the_gap() {
        Loaded f("editions.mkv");
        f.editions[0].chapter_atom[0].chapter_time_end->value = 5 * s;
        QVERIFY(add_chapter(f.editions, 0, 5 * s, QStringLiteral("Gap"), f.end));
        QCOMPARE(f.rows().mid(0, 3), (QStringList{"0|Cold open|0-5|-", "0|Gap|5-10|-", "0|Main|10-310|-"}));
        // Two pieces split off the same chapter get names of their own.
        QVERIFY(split_chapter(f.editions, 0, 2, SplitAt::Start, f.end));
        QVERIFY(split_chapter(f.editions, 0, 3, SplitAt::Start, f.end));
        QCOMPARE(f.rows().mid(2, 3), (QStringList{"0|Main (first 90 s)|10-100|-", "0|Main (first 90 s) 2|100-190|-", "0|Main|190-310|-"}));
        QVERIFY(f.uids_unique());
        // With the largest UID taken, a new chapter takes the first free one, past a run of used ones.
        f.editions[0].chapter_atom.back().chapter_uid.value = std::numeric_limits<std::uint64_t>::max();
        f.editions[0].chapter_atom[0].chapter_uid.value = 1;
        f.editions[0].chapter_atom[1].chapter_uid.value = 2;
        QVERIFY(split_chapter(f.editions, 0, 4, SplitAt::End, f.end));
        QCOMPARE(f.editions[0].chapter_atom[5].chapter_uid.value, 3u);
        QVERIFY(f.uids_unique());
    }

    void a_file_without_chapters_gets_its_first() {
        Loaded f("s01e01.mkv");
        QVERIFY(f.editions.empty());
        QVERIFY(add_chapter(f.editions, 0, 60 * s, QStringLiteral("Opening"), f.end));
        QCOMPARE(f.rows(), (QStringList{"0|Chapter 1|0-60|-", "0|Opening|60-180|-"}));
        QVERIFY(f.editions[0].edition_uid && f.editions[0].edition_uid->value != 0);
        QVERIFY(f.uids_unique());
        QVERIFY(f.xml().contains(QStringLiteral("<ChapterString>Opening</ChapterString>")));

        // One step: an opening from a time (90 s), and an ending from a span.
        Loaded g("s01e01.mkv");
        const ChapterRole &opening = *role_named(QStringLiteral("opening")), &ending = *role_named(QStringLiteral("ending"));
        QVERIFY(add_marked_chapter(g.editions, 0, 20 * s, std::nullopt, opening, g.end));
        QCOMPARE(g.rows(), (QStringList{"0|Chapter 1|0-20|-", "0|Opening|20-110|1", "0|Chapter 3|110-180|-"}));
        // Two files given chapters from nothing share no UID: each edition and chapter is drawn anew.
        QVERIFY(g.editions[0].edition_uid->value != f.editions[0].edition_uid->value);
        QVERIFY(chapter_rows(g.editions, g.end)[0].uid != chapter_rows(f.editions, f.end)[0].uid);
        QVERIFY(add_marked_chapter(g.editions, 0, 150 * s, 178 * s, ending, g.end));
        // The chapter cut keeps its name (and UID) on its first part; the rest is named apart.
        QCOMPARE(g.rows().mid(2), (QStringList{"0|Chapter 3|110-150|-", "0|Ending|150-178|2", "0|Chapter 3 (continued)|178-180|-"}));
        // Where a chapter starts already, the marked part is new and the chapter keeps the rest.
        const std::uint64_t third = chapter_rows(g.editions, g.end)[2].uid;
        QVERIFY(add_marked_chapter(g.editions, 0, 110 * s, 130 * s, *role_named(QStringLiteral("recap")), g.end));
        QCOMPARE(g.rows().mid(2, 2), (QStringList{"0|Recap|110-130|3", "0|Chapter 3|130-150|-"}));
        QCOMPARE(chapter_rows(g.editions, g.end)[3].uid, third);
        QVERIFY(!add_marked_chapter(g.editions, 0, 100 * s, 90 * s, opening, g.end)); // backwards
        QVERIFY(g.uids_unique());
    }

    // A found song rarely lines up with a season's chapters: marking it takes in whatever
    // starts inside it, and the chapter it ends in keeps the part after it.
    void a_marked_span_absorbs_the_chapters_it_crosses() {
        Loaded f("s01e01.mkv");
        const ChapterRole &ending = *role_named(QStringLiteral("ending"));
        for (auto [at, name] : {std::pair{30, "Part A"}, {60, "Credits"}, {100, "Next"}, {150, "Preview"}})
            QVERIFY(add_chapter(f.editions, 0, static_cast<std::uint64_t>(at) * s, QString::fromLatin1(name), f.end));
        const std::uint64_t next = chapter_rows(f.editions, f.end)[3].uid;
        MarkEffect effect;
        QVERIFY(add_marked_chapter(f.editions, 0, 57 * s, 104 * s, ending, f.end, &effect));
        QCOMPARE(f.rows(), (QStringList{"0|Chapter 1|0-30|-", "0|Part A|30-57|-", "0|Ending|57-104|2", "0|Next|104-150|-",
                                        "0|Preview|150-180|-"}));
        QCOMPARE(effect.absorbed, QStringList{"Credits"});
        QCOMPARE(effect.moved, QStringLiteral("Next"));
        QCOMPARE(chapter_rows(f.editions, f.end)[3].uid, next); // the same chapter, starting later
        // Up to the end of the file (a little past, by rounding): the chapters after it go.
        effect = {};
        QVERIFY(add_marked_chapter(f.editions, 0, 140 * s, 181 * s, ending, f.end, &effect));
        QCOMPARE(f.rows().mid(3), (QStringList{"0|Next|104-140|-", "0|Ending|140-180|2"}));
        QCOMPARE(effect.absorbed, QStringList{"Preview"});
        QVERIFY(effect.moved.isEmpty());
        QVERIFY(f.uids_unique());
        // Where the chapters carry their ends, the marked one ends at the file's end, not past it.
        Loaded g("s01e01.mkv");
        for (auto [at, name] : {std::pair{100, "Credits"}, {150, "Preview"}})
            QVERIFY(add_chapter(g.editions, 0, static_cast<std::uint64_t>(at) * s, QString::fromLatin1(name), g.end));
        for (const ChapterRow &r : chapter_rows(g.editions, g.end))
            g.editions[r.edition].chapter_atom[r.atom].chapter_time_end.emplace().value = r.end;
        QVERIFY(add_marked_chapter(g.editions, 0, 140 * s, *g.end + s, ending, g.end));
        const ChapterRow marked = chapter_rows(g.editions, g.end).back();
        QCOMPARE(marked.name, QStringLiteral("Ending"));
        QCOMPARE(g.editions[0].chapter_atom[marked.atom].chapter_time_end->value, *g.end);
    }

    void skip_types_and_roles() {
        Loaded f("full.mkv");
        QVERIFY(!set_skip_type(f.editions, 0, 0, 7));
        QVERIFY(!set_skip_type(f.editions, 0, 0, -2));
        QVERIFY(set_skip_type(f.editions, 0, 0, 3));
        QVERIFY(f.xml().contains(QStringLiteral("<ChapterSkipType>3</ChapterSkipType>")));
        QVERIFY(set_skip_type(f.editions, 0, 0, -1));
        QVERIFY(!f.xml().contains(QStringLiteral("ChapterSkipType")));
        QVERIFY(mark_chapter(f.editions, 0, 2, *role_named(QStringLiteral("preview"))));
        QCOMPARE(f.rows().back(), QStringLiteral("0|Preview|100-180|4"));
        QVERIFY(!role_named(QStringLiteral("credits")));
    }

    // The window marks chapters of 85 to 95 s, both ends included, as a likely song.
    void a_likely_song_lasts_85_to_95_seconds() {
        QVERIFY(likely_song(85'000) && likely_song(95'000) && likely_song(90'000));
        QVERIFY(!likely_song(84'999) && !likely_song(95'001));
    }

    void player_rules_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("Opening") << "Opening" << 90 << "Jellyfin: intro, mpv: opening";
        QTest::newRow("opening, lower case") << "opening" << 90 << "Jellyfin: intro, mpv: opening";
        QTest::newRow("too long for Jellyfin") << "Opening" << 150 << "mpv: opening";
        QTest::newRow("too short for Jellyfin") << "Intro" << 10 << "mpv: intro";
        QTest::newRow("OP with a number") << "OP 2" << 90 << "Jellyfin: intro, mpv: opening";
        QTest::newRow("OP at the end") << "Song OP" << 90 << "Jellyfin: intro, mpv: opening";
        QTest::newRow("op, lower case") << "op" << 90 << "Jellyfin: intro";
        QTest::newRow("Opening End") << "Opening End" << 90 << "mpv: opening";
        QTest::newRow("inside a word") << "Operation" << 90 << "";
        QTest::newRow("OP inside a word") << "TOP 10" << 90 << "";
        QTest::newRow("Ending") << "Ending" << 90 << "Jellyfin: credits, mpv: ending";
        QTest::newRow("Credits") << "Credits" << 300 << "Jellyfin: credits";
        QTest::newRow("Credit, long") << "Credit" << 500 << "";
        QTest::newRow("ED") << "ED" << 90 << "Jellyfin: credits, mpv: ending";
        QTest::newRow("EDM") << "EDM Remix" << 90 << "mpv: ending"; // mpv's ^ED is that loose
        QTest::newRow("Edited") << "Edited" << 90 << "";
        QTest::newRow("Outro") << "Outro" << 60 << "Jellyfin: credits";
        QTest::newRow("Preview") << "Next Episode Preview" << 30 << "mpv: preview";
        QTest::newRow("Prologue") << "Prologue" << 120 << "mpv: prologue";
        QTest::newRow("Episode") << "Episode" << 600 << "";
        // Jellyfin's lengths are inclusive at both ends.
        QTest::newRow("intro at 15 s") << "Intro" << 15 << "Jellyfin: intro, mpv: intro";
        QTest::newRow("intro at 14 s") << "Intro" << 14 << "mpv: intro";
        QTest::newRow("intro at 120 s") << "Intro" << 120 << "Jellyfin: intro, mpv: intro";
        QTest::newRow("intro at 121 s") << "Intro" << 121 << "mpv: intro";
        QTest::newRow("credits at 450 s") << "Credits" << 450 << "Jellyfin: credits";
        QTest::newRow("credits at 451 s") << "Credits" << 451 << "";
    }
    void player_rules() {
        QFETCH(QString, name);
        QFETCH(int, seconds);
        QFETCH(QString, verdict);
        QStringList said;
        for (const PlayerVerdict &v : players_skipping(name, static_cast<std::uint64_t>(seconds) * s))
            said << v.player + QStringLiteral(": ") + v.kind;
        QCOMPARE(said.join(QStringLiteral(", ")), verdict);
    }

    // Through the window's calls and the real mkvpropedit: skip types reach the file.
    void skip_types_round_trip() {
        MediaWork work;
        const QString path = work.copy(QStringLiteral("full.mkv"), QStringLiteral("skip.mkv"));
        Setup st;
        QVERIFY(!st.backend.add_file(path));
        QVERIFY(st.backend.chapter_edits()->mark_chapter(0, 1, QStringLiteral("opening")));
        QVERIFY(st.backend.chapter_edits()->set_chapter_skip_type(0, 2, 6));
        QVERIFY(st.backend.chapter_edits()->add_chapter(0, 170000, QStringLiteral("Next time")));
        QVERIFY(st.backend.chapter_edits()->mark_chapter(0, 3, QStringLiteral("preview")));
        QCOMPARE(st.chapters.rows()[1].players, QStringLiteral("Jellyfin: intro \u00B7 mpv: opening"));
        // A skip type that no player goes by offers the name they do.
        for (const auto &[type, fix] : {std::pair{1, "opening"}, std::pair{2, "ending"}, std::pair{5, "preview"}, std::pair{6, ""}}) {
            QVERIFY(st.backend.chapter_edits()->set_chapter_skip_type(0, 2, type));
            QCOMPARE(st.chapters.rows()[2].fix, QString::fromLatin1(fix));
        }
        // Refusals say why and change nothing.
        QVERIFY(!st.backend.chapter_edits()->set_chapter_skip_type(0, 2, 7));
        QVERIFY(st.backend.saves()->save_status().contains(QStringLiteral("not one of 0 to 6")));
        QVERIFY(!st.backend.chapter_edits()->mark_chapter(0, 2, QStringLiteral("credits")));
        QVERIFY(!st.backend.chapter_edits()->delete_chapter(1, 0));
        QVERIFY(st.backend.saves()->save_status().contains(QStringLiteral("no chapter 1 in edition 2")));
        QVERIFY(!st.backend.chapter_edits()->split_chapter_at(0, 0, -5));
        QVERIFY(!st.backend.chapter_edits()->set_chapter_start(0, 1, 0)); // the previous chapter's start
        QCOMPARE(st.backend.chapter_edits()->check_chapter_start(0, 2, QStringLiteral("1:61.000"))[QStringLiteral("ok")].toBool(), false);
        QCOMPARE(st.backend.chapter_edits()->check_chapter_start(0, 2, QStringLiteral("0:01:35.5"))[QStringLiteral("ms")].toLongLong(), 95500);
        // Row 2 is in edition 1: asked about edition 2, the field hears there is no such chapter.
        QCOMPARE(st.backend.chapter_edits()->check_chapter_start(1, 2, QStringLiteral("0:01:35.5")),
                 (QVariantMap{{QStringLiteral("ok"), false}, {QStringLiteral("reason"), QStringLiteral("There is no such chapter.")}}));
        QCOMPARE(st.backend.chapter_edits()->parse_time(QStringLiteral("1:00-2:28"))[QStringLiteral("to")].toLongLong(), 148000);
        st.save();
        QVERIFY2(!st.backend.saves()->save_failed(), qPrintable(st.backend.saves()->save_status()));
        QStringList types;
        for (const ChapterRow &r : chapter_rows(st.backend.active_document()->read().editions, std::nullopt))
            types << r.name + QLatin1Char('=') + (r.skip_type ? QString::number(*r.skip_type) : QStringLiteral("-"));
        QCOMPARE(types, (QStringList{"Intro=-", "Opening=1", "Episode=6", "Preview=4"}));
        QProcess info;
        info.start(QStringLiteral("mkvinfo"), {path});
        QVERIFY(info.waitForFinished(30000));
        const QString out = QString::fromUtf8(info.readAllStandardOutput());
        QCOMPARE(out.count(QStringLiteral("Chapter skip type:")), 3);
        QVERIFY(out.contains(QStringLiteral("Chapter skip type: 1 (opening credits)")));
        QVERIFY(out.contains(QStringLiteral("Chapter skip type: 6 (advertisement)")));
    }

    // Chapters written by other tools: players that ignore ChapterTimeEnd judge a chapter up
    // to the next start; a string UID is kept on save.
    void chapters_as_other_tools_write_them() {
        MediaWork work;
        const QString path = with_chapters(
            work, QStringLiteral("gap.mkv"),
            "<ChapterAtom><ChapterUID>1</ChapterUID><ChapterTimeStart>00:00:20.000</ChapterTimeStart><ChapterTimeEnd>00:00:30.000</ChapterTimeEnd>"
            "<ChapterDisplay><ChapterString>Opening</ChapterString></ChapterDisplay></ChapterAtom>"
            "<ChapterAtom><ChapterUID>2</ChapterUID><ChapterStringUID>episode-main</ChapterStringUID><ChapterTimeStart>00:01:50.000</ChapterTimeStart>"
            "<ChapterDisplay><ChapterString>Episode</ChapterString></ChapterDisplay></ChapterAtom>");
        QVERIFY(!path.isEmpty());
        Setup st;
        QVERIFY(!st.backend.add_file(path));
        QCOMPARE(st.chapters.rows()[0].duration, QStringLiteral("00:10.000"));
        QCOMPARE(st.chapters.rows()[0].players, QStringLiteral("Jellyfin: intro \u00B7 mpv: opening"));
        st.backend.set_chapter_name(0, 1, QStringLiteral("Main \u2013 \u672C\u7DE8")); // written as typed, not as Latin-1
        st.save();
        QCOMPARE(st.backend.saves()->save_status(), QStringLiteral("Saved gap.mkv."));
        const auto &atoms = st.backend.active_document()->read().editions.at(0).chapter_atom;
        QCOMPARE(atoms.at(1).chapter_display.at(0).chap_string.value, std::string("Main \u2013 \u672C\u7DE8"));
        QVERIFY(atoms.at(1).chapter_string_uid);
        QCOMPARE(atoms.at(1).chapter_string_uid->value, std::string("episode-main"));
        // The last chapter, without an end, merged into the one before: that one now runs to
        // the file's end (3:00), not only to where the last one began.
        QVERIFY(st.backend.chapter_edits()->delete_chapter(0, 1));
        QCOMPARE(st.chapters.rows().size(), 1);
        QCOMPARE(st.chapters.rows()[0].duration, QStringLiteral("02:40.000"));
    }

    // Every refusal says what was wrong, with the numbers as the user counts them, and
    // changes nothing.
    void refusals_say_why_in_full() {
        Setup st;
        st.backend.load_choices({media("full.mkv"), media("s01e01.mkv")});
        st.backend.select_file(0); // Intro 0 s, Opening 10 s, Episode 100 s; the file lasts 180 s
        const QString title = st.backend.track_edits()->active_title(), opening = st.chapters.rows()[1].key;
        const QString nothing = QStringLiteral(" Nothing was changed.");
        auto refused = [&](bool done, const QString &why) {
            QVERIFY(!done);
            QVERIFY(st.backend.saves()->save_failed());
            QCOMPARE(st.backend.saves()->save_status(), why);
            QCOMPARE(st.backend.history()->unsaved_files(), QStringList());
        };
        const QString role = QStringLiteral(" is not a chapter role: use opening, ending, recap or preview.") + nothing;
        refused(st.backend.chapter_edits()->set_chapter_skip_type(0, 2, 7), "Skip type 7 is not one of 0 to 6 (or -1 for none)." + nothing);
        refused(st.backend.chapter_edits()->set_chapter_skip_type(0, 2, -2), "Skip type -2 is not one of 0 to 6 (or -1 for none)." + nothing);
        refused(st.backend.chapter_edits()->mark_chapter(0, 2, QStringLiteral("credits")), "\u201Ccredits\u201D" + role);
        refused(st.backend.chapter_edits()->mark_chapter_by_key(opening, QStringLiteral("x")), "\u201Cx\u201D" + role);
        refused(st.backend.chapter_edits()->add_marked_chapter(0, 50000, 60000, QStringLiteral("op")), "\u201Cop\u201D" + role);
        refused(st.backend.chapter_edits()->mark_chapter(0, 9, QStringLiteral("opening")), "There is no chapter 10 in edition 1." + nothing);
        refused(st.backend.chapter_edits()->delete_chapter(1, 0), "There is no chapter 1 in edition 2." + nothing);
        refused(st.backend.chapter_edits()->split_chapter_at(0, 0, -5), "-5 ms is not a time in a file." + nothing);
        refused(st.backend.chapter_edits()->set_chapter_start(0, 1, -5), "-5 ms is not a time in a file." + nothing);
        refused(st.backend.chapter_edits()->add_chapter(0, -1, QStringLiteral("x")), "-1 ms is not a time in a file." + nothing);
        for (const qint64 at : {10000, 100000})
            refused(st.backend.chapter_edits()->split_chapter_at(0, 1, at), Time{static_cast<std::uint64_t>(at)}.to_string() +
                    " is not inside the chapter (00:10.000 to 01:40.000): a split there would leave an empty piece." + nothing);
        refused(st.backend.chapter_edits()->add_chapter(0, 10000, QStringLiteral("x")), "A chapter starts at 00:10.000 already." + nothing);
        refused(st.backend.chapter_edits()->add_chapter(3, 20000, QStringLiteral("x")), "There is no edition 4." + nothing);
        const QString control = QStringLiteral("Names cannot contain control characters (NUL, line breaks, tabs); the edit was not made.");
        refused(st.backend.chapter_edits()->add_chapter(0, 20000, QStringLiteral("a\tb")), control);
        refused(st.backend.chapter_edits()->set_chapter_start(0, 1, 0),
                "The start must lie after the previous chapter's start (00:00.000) and before this chapter's end (01:40.000)." + nothing);
        refused(st.backend.chapter_edits()->add_marked_chapter(0, 50000, 40000, QStringLiteral("opening")),
                "The end (00:40.000) must come after the start (00:50.000)." + nothing);
        refused(st.backend.chapter_edits()->set_chapter_name_by_key(QStringLiteral("nonsense"), QStringLiteral("x")), "\u201Cnonsense\u201D names no chapter." + nothing);
        refused(st.backend.track_edits()->set_track_name_by_key(QStringLiteral("nonsense"), QStringLiteral("x")), "\u201Cnonsense\u201D names no track." + nothing);
        refused(st.backend.track_edits()->set_track_flag_by_key(QStringLiteral("nonsense"), QStringLiteral("forced"), 1), "\u201Cnonsense\u201D names no track." + nothing);
        refused(st.backend.track_edits()->set_track_flag(title, 9, QStringLiteral("forced"), 1), QStringLiteral("There is no track 9 in the active file; no flag was changed."));
        refused(st.backend.track_edits()->set_track_flag(title, 1, QStringLiteral("forced display"), 1), QStringLiteral("\u201Cforced display\u201D is not a track flag; no flag was changed."));
        refused(st.backend.track_edits()->set_track_flag(title, 1, QStringLiteral("forced"), -1), QStringLiteral("The forced flag is 0 or 1; -1 was not set."));
        refused(st.backend.track_edits()->set_track_flag(title, 1, QStringLiteral("original"), 2), QStringLiteral("The original flag is 0, 1 or -1 (unset); 2 was not set."));
        refused(st.backend.chapter_edits()->set_chapter_name_by_key(opening, QStringLiteral("a\nb")), control);
        refused(st.backend.chapter_edits()->set_chapter_name_by_key(opening, QStringLiteral("a\x7f")), control); // DEL
        const QString language = QStringLiteral(" The language was not changed.");
        for (const auto &[typed, why] : std::initializer_list<std::pair<const char *, QString>>{
                 {"en-Zzzq", QStringLiteral("\u201CZzzq\u201D is not an ISO 15924 script code.")},
                 {"en-QQ", QStringLiteral("\u201CQQ\u201D is not an ISO 3166 country or UN region code.")},
                 {"xx", QStringLiteral("\u201Cxx\u201D is not an ISO 639 language code.")},
                 {"e\tn", QStringLiteral("A language code cannot contain control characters (line breaks, tabs).")}}) {
            st.backend.set_track_language(title, 1, QString::fromUtf8(typed));
            refused(false, why + language);
        }
        QCOMPARE(st.backend.chapter_edits()->parse_time(QStringLiteral("1:00-2:28-3"))[QStringLiteral("reason")].toString(),
                 QStringLiteral("Give one time, or two joined by a dash."));
        QCOMPARE(st.backend.chapter_edits()->parse_time(QStringLiteral("abc"))[QStringLiteral("reason")].toString(),
                 QStringLiteral("\u201Cabc\u201D is not a time: write mm:ss.fff or h:mm:ss.fff, for example 01:30.000."));
        refused(st.backend.season()->accept_flag_suggestion(QStringLiteral("loud")), "\u201Cloud\u201D is not a track flag." + nothing);
        st.backend.select_file(1); // no chapters, nothing edited
        refused(st.backend.season()->apply_chapter_names_to_all(), "The active file has no chapters to copy." + nothing);
        refused(st.backend.season()->apply_track_to_all(1), "Track 1 has no changes to apply to other files: edit it first." + nothing);
        QCOMPARE(st.backend.season()->default_by_language(QStringLiteral("audio"), QStringLiteral("en")), 0);
        QCOMPARE(st.backend.saves()->save_status(), QStringLiteral("Default by language: no file needed a change."));
    }

    void chapter_names_go_to_the_files_that_line_up() {
        Setup st;
        std::vector<Choice> files;
        for (const char *name : {"full.mkv", "close.mkv", "odd.mkv", "editions.mkv", "s01e01.mkv"})
            files.push_back(media(name));
        st.backend.load_choices(files);
        // An edit not yet saved in a file the names go to stays.
        st.backend.select_file(1);
        QVERIFY(st.backend.track_edits()->set_title(QStringLiteral("Close, retitled")));
        st.backend.select_file(0);
        QVERIFY(st.backend.chapter_edits()->mark_chapter(0, 1, QStringLiteral("opening")));
        st.backend.set_chapter_name(0, 2, QStringLiteral("Part A"));
        const QVariantMap preview = st.backend.season()->preview_chapter_names_to_all();
        QCOMPARE(preview[QStringLiteral("files")].toInt(), 1);
        QStringList changes;
        for (const QVariant &c : preview[QStringLiteral("changes")].toList())
            changes << c.toMap()[QStringLiteral("track")].toString() + QLatin1Char(' ') + c.toMap()[QStringLiteral("change")].toString();
        QCOMPARE(changes, (QStringList{"Chapter 1 name: \u201CA\u201D \u2192 \u201CIntro\u201D",
                                       "Chapter 2 name: \u201CB\u201D \u2192 \u201COpening\u201D",
                                       "Chapter 2 skip type: none \u2192 opening credits",
                                       "Chapter 3 name: \u201CC\u201D \u2192 \u201CPart A\u201D"}));
        QCOMPARE(preview[QStringLiteral("skipped")].toStringList(),
                 (QStringList{"odd.mkv: its chapter 2 lasts 01:35.000, in the active file 01:30.000",
                              "editions.mkv: it has 5 chapters, the active file 3",
                              "s01e01.mkv: it has 0 chapters, the active file 3"}));
        QCOMPARE(st.backend.season()->apply_chapter_names_to_all(), 1);
        st.backend.select_file(1);
        QStringList rows;
        for (const auto &r : st.chapters.rows())
            rows << r.name + QLatin1Char('=') + QString::number(r.skip_type);
        QCOMPARE(rows, (QStringList{"Intro=-1", "Opening=1", "Part A=-1"}));
        QCOMPARE(st.backend.track_edits()->active_title(), QStringLiteral("Close, retitled"));
    }

    // A broken file may repeat a ChapterUID, within an edition or across two: each row's
    // key still leads back to that row alone.
    void keys_tell_repeated_uids_apart() {
        std::vector<ChapterRow> rows;
        for (const auto &[edition, uid] : std::vector<std::pair<std::size_t, std::uint64_t>>{{0, 7}, {0, 8}, {0, 7}, {1, 7}, {1, 8}, {1, 7}})
            {
            ChapterRow row;
            row.edition = edition;
            row.uid = uid;
            rows.push_back(row);
        }
        const std::vector<ChapterKey> keys = keys_of(rows, 3);
        QCOMPARE(keys.size(), rows.size());
        for (std::size_t r = 0; r < rows.size(); ++r) {
            QCOMPARE(keys[r], key_of(rows, r, 3));
            QCOMPARE(chapter_key(key_text(keys[r])), std::optional(keys[r]));
            QCOMPARE(row_of(rows, keys[r]), std::optional(r));
        }
        QCOMPARE(keys[5].nth, std::size_t{1});
        // A key whose chapter is gone leads nowhere.
        QCOMPARE(row_of(rows, ChapterKey{3, 1, 7, 2}), std::nullopt);
        QCOMPARE(row_of(rows, ChapterKey{3, 2, 7, 0}), std::nullopt);
        // Tracks the same way: the second track with UID 5 is the third row.
        const std::vector<std::uint64_t> uids{5, 6, 5};
        QCOMPARE(key_of(uids, 2, 3), (TrackKey{3, 5, 1}));
        QCOMPARE(index_of(uids, key_of(uids, 2, 3)), std::optional<std::size_t>(2));
        QCOMPARE(index_of(uids, key_of(uids, 1, 3)), std::optional<std::size_t>(1));
        QCOMPARE(index_of(uids, TrackKey{3, 5, 2}), std::nullopt);
        QCOMPARE(index_of(uids, TrackKey{3, 9, 0}), std::nullopt);

        // Through the window's edits, on a file that repeats a UID: the second chapter's key
        // renames the second chapter.
        MediaWork work;
        const QString path = with_chapters(work, QStringLiteral("repeated.mkv"),
                                           "<ChapterAtom><ChapterUID>7</ChapterUID><ChapterTimeStart>00:00:00.000</ChapterTimeStart>"
                                           "<ChapterDisplay><ChapterString>One</ChapterString></ChapterDisplay></ChapterAtom>"
                                           "<ChapterAtom><ChapterUID>7</ChapterUID><ChapterTimeStart>00:00:30.000</ChapterTimeStart>"
                                           "<ChapterDisplay><ChapterString>Two</ChapterString></ChapterDisplay></ChapterAtom>");
        QVERIFY(!path.isEmpty());
        Setup st;
        QVERIFY(!st.backend.add_file(path));
        QVERIFY(st.backend.chapter_edits()->set_chapter_name_by_key(st.chapters.rows().at(1).key, QStringLiteral("Second")));
        QCOMPARE(st.chapters.rows().at(0).name, QStringLiteral("One"));
        QCOMPARE(st.chapters.rows().at(1).name, QStringLiteral("Second"));
    }
};

QTEST_GUILESS_MAIN(TestChapters)
#include "tst_chapters.moc"
