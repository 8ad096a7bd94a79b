// Finding openings and endings by their sound: the matching on made-up fingerprints, and
// the whole path — ffmpeg, matching, suggestions, chapters — on a generated season
// (make_season.sh) whose true times are known.
#include "backend_setup.h"
#include "chapters_xml.h"
#include "intro_match.h"
#include "media_files.h"
#include "opening_finder.h"
#include "part_sound.h"
#include "suggestions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>

#include <random>

using namespace perlane;
using intro::Span;

namespace {

using Setup = BackendSetup;

QString episode_file(const QString &name) { return qEnvironmentVariable("PERLANE_SEASON_DIR") + QLatin1Char('/') + name; }

std::vector<std::uint32_t> noise(std::size_t n, unsigned seed) {
    std::mt19937 g(seed);
    std::vector<std::uint32_t> v(n);
    for (auto &x : v)
        x = g();
    return v;
}

// The true times of each episode, from truth.txt: "e1 opening 17 102 ending 490 570".
struct Truth {
    std::optional<double> from, to;
    double ending_from = 0, ending_to = 0;
};
std::vector<Truth> truth() {
    QFile f(episode_file(QStringLiteral("truth.txt")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    std::vector<Truth> out;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> w = line.split(' ');
        if (w.size() < 7)
            continue;
        Truth t;
        if (w[2] != "-") {
            t.from = w[2].toDouble();
            t.to = w[3].toDouble();
        }
        t.ending_from = w[5].toDouble();
        t.ending_to = w[6].toDouble();
        out.push_back(t);
    }
    return out;
}

double seconds(const QString &time) { return Time::parse(time)->ms / 1000.0; }

// What the finder is given for the generated season's first `n` episodes (fewer when one
// cannot be read).
std::vector<EpisodeInput> first_episodes(int n) {
    std::vector<EpisodeInput> season;
    for (int i = 1; i <= n; ++i)
        if (const auto doc = Document::load(episode_file(QStringLiteral("e%1.mkv").arg(i, 2, 10, QLatin1Char('0')))))
            season.push_back(episode_input(**doc));
    return season;
}

} // namespace

class TestOpenings : public QObject {
    Q_OBJECT

    void detect(Setup &s) {
        QSignalSpy finished(s.backend.detection(), &Detection::detection_finished);
        s.backend.detection()->detect_openings();
        QVERIFY(s.backend.detection()->detecting());
        QVERIFY(s.backend.detection()->suggestions().isEmpty()); // an earlier run's are gone
        QVERIFY(finished.wait(240000));
        QVERIFY(!s.backend.detection()->detecting());
        QCOMPARE(s.backend.detection()->detection_progress(), 1.0);
    }

private Q_SLOTS:
    void matching_data() {
        QTest::addColumn<int>("at_a");   // where the shared stretch starts in a
        QTest::addColumn<int>("at_b");   // and in b
        QTest::addColumn<int>("length"); // points; 0: nothing shared
        QTest::addColumn<int>("flips");  // bits changed in b's copy of each point
        QTest::addColumn<int>("gap");    // a stretch of unrelated points inside the copy
        QTest::newRow("same place") << 100 << 100 << 500 << 0 << 0;
        QTest::newRow("b later") << 40 << 300 << 700 << 0 << 0;
        QTest::newRow("a later") << 600 << 5 << 300 << 0 << 0;
        QTest::newRow("a few bits off") << 50 << 220 << 400 << 4 << 0;
        QTest::newRow("too many bits off") << 50 << 220 << 400 << 14 << 0;
        QTest::newRow("a short gap") << 80 << 90 << 400 << 2 << 6;
        QTest::newRow("a long gap: the longer part") << 80 << 90 << 400 << 2 << 30;
        QTest::newRow("nothing shared") << 0 << 0 << 0 << 0 << 0;
    }
    void matching() {
        QFETCH(int, at_a);
        QFETCH(int, at_b);
        QFETCH(int, length);
        QFETCH(int, flips);
        QFETCH(int, gap);
        auto a = noise(1200, 1), b = noise(1100, 2);
        const auto song = noise(static_cast<std::size_t>(length), 3);
        std::mt19937 g(4);
        for (int i = 0; i < length; ++i) {
            a[static_cast<std::size_t>(at_a + i)] = song[static_cast<std::size_t>(i)];
            std::uint32_t copy = song[static_cast<std::size_t>(i)];
            for (int k = 0; k < flips; ++k)
                copy ^= 1u << (g() % 32); // may hit a bit twice: at most `flips` differ
            if (gap > 0 && i >= length / 2 && i < length / 2 + gap)
                copy = g();
            b[static_cast<std::size_t>(at_b + i)] = copy;
        }
        const auto found = intro::longest_shared(a, b, {6, 8, 100, 2000, 12.5});
        if (length == 0 || flips > 6) {
            QVERIFY(!found);
            return;
        }
        QVERIFY(found);
        // Within a point or two: a neighbouring random point may happen to be close.
        QVERIFY2(std::abs(static_cast<int>(found->a.begin) - at_a) <= 2, qPrintable(QString::number(found->a.begin)));
        const int end = gap > 8 ? at_a + length / 2 : at_a + length; // a gap past 8 points parts it
        QVERIFY2(std::abs(static_cast<int>(found->a.end) - end) <= 2, qPrintable(QString::number(found->a.end)));
        QCOMPARE(static_cast<int>(found->b.begin) - static_cast<int>(found->a.begin), at_b - at_a);
    }

