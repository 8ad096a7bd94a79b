// Backend with real files: loading, track settings, chapters, times and the two splits.
#include "backend.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace perlane;
using chapter_list::ChapterInfo;
using chapter_list::ChapterList;
using track_list::TrackInfo;
using track_list::TrackList;

namespace {

QString media(const char *name) {
    return qEnvironmentVariable("PERLANE_MEDIA_DIR") + QLatin1Char('/') + QString::fromLatin1(name);
}

// A chooser that answers with a fixed result.
class FixedPicker : public FilePicker {
public:
    explicit FixedPicker(std::optional<QStringList> answer) : answer_(std::move(answer)) {}
    std::optional<std::vector<Choice>> pick_files() override {
        ++calls;
        if (!answer_)
            return std::nullopt;
        return std::vector<Choice>(answer_->begin(), answer_->end());
    }
    int calls = 0;

private:
    std::optional<QStringList> answer_;
};

// A backend with its two models, as QML sets it up.
struct Setup {
    Setup() {
        backend.set_tracks(&tracks);
        backend.set_chapters(&chapters);
    }
    TrackList tracks;
    ChapterList chapters;
    Backend backend;

    QStringList chapter_texts() const {
        QStringList out;
        for (const ChapterInfo &r : chapters.rows())
            out << QStringLiteral("%1|%2|%3|%4|%5|%6%7")
                       .arg(r.edx)
                       .arg(r.idx)
                       .arg(r.name, r.start, r.end, r.duration, r.qualifies ? QStringLiteral("*") : QString());
        return out;
    }
    QStringList track_texts() const {
        QStringList out;
        for (const TrackInfo &r : tracks.rows())
            out << QStringLiteral("%1|%2|%3|%4|%5|%6")
                       .arg(r.disc)
                       .arg(r.number)
                       .arg(r.variant, r.name, r.language, r.is_default ? QStringLiteral("default") : QString());
        return out;
    }
    const Editions &editions() const { return backend.active_document()->state().editions; }
    const reader::ChapterAtom &atom(std::size_t edition, std::size_t i) const {
        return editions().at(edition).chapter_atom.at(i);
    }
};

// Every row of a model as QML reads it: each role by its name, the row's key left out (it
// is made for the session).
QStringList as_qml_reads(const QAbstractListModel &model) {
    const auto roles = model.roleNames();
    QList<int> numbers = roles.keys();
    std::sort(numbers.begin(), numbers.end());
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList fields;
        for (int role : numbers)
            if (roles[role] != "key")
                fields << QString::fromLatin1(roles[role]) + u'=' + model.data(model.index(row, 0), role).toString();
        out << fields.join(u'|');
    }
    return out;
}

// Captures what is written to standard error meanwhile.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        saved_ = ::dup(2);
        file_ = std::tmpfile();
        ::dup2(::fileno(file_), 2);
    }
    QString take() {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        std::rewind(file_);
        QByteArray text;
        char buf[512];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, file_))
            text.append(buf, static_cast<qsizetype>(n));
        std::fclose(file_);
        return QString::fromUtf8(text);
    }

private:
    int saved_ = -1;
    std::FILE *file_ = nullptr;
};

} // namespace