    void agreement_needs_two_and_ignores_an_odd_pair() {
        const auto song = noise(400, 9);
        std::vector<std::vector<std::uint32_t>> parts;
        for (unsigned e = 0; e < 4; ++e) {
            auto p = noise(1000, 20 + e);
            std::copy(song.begin(), song.end(), p.begin() + 50 + 30 * e);
            parts.push_back(p);
        }
        parts.push_back(noise(1000, 99)); // shares nothing
        parts.push_back({});              // no fingerprint
        const auto agreed = intro::agree(parts, {6, 8, 100, 2000, 12.5}, 16);
        for (unsigned e = 0; e < 4; ++e) {
            QVERIFY(agreed[e]);
            QCOMPARE(agreed[e]->votes, 3u);
            QCOMPARE(agreed[e]->span, (Span{50 + 30 * e, 450 + 30 * e}));
        }
        QVERIFY(!agreed[4]);
        QVERIFY(!agreed[5]);
    }

    // An episode that shares a short cue with one episode and a longer song with another,
    // each once: on equal votes the longer is its part.
    void on_equal_votes_the_longer_stretch_is_taken() {
        const auto cue = noise(150, 31), song = noise(300, 32);
        std::vector<std::vector<std::uint32_t>> parts{noise(1000, 33), noise(1000, 34), noise(1000, 35)};
        std::ranges::copy(cue, parts[0].begin() + 100);
        std::ranges::copy(cue, parts[1].begin() + 200);
        std::ranges::copy(song, parts[0].begin() + 500);
        std::ranges::copy(song, parts[2].begin() + 300);
        const auto agreed = intro::agree(parts, {6, 8, 100, 2000, 12.5}, 16);
        QVERIFY(agreed[0]);
        QCOMPARE(agreed[0]->votes, 1u);
        QCOMPARE(agreed[0]->span, (Span{500, 800}));
    }

    // A song with its middle cut out in one episode is still one stretch in both.
    void the_pieces_of_an_edited_song_join() {
        const auto song = noise(600, 11);
        auto a = noise(1200, 12), b = noise(1200, 13);
        std::copy(song.begin(), song.end(), a.begin() + 100);
        std::copy(song.begin(), song.begin() + 250, b.begin() + 300);
        std::copy(song.end() - 200, song.end(), b.begin() + 550);
        const auto s = intro::longest_shared(a, b, {6, 8, 100, 2000, 12.5});
        QVERIFY(s);
        for (auto [got, want] : {std::pair{s->a.begin, 100}, {s->a.end, 700}, {s->b.begin, 300}, {s->b.end, 750}})
            QVERIFY2(std::abs(static_cast<int>(got) - want) <= 2, qPrintable(QString::number(got)));
        // A length rule holds in both episodes: 600 points in one, 450 in the other, at least 500 wanted.
        QVERIFY(!intro::longest_shared(a, b, {6, 8, 500, 2000, 12.5}));

        // A song that slips by one point, its later part blurred in both halves of every point
        // so that no point votes for the slip: the neighbouring offset is walked all the same.
        auto c = noise(1200, 14), d = noise(1200, 15);
        std::mt19937 g(16);
        for (std::size_t i = 0; i < 500; ++i) {
            c[100 + i + (i < 300 ? 0 : 1)] = song[i];
            d[300 + i] = i < 300 ? song[i] : song[i] ^ (1u << (g() % 16)) ^ (1u << (16 + g() % 16));
        }
        const auto slipped = intro::longest_shared(c, d, {6, 8, 100, 2000, 12.5});
        QVERIFY(slipped);
        for (auto [got, want] : {std::pair{slipped->a.begin, 100}, {slipped->a.end, 601}, {slipped->b.begin, 300}, {slipped->b.end, 800}})
            QVERIFY2(std::abs(static_cast<int>(got) - want) <= 2, qPrintable(QString::number(got)));
    }

    // Talk over a song blurs its points but leaves them near; unrelated sound is far, and a
    // stretch the other part does not hold is no copy, however well the rest agrees.
    void a_blurred_copy_lies_inside_both_parts() {
        const intro::MatchRules rules{6, 8, 100, 2000, 12.5};
        const auto a = noise(200, 21);
        std::vector<std::uint32_t> blurred(a.begin() + 20, a.end()); // a from its 20th point on
        for (auto &x : blurred)
            x ^= 0x0000000Fu;
        QVERIFY(intro::blurred_copy(a, blurred, 30, 150, 20, rules));
        QVERIFY(!intro::blurred_copy(a, noise(180, 22), 30, 150, 20, rules));
        QVERIFY(!intro::blurred_copy(a, blurred, 10, 150, 20, rules));                          // 10..19 lie before it
        QVERIFY(!intro::blurred_copy(a, std::span(blurred).first(100), 30, 150, 20, rules)); // 120.. lie after it
        // 12 and 13 bits in turn: at the limit on average, still a copy; one bit more, not.
        std::vector<std::uint32_t> edge(a.begin() + 20, a.end());
        for (std::size_t k = 0; k < edge.size(); ++k)
            edge[k] ^= k % 2 ? 0x1FFFu : 0x0FFFu;
        QVERIFY(intro::blurred_copy(a, edge, 30, 150, 20, rules));
        edge[10] ^= 0x10000u;
        QVERIFY(!intro::blurred_copy(a, edge, 30, 150, 20, rules));
    }

    // A pause is the part's own floor for a moment; music that never pauses has none.
    void a_pause_is_the_parts_own_floor() {
        std::vector<float> levels(3000, -15.0F);
        std::fill_n(levels.begin() + 1000, 40, -42.0F); // a breath at the room's level
        std::fill_n(levels.begin() + 2000, 10, -45.0F); // a dip too short to part anything
        const auto found = intro::pauses(levels);
        QCOMPARE(found.size(), 1u);
        QVERIFY(std::abs(found[0].from - 10.0) < 0.011 && std::abs(found[0].to - 10.4) < 0.011);
        std::vector<float> music(3000);
        for (std::size_t i = 0; i < music.size(); ++i)
            music[i] = -15.0F - 8.0F * static_cast<float>(i % 50) / 50.0F;
        QVERIFY(intro::pauses(music).empty());
        // Levels per 10 ms, the last whole frame included: silence, then a square wave at -6 dBFS.
        const auto frame = static_cast<std::size_t>(intro::sound_rate * intro::level_seconds);
        std::vector<std::int16_t> samples(3 * frame, 0);
        for (std::size_t i = 2 * frame; i < samples.size(); ++i)
            samples[i] = i % 2 ? 16384 : -16384;
        const auto sound = intro::analyse(samples);
        QCOMPARE(sound.levels.size(), 3u);
        QVERIFY2(sound.levels[0] < -100 && std::abs(sound.levels[2] + 6.02F) < 0.1F, qPrintable(QString::number(sound.levels[2])));
    }