class TestBackendLoad : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // What the window shows of each row, every role compared: nested chapters, edition labels,
    // skip types, the players' verdicts and the fix offered, and the tracks' flags.
    void every_role_reads_as_the_window_shows_it() {
        Setup s;
        QVERIFY(!s.backend.add_file(media("editions.mkv")));
        const QString rest = QStringLiteral("|skipType=-1|players=|fix=");
        QCOMPARE(as_qml_reads(s.chapters),
                 (QStringList{
                     "edx=0|idx=0|name=Cold open|start=00:00.000|end=00:10.000|duration=00:10.000|qualifies=false|editionLabel=Edition 1" +
                         rest + "|nested=|startMs=0|endMs=10000",
                     "edx=0|idx=1|name=Main|start=00:10.000|end=05:10.000|duration=05:00.000|qualifies=false|editionLabel=Edition 1" +
                         rest + "|nested=|startMs=10000|endMs=310000",
                     "edx=0|idx=2|name=Short|start=05:10.000|end=06:30.000|duration=01:20.000|qualifies=false|editionLabel=Edition 1" +
                         rest + "|nested=|startMs=310000|endMs=390000",
                     "edx=1|idx=3|name=Teil eins|start=00:00.000|end=03:00.000|duration=03:00.000|qualifies=false|editionLabel=Edition 2 "
                     "\u00B7 ordered" + rest + "|nested=  Inner  00:00.000\u201301:00.000|startMs=0|endMs=180000",
                     "edx=1|idx=4|name=Part two|start=03:00.000|end=06:00.000|duration=03:00.000|qualifies=false|editionLabel=Edition 2 "
                     "\u00B7 ordered" + rest + "|nested=|startMs=180000|endMs=360000"}));
        QVERIFY(!s.backend.add_file(media("full.mkv")));
        s.backend.select_file(1);
        QVERIFY(s.backend.chapter_edits()->mark_chapter(0, 1, QStringLiteral("opening")));
        s.backend.set_chapter_name(0, 0, QStringLiteral("Recap"));
        QVERIFY(s.backend.chapter_edits()->mark_chapter(0, 2, QStringLiteral("preview")));
        s.backend.set_chapter_name(0, 2, QStringLiteral("Next time")); // a name no player knows
        QCOMPARE(as_qml_reads(s.chapters),
                 (QStringList{
                     "edx=0|idx=0|name=Recap|start=00:00.000|end=00:10.000|duration=00:10.000|qualifies=false|editionLabel=Edition 1" +
                         rest + "|nested=|startMs=0|endMs=10000",
                     "edx=0|idx=1|name=Opening|start=00:10.000|end=01:40.000|duration=01:30.000|qualifies=true|editionLabel=Edition 1"
                     "|skipType=1|players=Jellyfin: intro \u00B7 mpv: opening|fix=|nested=|startMs=10000|endMs=100000",
                     "edx=0|idx=2|name=Next time|start=01:40.000|end=03:00.000|duration=01:20.000|qualifies=false|editionLabel=Edition 1"
                     "|skipType=4|players=|fix=preview|nested=|startMs=100000|endMs=180000"}));
        const QString flags = QStringLiteral("|forced=0|hearingImpaired=-1|visualImpaired=-1|textDescriptions=-1|original=-1|commentary=-1|enabled=1");
        QCOMPARE(as_qml_reads(s.tracks),
                 (QStringList{"disc=Episode 1|number=1|variant=Video|name=Picture|language=und|isDefault=false" + flags +
                                  "|languageName=Undetermined|pending=false|effectiveLanguage=und",
                              "disc=Episode 1|number=2|variant=Audio|name=Stereo|language=jpn|isDefault=false" + flags +
                                  "|languageName=Japanese|pending=false|effectiveLanguage=ja",
                              "disc=Episode 1|number=3|variant=Audio|name=Commentary|language=eng|isDefault=true" + flags +
                                  "|languageName=English|pending=false|effectiveLanguage=en"}));
    }

    void times_print_as_minutes_seconds_milliseconds() {
        QCOMPARE(Time{90000}.to_string(), QStringLiteral("01:30.000"));
        QCOMPARE(Time{0}.to_string(), QStringLiteral("00:00.000"));
        QCOMPARE(Time{4500000}.to_string(), QStringLiteral("75:00.000")); // minutes are not reduced
        QCOMPARE(Time{754567}.to_string(), QStringLiteral("12:34.567"));
    }

    void two_segments_are_skipped_with_a_message() {
        Setup s;
        QSignalSpy names(&s.backend, &Backend::file_names_changed);
        StderrCapture err;
        const auto why = s.backend.add_file(media("two.mkv"));
        const QString text = err.take();
        QVERIFY(why.has_value());
        QCOMPARE(text, QStringLiteral("Unsupported number of segments: '2', contact developer\n"));
        QCOMPARE(names.size(), 0);
        QVERIFY(s.backend.documents().empty());
    }

    void unreadable_files_change_nothing() {
        Setup s;
        QSignalSpy names(&s.backend, &Backend::file_names_changed);
        QVERIFY(s.backend.add_file(QStringLiteral("/nonexistent/x.mkv")));
        QVERIFY(s.backend.add_file(media("chapters.txt")));
        QCOMPARE(names.size(), 0);
        QVERIFY(s.backend.documents().empty());
    }

    void first_file_fills_the_models_and_stays_active() {
        Setup s;
        QVERIFY(!s.backend.add_file(media("full.mkv")));
        QCOMPARE(s.backend.active_file_name(), QStringLiteral("full.mkv"));
        // "language" is the Language element; the IETF tag mkvmerge wrote beside it is what
        // the window edits.
        QCOMPARE(s.track_texts(), (QStringList{"Episode 1|1|Video|Picture|und|",
                                               "Episode 1|2|Audio|Stereo|jpn|",
                                               "Episode 1|3|Audio|Commentary|eng|default"}));
        QCOMPARE(s.tracks.data(s.tracks.index(1), TrackInfo::EffectiveLanguage).toString(), QStringLiteral("ja"));
        QCOMPARE(s.tracks.roleNames().value(TrackInfo::EffectiveLanguage), QByteArray("effectiveLanguage"));
        // A simple chapter list has no ends: each runs to the next, the last to the end.
        QCOMPARE(s.chapter_texts(), (QStringList{"0|0|Intro|00:00.000|00:10.000|00:10.000",
                                                 "0|1|Opening|00:10.000|01:40.000|01:30.000*",
                                                 "0|2|Episode|01:40.000|03:00.000|01:20.000"}));
        QVERIFY(!s.backend.add_file(media("ffmpeg.mkv")));
        QCOMPARE(s.backend.active_file_name(), QStringLiteral("full.mkv"));
        s.backend.select_file(1);
        QVERIFY(!s.backend.add_file(media("full.mkv"))); // listed already: selected, not listed twice
        QCOMPARE(s.backend.file_names(), (QStringList{"full.mkv", "ffmpeg.mkv"}));
        QCOMPARE(s.backend.active_file_name(), QStringLiteral("full.mkv"));
        // The same file under another name is the same document too.
        QTemporaryDir other;
        const QString alias = other.filePath(QStringLiteral("alias.mkv"));
        QVERIFY(QFile::link(media("full.mkv"), alias));
        s.backend.select_file(1);
        QVERIFY(!s.backend.add_file(alias));
        QCOMPARE(s.backend.file_names(), (QStringList{"full.mkv", "ffmpeg.mkv"}));
        QCOMPARE(s.backend.active_file_name(), QStringLiteral("full.mkv"));
        s.backend.select_file(1); // no chapters
        QVERIFY(s.chapters.rows().empty());
        QCOMPARE(s.tracks.rows().size(), 2u);
        QCOMPARE(s.tracks.rows()[0].disc, QStringLiteral("From ffmpeg"));
    }

    void chapter_times_do_not_depend_on_the_timestamp_scale() {
        Setup s;
        QVERIFY(!s.backend.add_file(media("scale.mkv")));
        QCOMPARE(s.backend.active_document()->info().timestamp_scale.value, 100000ull);
        QCOMPARE(s.chapter_texts(), (QStringList{"0|0|Intro|00:00.000|00:10.000|00:10.000",
                                                 "0|1|Opening|00:10.000|01:40.000|01:30.000*",
                                                 "0|2|Episode|01:40.000|03:00.000|01:20.000"}));
    }

    void editions_splits_and_renames_keep_rows_and_data_in_step() {
        Setup s;
        QVERIFY(!s.backend.add_file(media("editions.mkv")));
        QCOMPARE(s.chapter_texts(), (QStringList{"0|0|Cold open|00:00.000|00:10.000|00:10.000",
                                                 "0|1|Main|00:10.000|05:10.000|05:00.000",
                                                 "0|2|Short|05:10.000|06:30.000|01:20.000",
                                                 "1|3|Teil eins|00:00.000|03:00.000|03:00.000",
                                                 "1|4|Part two|03:00.000|06:00.000|03:00.000"}));
        QCOMPARE(s.editions()[0].chapter_atom.size(), 4u); // the atom without display is kept
        QCOMPARE(s.chapters.rows()[3].nested, QStringLiteral("  Inner  00:00.000\u201301:00.000")); // indented by its depth

        // Rename in the second edition: found through the row's edition.
        s.backend.set_chapter_name(1, 3, QStringLiteral("Erster Teil"));
        QCOMPARE(s.atom(1, 0).chapter_display[0].chap_string.value, std::string("Erster Teil"));
        QCOMPARE(s.atom(1, 0).chapter_display[1].chap_string.value, std::string("Part one"));
        QVERIFY(s.backend.history()->active_modified());
        // A mismatched edition changes nothing, rows included.
        s.backend.set_chapter_name(0, 4, QStringLiteral("x"));
        QCOMPARE(s.atom(1, 1).chapter_display[0].chap_string.value, std::string("Part two"));
        QCOMPARE(s.chapters.rows()[4].name, QStringLiteral("Part two"));

        // The worked example: 00:10.000 lasting 05:00.000, split at the start.
        s.backend.insert_chapter_start(0, 1);
        QCOMPARE(s.chapter_texts().mid(1, 2), (QStringList{"0|1|Main (first 90 s)|00:10.000|01:40.000|01:30.000*",
                                                           "0|2|Main|01:40.000|05:10.000|03:30.000"}));
        // The 90 s piece is new (90000 - 90000 is no UID, so one above the largest); the rest
        // is still the chapter it was.
        QCOMPARE(s.atom(0, 1).chapter_uid.value, 300001ull);
        QCOMPARE(s.atom(0, 1).chapter_time_end->value, 100'000'000'000ull);
        QCOMPARE(s.atom(0, 2).chapter_uid.value, 90000ull);
        QCOMPARE(s.atom(0, 2).chapter_time_end->value, 310'000'000'000ull);

        // Split off the end of "Part two" (now row 5) in the second edition.
        s.backend.insert_chapter_end(1, 5);
        QCOMPARE(s.chapter_texts().mid(5), (QStringList{"1|5|Part two|03:00.000|04:30.000|01:30.000*",
                                                        "1|6|Part two (last 90 s)|04:30.000|06:00.000|01:30.000*"}));
        QCOMPARE(s.atom(1, 1).chapter_uid.value, 190000ull);
        QCOMPARE(s.atom(1, 2).chapter_uid.value, 300002ull); // 190000 - 90000 is taken: above the largest

        // An 80 s chapter is not split.
        const QStringList before = s.chapter_texts();
        s.backend.insert_chapter_start(0, 3);
        s.backend.insert_chapter_end(0, 3);
        QCOMPARE(s.chapter_texts(), before);
        // Rows that do not exist change nothing.
        s.backend.insert_chapter_start(0, 99);
        QCOMPARE(s.chapter_texts(), before);

        // Renaming after the splits still finds the right chapter.
        s.backend.set_chapter_name(1, 6, QStringLiteral("Credits"));
        QCOMPARE(s.atom(1, 2).chapter_display[0].chap_string.value, std::string("Credits"));
        QCOMPARE(s.chapters.rows()[6].name, QStringLiteral("Credits"));
    }

    void new_uids_never_wrap_or_collide() {
        Setup s;
        QVERIFY(!s.backend.add_file(media("editions.mkv")));
        s.backend.insert_chapter_start(1, 3); // UID 7: 7 - 90000 would wrap
        QCOMPARE(s.atom(1, 0).chapter_uid.value, 300001ull); // above the largest UID in the file
        QVERIFY(s.atom(1, 0).chapter_atom.empty());
        QCOMPARE(s.atom(1, 1).chapter_uid.value, 7ull); // with its nested chapter
        QCOMPARE(s.atom(1, 1).chapter_atom.size(), 1u);
        s.backend.insert_chapter_start(0, 1); // UID 90000: 0 is not a UID
        QCOMPARE(s.atom(0, 1).chapter_uid.value, 300002ull);
        QVERIFY(s.backend.chapter_edits()->delete_chapter(0, 0)); // UID 100000 is free again
        s.backend.insert_chapter_end(1, 5); // "Part two", 190000: 100000 is free
        QCOMPARE(s.atom(1, 3).chapter_uid.value, 100000ull);
        s.backend.insert_chapter_end(0, 0); // the 100 s head: its last 90 s, and the UIDs stay unique
        std::set<std::uint64_t> uids;
        for (const auto &e : s.editions())
            for (const auto &a : e.chapter_atom)
                QVERIFY(uids.insert(a.chapter_uid.value).second);
    }

    void split_at_the_end_of_a_chapter_without_end() {
        Setup s;
        QVERIFY(!s.backend.add_file(media("full.mkv")));
        s.backend.insert_chapter_end(0, 1); // "Opening" is exactly 90 s: nothing
        QCOMPARE(s.chapters.rows().size(), 3u);
        s.backend.insert_chapter_end(0, 0); // "Intro" is 10 s: nothing
        QCOMPARE(s.chapters.rows().size(), 3u);
        QVERIFY(!s.backend.history()->active_modified());
        s.backend.insert_chapter_start(0, 1);
        QCOMPARE(s.chapters.rows().size(), 3u);
    }

    // A key names its chapter or track whatever the rows show by the time it is used, and
    // never another open file's, though the copy has the same UIDs.
    void keys_reach_what_they_were_taken_from() {
        Setup s;
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("copy.mkv"));
        QVERIFY(QFile::copy(media("editions.mkv"), copy));
        QVERIFY(!s.backend.add_file(media("editions.mkv")));
        QVERIFY(!s.backend.add_file(copy));
        const QString short_key = s.chapters.rows()[2].key, part_two = s.chapters.rows()[4].key;
        const QString audio = s.tracks.rows()[1].key;
        s.backend.insert_chapter_start(0, 1); // "Short" moves to row 3
        QVERIFY(s.backend.chapter_edits()->set_chapter_name_by_key(short_key, QStringLiteral("Brief")));
        QCOMPARE(s.chapters.rows()[3].name, QStringLiteral("Brief"));
        QCOMPARE(s.chapters.rows()[2].name, QStringLiteral("Main"));
        QVERIFY(s.backend.chapter_edits()->mark_chapter_by_key(part_two, QStringLiteral("ending")));
        QCOMPARE(s.chapters.rows()[5].skip_type, 2);

        s.backend.select_file(1);
        const QStringList before = s.chapter_texts(), tracks_before = s.track_texts();
        QVERIFY(!s.backend.chapter_edits()->set_chapter_name_by_key(short_key, QStringLiteral("Wrong file")));
        QVERIFY(!s.backend.chapter_edits()->delete_chapter_by_key(part_two));
        QVERIFY(!s.backend.track_edits()->set_track_name_by_key(audio, QStringLiteral("Wrong file")));
        QVERIFY(!s.backend.track_edits()->set_track_flag_by_key(audio, QStringLiteral("commentary"), 1));
        QVERIFY(!s.backend.track_edits()->set_track_language_by_key(audio, QStringLiteral("de")));
        QVERIFY(!s.backend.track_edits()->set_track_language_by_key(QStringLiteral("no key"), QStringLiteral("de")));
        QCOMPARE(s.chapter_texts(), before);
        QCOMPARE(s.track_texts(), tracks_before);
        QVERIFY(!s.backend.history()->active_modified());

        s.backend.select_file(0);
        QVERIFY(s.backend.track_edits()->set_track_name_by_key(audio, QStringLiteral("Mine")));
        QCOMPARE(s.tracks.rows()[1].name, QStringLiteral("Mine"));
        // What is already so is no edit, and is not said to be one.
        QVERIFY(!s.backend.track_edits()->set_track_name_by_key(audio, QStringLiteral("Mine")));
        QVERIFY(!s.backend.track_edits()->set_track_default_by_key(audio, s.tracks.rows()[1].is_default));
        QVERIFY(s.backend.chapter_edits()->delete_chapter_by_key(short_key));
        QVERIFY(!s.backend.chapter_edits()->set_chapter_start_by_key(short_key, 1000)); // gone: nothing else moves
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("That chapter is no longer in the active file. Nothing was changed."));
        QVERIFY(!s.backend.chapter_edits()->set_chapter_name_by_key(QStringLiteral("c:1:2"), QStringLiteral("x")));
        // A part that is not a number names nothing, not the chapter whose part is 0.
        QString garbled = s.chapters.rows()[0].key;
        QVERIFY(garbled.endsWith(QStringLiteral(":0")));
        garbled.back() = QLatin1Char('x');
        QVERIFY(!s.backend.chapter_edits()->set_chapter_name_by_key(garbled, QStringLiteral("x")));
        QVERIFY(s.chapters.rows()[0].name != QStringLiteral("x"));
    }

    void track_slots_edit_the_active_file_only() {
        Setup s;
        QVERIFY(!s.backend.add_file(media("full.mkv")));
        QVERIFY(!s.backend.add_file(media("same_title.mkv")));
        QVERIFY(!s.backend.add_file(media("scale.mkv")));
        s.backend.set_track_name(QStringLiteral("Episode 1"), 2, QStringLiteral("Japanese"));
        s.backend.set_track_default(QStringLiteral("Episode 1"), 2, true);
        s.backend.set_track_language(QStringLiteral("Other title"), 2, QStringLiteral("fre"));
        s.backend.set_track_language(QStringLiteral("Episode 1"), 9, QStringLiteral("fre"));
        s.backend.select_file(1); // same title, its own values
        QCOMPARE(s.track_texts(), (QStringList{"Episode 1|1|Video|Other|und|",
                                               "Episode 1|2|Audio|Dub|und|"}));
        s.backend.select_file(0);
        QCOMPARE(s.track_texts()[1], QStringLiteral("Episode 1|2|Audio|Japanese|jpn|default"));
        s.backend.select_file(2); // untitled: the disc is empty text
        s.backend.set_track_language(QString(), 1, QStringLiteral(" ger "));
        s.backend.set_track_name(QString(), 1, QStringLiteral("Bild"));
        s.backend.select_file(2);
        QCOMPARE(s.track_texts()[0], QStringLiteral("|1|Video|Bild|ger|"));
        // Back to the value read: no pending edit there.
        s.backend.set_track_name(QString(), 1, QString());
        s.backend.set_track_language(QString(), 1, QStringLiteral("und"));
        QCOMPARE(s.backend.history()->modified_rows(), (QVariantList{true, false, false}));
        // Removing the one unsaved file: the list's marks and the unsaved state are told.
        QSignalSpy told(s.backend.history(), &EditHistory::modified_changed);
        s.backend.delete_file(0);
        QCOMPARE(told.size(), 1);
        QCOMPARE(s.backend.history()->modified_rows(), (QVariantList{false, false}));
    }

    void open_and_add_through_the_chooser() {
        Setup s;
        auto picker = std::make_unique<FixedPicker>(QStringList{media("full.mkv"), media("ffmpeg.mkv")});
        s.backend.set_picker(std::move(picker));
        s.backend.add_files();
        QCOMPARE(s.backend.file_names(), (QStringList{"full.mkv", "ffmpeg.mkv"}));
        s.backend.select_file(1);

        // Cancelled: the list empties and nothing is active any more, so nothing unlisted
        // can be shown as modified, stepped through or saved.
        s.backend.set_track_name(QStringLiteral("From ffmpeg"), 1, QStringLiteral("edited"));
        QCOMPARE(s.backend.history()->modified_rows(), (QVariantList{false, true}));
        s.backend.set_picker(std::make_unique<FixedPicker>(QStringList{}));
        QSignalSpy names(&s.backend, &Backend::file_names_changed);
        s.backend.open_files();
        QCOMPARE(names.size(), 1);
        QVERIFY(s.backend.file_names().isEmpty());
        QCOMPARE(s.backend.active_file_name(), QString());
        QVERIFY(!s.backend.history()->active_modified());
        QVERIFY(s.backend.history()->unsaved_files().isEmpty());
        QCOMPARE(s.backend.prev_file(), -1);
        QCOMPARE(s.backend.next_file(), -1);
        s.backend.save_file();
        QVERIFY(!s.backend.saves()->saving());
        QVERIFY(s.backend.history()->modified_rows().isEmpty());
        QVERIFY(s.tracks.rows().empty() && s.chapters.rows().empty()); // the dropped file's rows went with it

        // No chooser at all: nothing changes.
        s.backend.set_picker(std::make_unique<FixedPicker>(std::nullopt));
        s.backend.add_files();
        s.backend.open_files();
        QCOMPARE(names.size(), 1);

        // After "open_files" the first file that loads becomes active.
        s.backend.set_picker(std::make_unique<FixedPicker>(
            QStringList{media("two.mkv"), media("scale.mkv"), media("full.mkv")}));
        StderrCapture err;
        s.backend.open_files();
        err.take();
        QCOMPARE(s.backend.file_names(), (QStringList{"scale.mkv", "full.mkv"}));
        QCOMPARE(s.backend.active_file_name(), QStringLiteral("scale.mkv"));
    }

    void bad_files_leave_the_list_unchanged_and_say_why() {
        Setup s;
        QVERIFY(!s.backend.add_file(media("full.mkv")));
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("fifo.mkv"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QFile empty(dir.filePath(QStringLiteral("empty.mkv")));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QFile locked(dir.filePath(QStringLiteral("locked.mkv")));
        QVERIFY(QFile::copy(media("full.mkv"), locked.fileName()));
        locked.setPermissions(QFileDevice::Permissions{});
        // A damaged file: the start of the Chapters body overwritten with junk.
        QFile deep(dir.filePath(QStringLiteral("deep.mkv")));
        {
            QFile source(media("full.mkv"));
            QVERIFY(source.open(QIODevice::ReadOnly) && deep.open(QIODevice::WriteOnly));
            QByteArray bytes = source.readAll();
            const qsizetype at = bytes.indexOf(QByteArray::fromHex("1043A770"));
            QVERIFY(at > 0);
            QByteArray nest;
            for (int i = 0; i < 60; ++i)
                nest += QByteArray::fromHex("B6FF");
            bytes.replace(at + 5, nest.size(), nest);
            deep.write(bytes);
            deep.close();
        }
        const QStringList paths{dir.path(), fifo, empty.fileName(), locked.fileName(),
                                dir.filePath(QStringLiteral("deleted.mkv")), deep.fileName()};
        s.backend.set_picker(std::make_unique<FixedPicker>(paths));
        QSignalSpy names(&s.backend, &Backend::file_names_changed);
        s.backend.add_files();
        const QStringList errors = s.backend.files()->load_errors();
        const bool root = ::geteuid() == 0; // root reads the locked file anyway
        QCOMPARE(s.backend.file_names().size(), root ? 2 : 1);
        QCOMPARE(errors.size(), root ? 5 : 6);
        QVERIFY2(errors.value(0).endsWith(QStringLiteral(": This is not a regular file but a folder, a device or a pipe.")), qPrintable(errors.join(u'|')));
        QCOMPARE(errors.value(1), QStringLiteral("fifo.mkv: This is not a regular file but a folder, a device or a pipe."));
        // Plain words first; the reader's own one click away.
        QCOMPARE(errors.value(2), QStringLiteral("empty.mkv: This file is empty."));
        QVERIFY(s.backend.files()->load_error_details().contains(QStringLiteral("empty.mkv: I/O error: failed to fill whole buffer")));
        QVERIFY2(errors.join(u'|').contains(QStringLiteral("deleted.mkv: It could not be opened: No such file or directory.")),
                 qPrintable(errors.join(u'|')));
        QVERIFY2(errors.last().startsWith(QStringLiteral("deep.mkv: ")), qPrintable(errors.last()));
        if (!root)
            QVERIFY(errors.join(u'|').contains(QStringLiteral("locked.mkv: It could not be opened: Permission denied.")));
        QCOMPARE(names.size(), root ? 1 : 0);
        s.backend.files()->dismiss_load_errors();
        QVERIFY(s.backend.files()->load_errors().isEmpty());
    }

    void deleting_the_last_file_keeps_the_rows() {
        Setup s;
        QVERIFY(!s.backend.add_file(media("full.mkv")));
        s.backend.delete_file(0);
        QCOMPARE(s.backend.active_file_name(), QString());
        QCOMPARE(s.tracks.rows().size(), 3u);
        QCOMPARE(s.chapters.rows().size(), 3u);
    }
};

QTEST_GUILESS_MAIN(TestBackendLoad)
#include "tst_backend_load.moc"