    // An opening may run up to two minutes: one of 110 s shared by three episodes is found whole.
    void an_opening_of_almost_two_minutes_is_found() {
        const auto points = [](double seconds) { return static_cast<std::size_t>(seconds / intro::point_seconds); };
        const auto song = noise(points(110), 31);
        std::vector<OpeningFinder::Prints> heads, tails(3);
        for (unsigned e = 0; e < 3; ++e) {
            OpeningFinder::Prints head;
            head.points = noise(points(300), 40 + e);
            std::ranges::copy(song, head.points.begin() + static_cast<std::ptrdiff_t>(points(20.0 + 15 * e)));
            head.end = 300;
            heads.push_back(std::move(head));
        }
        const auto found = OpeningFinder::match(heads, tails);
        QCOMPARE(found.size(), 3u);
        for (unsigned e = 0; e < 3; ++e) {
            QVERIFY2(found[e].opening, qPrintable(found[e].notes.join(u';')));
            QVERIFY2(std::abs(found[e].opening->from - (20.0 + 15 * e)) < 1.5 && std::abs(found[e].opening->to - (130.0 + 15 * e)) < 1.5,
                     qPrintable(QStringLiteral("%1 - %2").arg(found[e].opening->from).arg(found[e].opening->to)));
        }
    }

    // Chapter names that say a song, by word or by the usual abbreviation, and words that
    // only contain one.
    void chapter_names_that_name_songs() {
        for (const char *name : {"Opening", "OP", "op: Kaze no Uta", "Opening 2"})
            QVERIFY2(names_song(QString::fromUtf8(name), SongKind::Opening), name);
        for (const char *name : {"Ending", "ED", "End credits", "Credits"})
            QVERIFY2(names_song(QString::fromUtf8(name), SongKind::Ending), name);
        for (const char *name : {"Operation", "Stop", "Part A", "Ending"})
            QVERIFY2(!names_song(QString::fromUtf8(name), SongKind::Opening), name);
        for (const char *name : {"Edward", "Opening", "Bend"})
            QVERIFY2(!names_song(QString::fromUtf8(name), SongKind::Ending), name);
    }

    // One song heard without the other is still marked, and said so.
    void a_lone_opening_or_ending_is_still_a_change() {
        auto loaded = Document::load(media(QStringLiteral("full.mkv"))); // Intro 0, Opening 0:10, Episode 1:40 to 3:00
        QVERIFY(loaded);
        const std::shared_ptr<Document> doc = std::move(*loaded);
        EpisodeFindings heard;
        heard.opening = FoundPart{10.0, 100.0, 3, 1.0, false, {}};
        EpisodeSuggestion s = suggest(doc, heard);
        QCOMPARE(s.change, QStringLiteral("renames and sets skip types"));
        QVERIFY(s.accepted && s.opening && !s.ending);
        heard.opening.reset();
        heard.ending = FoundPart{140.0, 170.0, 3, 1.0, false, {}};
        s = suggest(doc, heard);
        QCOMPARE(s.change, QStringLiteral("2 splits")); // Episode, cut at 2:20 and 2:50
        QVERIFY(s.accepted && !s.opening && s.ending);
        // An edge heard 1.2 s from a chapter named for the song is taken to be that chapter's
        // edge; from one named otherwise, only within half a second.
        heard.ending.reset();
        heard.opening = FoundPart{11.2, 98.8, 3, 1.0, false, {}};
        s = suggest(doc, heard);
        QVERIFY(s.opening);
        QCOMPARE(s.opening->first, 10'000'000'000u);
        QCOMPARE(s.opening->second, 100'000'000'000u);
        heard.opening = FoundPart{1.2, 98.8, 3, 1.0, false, {}}; // 1.2 s from Intro's start
        QCOMPARE(suggest(doc, heard).opening->first, 1'200'000'000u);
    }

    // A run replaced before its end is heard (one episode: it ends at once) does not end the
    // run that replaced it.
    void a_replaced_run_does_not_end_the_next() {
        const std::vector<EpisodeInput> season = first_episodes(3);
        QCOMPARE(season.size(), 3u);
        OpeningFinder finder;
        std::vector<std::vector<EpisodeFindings>> ends;
        connect(&finder, &OpeningFinder::finished, this, [&](const std::vector<EpisodeFindings> &f) { ends.push_back(f); });
        finder.start({season.front()});
        finder.start(season);
        QTRY_VERIFY_WITH_TIMEOUT(!ends.empty(), 120'000);
        QVERIFY(!finder.running());
        QCOMPARE(ends.size(), 1u);
        QCOMPARE(ends[0].size(), 3u);
        QVERIFY(ends[0][0].ending);
        // Nor are the parts it had still to read taken up by the next, over fewer episodes.
        finder.start(season);
        finder.start({season[0], season[1]});
        QTRY_VERIFY_WITH_TIMEOUT(ends.size() == 2, 120'000);
        QCOMPARE(ends[1].size(), 2u);
        QVERIFY(ends[1][0].ending && ends[1][1].ending);
        // Started over once its first part is heard, with every part read at once: the sound
        // of the others, still being analysed, is not counted in the run that replaced it.
        finder.set_lanes(6);
        bool restarted = false;
        const auto once = connect(&finder, &OpeningFinder::progress_changed, this, [&] {
            if (!restarted && finder.running() && finder.progress() > 0) {
                restarted = true;
                finder.start({season[0], season[1]});
            }
        });
        finder.start(season);
        QTRY_VERIFY_WITH_TIMEOUT(ends.size() == 3, 60'000);
        disconnect(once);
        QVERIFY(restarted);
        QCOMPARE(ends[2].size(), 2u);
        QVERIFY(ends[2][0].opening && ends[2][0].ending && ends[2][1].opening && ends[2][1].ending);
    }

    // An episode whose length is not known (a file written live) still has its opening
    // looked for at its start; only its ending is not, and that is said.
    void an_episode_of_unknown_length_is_searched_from_its_start() {
        std::vector<EpisodeInput> season = first_episodes(3);
        QCOMPARE(season.size(), 3u);
        season[1].seconds.reset();
        OpeningFinder finder;
        std::optional<std::vector<EpisodeFindings>> found;
        connect(&finder, &OpeningFinder::finished, this, [&](const std::vector<EpisodeFindings> &f) { found = f; });
        finder.start(season);
        QTRY_VERIFY_WITH_TIMEOUT(found, 120'000);
        const EpisodeFindings &e2 = found->at(1);
        QVERIFY2(e2.opening && std::abs(e2.opening->from - 24) <= 1 && std::abs(e2.opening->to - 109) <= 1, qPrintable(e2.notes.join(u'|')));
        QVERIFY(!e2.ending);
        QVERIFY2(e2.notes.contains(QStringLiteral("its length is unknown, so its ending is not looked for")), qPrintable(e2.notes.join(u'|')));
    }

    // The generated season: every opening and ending within 1 s, none where there is none;
    // accepting writes them as chapters.
    void a_season_gets_its_openings_and_endings() {
        const auto expected = truth();
        QCOMPARE(expected.size(), 6u);
        Setup s;
        std::vector<Choice> files;
        for (int i = 1; i <= 6; ++i)
            files.push_back(episode_file(QStringLiteral("e%1.mkv").arg(i, 2, 10, QLatin1Char('0'))));
        s.backend.load_choices(files);
        detect(s);
        const QVariantList found = s.backend.detection()->suggestions();
        QCOMPARE(found.size(), 6);
        int best_ending = 0;
        for (int i = 0; i < 6; ++i) {
            const QVariantMap f = found[i].toMap();
            const QString opening = f[QStringLiteral("opening")].toString(), ending = f[QStringLiteral("ending")].toString();
            const Truth &t = expected[static_cast<std::size_t>(i)];
            const QString where = QStringLiteral("episode %1: %2 / %3 / %4").arg(i + 1).arg(opening, ending, f[QStringLiteral("notes")].toString());
            if (t.from) {
                QVERIFY2(!opening.isEmpty(), qPrintable(where));
                QVERIFY2(std::abs(seconds(opening.section(QStringLiteral(" \u2013 "), 0, 0)) - *t.from) <= 1.0, qPrintable(where));
                QVERIFY2(std::abs(seconds(opening.section(QStringLiteral(" \u2013 "), 1, 1)) - *t.to) <= 1.0, qPrintable(where));
            } else {
                QVERIFY2(opening.isEmpty(), qPrintable(where));
                QVERIFY2(f[QStringLiteral("notes")].toString().contains(QStringLiteral("no opening found")), qPrintable(where));
            }
            QVERIFY2(std::abs(seconds(ending.section(QStringLiteral(" \u2013 "), 0, 0)) - t.ending_from) <= 1.0, qPrintable(where));
            // The music stops cleanly here: the drop in loudness puts the end within 0.1 s.
            QVERIFY2(std::abs(seconds(ending.section(QStringLiteral(" \u2013 "), 1, 1)) - t.ending_to) <= 0.1, qPrintable(where));
            best_ending = std::max(best_ending, f[QStringLiteral("ending_confidence")].toInt());
        }
        // The same ending in every episode: all the others agree on one at least.
        QCOMPARE(best_ending, 100);
        // Episode 1's chapter boundaries lie 0.4 s off the songs: the suggestion takes them.
        QCOMPARE(found[0].toMap()[QStringLiteral("opening")].toString().left(9), QStringLiteral("00:17.400"));
        QCOMPARE(found[1].toMap()[QStringLiteral("change")].toString(), QStringLiteral("adds chapters (the file has none)"));
        QCOMPARE(found[0].toMap()[QStringLiteral("change")].toString(), QStringLiteral("2 splits"));
        QVERIFY(s.backend.history()->unsaved_files().isEmpty()); // nothing changes before accepting

        QCOMPARE(s.backend.detection()->accept_suggestions(), 6);
        QVERIFY(s.backend.detection()->suggestions().isEmpty()); // done with: none left to accept again
        s.backend.select_file(1);
        QStringList rows;
        for (const auto &r : s.chapters.rows())
            rows << r.name + QLatin1Char('|') + QString::number(r.skip_type);
        QCOMPARE(rows, (QStringList{"Chapter 1|-1", "Opening|1", "Chapter 3|-1", "Ending|2", "Chapter 3 (continued)|-1"}));
        const QString xml = QString::fromUtf8(chapters_document(s.backend.active_document()->state().editions));
        QVERIFY(xml.contains(QStringLiteral("<ChapterString>Opening</ChapterString>")));
        QCOMPARE(xml.count(QStringLiteral("<ChapterSkipType>")), 2);
        s.backend.select_file(3); // no opening: only its ending is marked
        QCOMPARE(s.chapters.rows()[2].name, QStringLiteral("Ending"));
        QCOMPARE(s.chapters.rows().size(), 4u);
    }

    // Seasons that hold what real releases hold (tests/make_seasons.py): each boundary within
    // 1 s of the truth, none where there is none, and nothing doubtful.
    void seasons_like_real_ones_data() {
        QTest::addColumn<QString>("season");
        QTest::newRow("the opening from 0:00, the ending to the end") << "edges";
        QTest::newRow("4-minute episodes: head and tail apart") << "short";
        QTest::newRow("a cold open longer than the first part searched") << "cold-open";
        QTest::newRow("5.1, the back lagging the front") << "surround";
        QTest::newRow("talk over the opening's start in some") << "dialogue";
        QTest::newRow("a sting after the ending, past a breath") << "sting";
        QTest::newRow("an opening edited down in one") << "edited";
        QTest::newRow("a music cue in all; one episode without the opening, with its own ending") << "cue";
        QTest::newRow("an ending that starts between the parts searched") << "early-ending";
        QTest::newRow("two seasons at once") << "mixed";
    }
    void seasons_like_real_ones() {
        QFETCH(QString, season);
        const QDir dir(qEnvironmentVariable("PERLANE_SEASONS_DIR") + QLatin1Char('/') + season);
        QFile file(dir.filePath(QStringLiteral("truth.json")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonArray truth = QJsonDocument::fromJson(file.readAll()).object()[QStringLiteral("episodes")].toArray();
        Setup s;
        std::vector<Choice> files;
        for (const QJsonValue &t : truth)
            files.push_back(dir.filePath(t[QStringLiteral("file")].toString()));
        s.backend.load_choices(files);
        detect(s);
        const QVariantList found = s.backend.detection()->suggestions();
        QCOMPARE(found.size(), truth.size());
        for (qsizetype i = 0; i < truth.size(); ++i) {
            const QVariantMap f = found[i].toMap();
            const QString where = QStringLiteral("%1: %2 / %3 / %4 %5").arg(truth[i][QStringLiteral("file")].toString(),
                f[QStringLiteral("opening")].toString(), f[QStringLiteral("ending")].toString(), f[QStringLiteral("doubt")].toString(),
                f[QStringLiteral("notes")].toString());
            for (const char *part : {"opening", "ending"}) {
                const QJsonArray want = truth[i][QLatin1StringView(part)].toArray();
                const QString got = f[QLatin1StringView(part)].toString();
                QVERIFY2(got.isEmpty() == want.isEmpty(), qPrintable(where));
                if (want.isEmpty())
                    continue;
                // Under talk the song's start is within 2 s.
                const double start_goal = part == QLatin1StringView("opening") ? truth[i][QStringLiteral("start_tolerance")].toDouble(1.0) : 1.0;
                const double end_goal = 1.0;
                QVERIFY2(std::abs(seconds(got.section(QStringLiteral(" \u2013 "), 0, 0)) - want[0].toDouble()) <= start_goal, qPrintable(where));
                QVERIFY2(std::abs(seconds(got.section(QStringLiteral(" \u2013 "), 1, 1)) - want[1].toDouble()) <= end_goal, qPrintable(where));
            }
            const bool any = !f[QStringLiteral("opening")].toString().isEmpty() || !f[QStringLiteral("ending")].toString().isEmpty();
            QVERIFY2(f[QStringLiteral("doubt")].toString().isEmpty() && f[QStringLiteral("accepted")].toBool() == any, qPrintable(where));
        }
        if (season == QLatin1StringView("cold-open")) {
            // Found again by the same finder: its second round (reading on past the part) too.
            detect(s);
            QCOMPARE(s.backend.detection()->suggestions(), found);
        }
        if (season != QLatin1StringView("edges"))
            return;
        // Its chapters lie near the songs: a "Credits" chapter 3 s into the ending and a
        // "Next" one 4 s before its end go into the marked ending, and the preview says so.
        QCOMPARE(found[0].toMap()[QStringLiteral("change")].toString(),
                 QStringLiteral("2 splits; the ending takes in \u201CCredits\u201D, \u201CNext\u201D"));
        QCOMPARE(s.backend.detection()->accept_suggestions(), static_cast<int>(truth.size()));
        QStringList rows;
        for (const auto &r : s.chapters.rows())
            rows << r.name + QLatin1Char('|') + QString::number(r.skip_type);
        // The opening song ends 0.6 s before "Part A": the "Intro" chapter keeps what is between.
        QCOMPARE(rows, (QStringList{"Opening|1", "Intro|-1", "Part A|-1", "Ending|2"}));
        // One Undo takes the marking back in every episode.
        s.backend.history()->undo();
        QVERIFY(s.backend.history()->unsaved_files().isEmpty());
        s.backend.history()->redo();
        QCOMPARE(s.backend.history()->unsaved_files().size(), truth.size());
    }

    void cancel_stops_it() {
        Setup s;
        s.backend.load_choices({episode_file(QStringLiteral("e01.mkv")), episode_file(QStringLiteral("e02.mkv"))});
        QSignalSpy finished(s.backend.detection(), &Detection::detection_finished);
        s.backend.detection()->detect_openings();
        QSignalSpy progress(s.backend.detection(), &Detection::detection_progress_changed);
        s.backend.detection()->cancel_detection();
        QVERIFY(!s.backend.detection()->detecting());
        QCOMPARE(progress.count(), 1); // the window hears that it stopped
        QVERIFY(!finished.wait(3000));
        QVERIFY(s.backend.detection()->suggestions().isEmpty());
    }

    // An episode replaced and read again after the search: what no longer fits is said, by file.
    void what_cannot_be_marked_is_said() {
        MediaWork work;
        const QString e01 = work.dir.filePath(QStringLiteral("e01.mkv")), e02 = work.dir.filePath(QStringLiteral("e02.mkv"));
        QVERIFY(QFile::copy(episode_file(QStringLiteral("e01.mkv")), e01) && QFile::copy(episode_file(QStringLiteral("e02.mkv")), e02));
        Setup s;
        s.backend.load_choices({e01, e02});
        detect(s);
        QVERIFY(seconds(s.backend.detection()->suggestions()[0].toMap()[QStringLiteral("ending")].toString().left(9)) > 180);
        // Ten seconds long now: neither song, found at 0:17 and 8:10, is in it any more.
        QVERIFY(QFile::remove(e01));
        QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {"-loglevel", "error", "-i", media(QStringLiteral("s01e01.mkv")),
                                                              "-t", "10", "-c", "copy", e01}),
                 0);
        s.backend.select_file(0);
        s.backend.saves()->reload_file();
        QCOMPARE(s.backend.detection()->accept_suggestions(), 1); // e02 alone
        const QString said = s.backend.saves()->save_status();
        QVERIFY2(said.contains(QStringLiteral(" Not marked: e01.mkv (opening: ")) && said.contains(QStringLiteral("; e01.mkv (ending: ")),
                 qPrintable(said));
    }

    void bad_input_says_why_per_file() {
        MediaWork work;
        const QString gone = work.dir.filePath(QStringLiteral("gone.mkv"));
        QVERIFY(QFile::copy(episode_file(QStringLiteral("e01.mkv")), gone));
        const QString cut = work.dir.filePath(QStringLiteral("cut.mkv"));
        {
            QFile from(episode_file(QStringLiteral("e03.mkv"))), to(cut);
            QVERIFY(from.open(QIODevice::ReadOnly) && to.open(QIODevice::WriteOnly));
            to.write(from.read(6000)); // the metadata, no audio
        }
        Setup s;
        s.backend.load_choices({gone, cut, media(QStringLiteral("webm.webm")), episode_file(QStringLiteral("e02.mkv"))});
        QCOMPARE(s.backend.documents().size(), 4u);
        QVERIFY(QFile::remove(gone)); // removed before ffmpeg reads it
        detect(s);
        const QVariantList found = s.backend.detection()->suggestions();
        auto notes = [&](int i) { return found[i].toMap()[QStringLiteral("notes")].toString(); };
        QVERIFY2(notes(0).startsWith(QStringLiteral("its audio could not be read: ")), qPrintable(notes(0)));
        QVERIFY2(notes(1).contains(QStringLiteral("could not be read")) || notes(1).contains(QStringLiteral("no fingerprint")),
                 qPrintable(notes(1)));
        QCOMPARE(notes(2), QStringLiteral("it has no audio track"));
        for (const QVariant &f : found)
            QVERIFY(f.toMap()[QStringLiteral("opening")].toString().isEmpty()); // one good episode is too little
        detect(s); // again: the first run's findings are not shown while it runs
        QCOMPARE(s.backend.detection()->accept_suggestions(), 0);

        // One file alone, and no ffmpeg at all.
        Setup one;
        one.backend.load_choices({episode_file(QStringLiteral("e01.mkv"))});
        detect(one);
        QCOMPARE(one.backend.detection()->suggestions()[0].toMap()[QStringLiteral("notes")].toString(),
                 QStringLiteral("at least two episodes with audio must be open to compare them"));
        work.stand_in("exit 0"); // a PATH with mkvpropedit only
        qputenv("PATH", work.dir.filePath(QStringLiteral("bin")).toUtf8());
        Setup none;
        none.backend.load_choices({episode_file(QStringLiteral("e01.mkv")), episode_file(QStringLiteral("e02.mkv"))});
        detect(none);
        work.restore_path();
        QCOMPARE(none.backend.detection()->suggestions()[0].toMap()[QStringLiteral("notes")].toString(),
                 QStringLiteral("ffmpeg could not be started (install the ffmpeg package)"));

        // An ffmpeg that fails: its last line is the reason (the lines before it are context).
        QFile fake(work.dir.filePath(QStringLiteral("bin/ffmpeg")));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\necho '[matroska @ 0x1] some context' >&2\necho 'input.mkv: the reason' >&2\nexit 1\n");
        fake.close();
        fake.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", work.dir.filePath(QStringLiteral("bin")).toUtf8());
        Setup failing;
        failing.backend.load_choices({episode_file(QStringLiteral("e01.mkv")), episode_file(QStringLiteral("e02.mkv"))});
        detect(failing);
        work.restore_path();
        const QString said = failing.backend.detection()->suggestions()[0].toMap()[QStringLiteral("notes")].toString();
        QCOMPARE(said, QStringLiteral("its audio could not be read: input.mkv: the reason"));
    }
};

QTEST_GUILESS_MAIN(TestOpenings)
#include "tst_openings.moc"
