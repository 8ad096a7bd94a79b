// Season rules over real episodes whose tracks differ (made by mkvmerge): each rule changes
// exactly the tracks it should, named by the UIDs mkvmerge reports, with the exact
// mkvpropedit arguments; and real round trips of every flag and of BCP 47 languages.
#include "backend_setup.h"
#include "media_files.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

using namespace perlane;

namespace {

using Setup = BackendSetup;
const QStringList episodes{"s01e01.mkv", "s01e02.mkv", "s01e03.mkv", "s01e04.mkv"};

QByteArray mkvmerge_json(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("mkvmerge"), {QStringLiteral("-J"), path});
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

QJsonArray mkvmerge_tracks(const QString &path) {
    return QJsonDocument::fromJson(mkvmerge_json(path)).object()[QStringLiteral("tracks")].toArray();
}

// The UID mkvmerge reports for the track with this name (the `nth` of them). UIDs are
// taken from the text: JSON numbers past 2^53 do not survive a double.
QString uid(const QString &path, const QString &name, int nth = 0) {
    const QByteArray text = mkvmerge_json(path);
    QStringList uids;
    static const QRegularExpression uid_field(QStringLiteral("\"uid\": (\\d+)"));
    for (auto m = uid_field.globalMatch(QString::fromUtf8(text)); m.hasNext();)
        uids << m.next().captured(1);
    const QJsonArray tracks = QJsonDocument::fromJson(text).object()[QStringLiteral("tracks")].toArray();
    for (qsizetype i = 0; i < tracks.size() && i < uids.size(); ++i)
        if (tracks[i].toObject()[QStringLiteral("properties")].toObject()[QStringLiteral("track_name")].toString() == name && nth-- == 0)
            return uids[i];
    return QStringLiteral("missing");
}

QString edit(const QString &path, const QString &name, const QString &sets, int nth = 0) {
    return QStringLiteral("--edit track:=") + uid(path, name, nth) + QLatin1Char(' ') + sets;
}

// Every open file's planned track arguments, one line per file.
QStringList arguments(const Backend &b) {
    QStringList out;
    for (const auto &doc : b.documents())
        out << plan_save(*doc).track_arguments.join(QLatin1Char(' '));
    return out;
}

void open_season(Setup &s, const QStringList &paths) {
    std::vector<Choice> choices;
    for (const QString &p : paths)
        choices.push_back(p);
    s.backend.load_choices(choices);
    QCOMPARE(s.backend.documents().size(), static_cast<std::size_t>(paths.size()));
}

QStringList media_paths() {
    QStringList out;
    for (const QString &e : episodes)
        out << media(e);
    return out;
}

} // namespace

class TestSeason : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void default_by_language_changes_the_right_tracks_in_every_episode() {
        Setup s;
        open_season(s, media_paths());
        const QVariantMap preview = s.backend.season()->preview_default_by_language(QStringLiteral("audio"), QStringLiteral("jpn"));
        QCOMPARE(preview[QStringLiteral("files")].toInt(), 3);
        QCOMPARE(preview[QStringLiteral("changes")].toList().size(), 6);
        QCOMPARE(s.backend.history()->unsaved_files(), QStringList()); // a preview changes nothing
        // A type the rule is not for is named back to the client that asked.
        QCOMPARE(s.backend.season()->preview_default_by_language(QStringLiteral("video"), QStringLiteral("jpn"))[QStringLiteral("message")],
                 QStringLiteral("\u201Cvideo\u201D is not a track type for this rule: use audio or subtitles."));
        QCOMPARE(s.backend.season()->default_by_language(QStringLiteral("audio"), QStringLiteral("jpn")), 3);
        const QString e1 = media(episodes[0]), e3 = media(episodes[2]), e4 = media(episodes[3]);
        QCOMPARE(arguments(s.backend),
                 (QStringList{edit(e1, "Japanese", "--set flag-default=1") + ' ' + edit(e1, "English dub", "--set flag-default=0"),
                              QString(),
                              edit(e3, "Japanese", "--set flag-default=1") + ' ' + edit(e3, "English dub", "--set flag-default=0"),
                              // Stored order: the dub comes first in this episode.
                              edit(e4, "English dub", "--set flag-default=0") + ' ' + edit(e4, "Japanese", "--set flag-default=1")}));
        // Each file's change is one step of its own history.
        QCOMPARE(s.backend.season()->default_by_language(QStringLiteral("audio"), QStringLiteral("ja")), 0);
        s.backend.history()->undo();
        QCOMPARE(s.backend.history()->unsaved_files(), (QStringList{"s01e03.mkv", "s01e04.mkv"}));
        {   // A file with no subtitles at all is skipped for that, not for the language.
            Setup t;
            open_season(t, {media(episodes[0]), media("full.mkv")});
            QCOMPARE(t.backend.season()->preview_default_by_language(QStringLiteral("subtitles"), QStringLiteral("en"))
                         [QStringLiteral("skipped")].toStringList(),
                     (QStringList{"s01e01.mkv: nothing to change", "full.mkv: it has no subtitle track"}));
        }
        // English subtitles: the first of them in each file, whatever its name (in e04 not
        // "Signs & Songs", which stops being default).
        QCOMPARE(s.backend.season()->default_by_language(QStringLiteral("subtitles"), QStringLiteral("en")), 1);
        QCOMPARE(arguments(s.backend)[3], edit(e4, "English dub", "--set flag-default=0") + ' ' +
                                              edit(e4, "Full Subtitles", "--set flag-default=1") + ' ' +
                                              edit(e4, "Japanese", "--set flag-default=1") + ' ' +
                                              edit(e4, "Signs & Songs", "--set flag-default=0"));
    }

    void apply_to_all_matches_type_language_and_name_never_the_number() {
        Setup s;
        open_season(s, media_paths());
        const QString title = QStringLiteral("Episode 1");
        // "Signs & Songs" is track 4 here, 3 in e02, 5 in e03 and 5 in e04.
        QVERIFY(s.backend.track_edits()->set_track_flag(title, 4, QStringLiteral("forced"), 1));
        s.backend.set_track_name(title, 4, QStringLiteral("Signs"));
        QCOMPARE(s.backend.season()->apply_track_to_all(4), 3);
        const QStringList args = arguments(s.backend);
        for (int i = 1; i < 4; ++i)
            QCOMPARE(args[i], edit(media(episodes[i]), "Signs & Songs", "--set name=Signs --set flag-forced=1"));

        // "Full Subtitles": two of them in e03, so e03 is skipped and says why.
        QVERIFY(s.backend.track_edits()->set_track_flag(title, 5, QStringLiteral("hearing-impaired"), 0));
        const QVariantMap preview = s.backend.season()->preview_apply_track_to_all(5);
        QCOMPARE(preview[QStringLiteral("files")].toInt(), 2);
        QCOMPARE(preview[QStringLiteral("skipped")].toStringList(),
                 QStringList{"s01e03.mkv: it has 2 subtitle tracks named \u201CFull Subtitles\u201D in \u201Cen\u201D: which one is meant is unclear"});
        QCOMPARE(s.backend.season()->apply_track_to_all(5), 2);
        QVERIFY(s.backend.saves()->save_status().contains(QStringLiteral("Skipped: s01e03.mkv")));
        QCOMPARE(arguments(s.backend)[3], edit(media(episodes[3]), "Full Subtitles", "--set flag-hearing-impaired=0") + ' ' +
                                               edit(media(episodes[3]), "Signs & Songs", "--set name=Signs --set flag-forced=1"));
        QVERIFY(!arguments(s.backend)[2].contains(QStringLiteral("hearing")));

        // The dub, renamed: e02 has none; e03 has one besides its commentary.
        s.backend.set_track_name(title, 3, QStringLiteral("English"));
        s.backend.set_track_language(title, 3, QStringLiteral("en-US"));
        QCOMPARE(s.backend.season()->apply_track_to_all(3), 2);
        QVERIFY(s.backend.saves()->save_status().contains(QStringLiteral("s01e02.mkv (it has no audio track named \u201CEnglish dub\u201D")));
        QVERIFY(arguments(s.backend)[2].startsWith(edit(media(episodes[2]), "English dub", "--set name=English --set language=en-US")));

        // A track of the same name in another language is another track.
        MediaWork w;
        const QString french = w.copy(episodes[3], QStringLiteral("french.mkv"));
        QCOMPARE(QProcess::execute(QStringLiteral("mkvpropedit"), {french, "--edit", "track:a1", "--set", "language=fre"}), 0);
        Setup t;
        open_season(t, {media(episodes[0]), french});
        t.backend.set_track_name(title, 3, QStringLiteral("English"));
        QCOMPARE(t.backend.season()->apply_track_to_all(3), 0);
        QCOMPARE(arguments(t.backend)[1], QString());

        // One language spelled two ways (an old file with no BCP 47 tag) is offered once.
        const QString old_tag = w.copy(episodes[1], QStringLiteral("old.mkv"));
        QCOMPARE(QProcess::execute(QStringLiteral("mkvpropedit"), {old_tag, "--edit", "track:a1", "--delete", "language-ietf"}), 0);
        Setup u;
        open_season(u, {media(episodes[0]), old_tag});
        QCOMPARE(u.backend.documents()[1]->state().tracks[1].language, QStringLiteral("jpn"));
        QStringList offered;
        for (const QVariant &c : u.backend.season()->season_languages(QStringLiteral("audio")))
            offered << c.toMap()[QStringLiteral("tag")].toString();
        QCOMPARE(offered, (QStringList{"ja", "en"}));
    }

    void suggested_flags_wait_for_acceptance() {
        Setup s;
        open_season(s, media_paths());
        // Forced is for subtitles: an audio track named for its songs is left alone.
        s.backend.set_track_name(QStringLiteral("Episode 1"), 2, QStringLiteral("Insert Songs"));
        s.backend.set_track_name(QStringLiteral("Episode 1"), 5, QStringLiteral("Full (sdh)")); // words in any case
        const QVariantList suggestions = s.backend.season()->flag_suggestions();
        QStringList flags;
        for (const QVariant &v : suggestions)
            flags << v.toMap()[QStringLiteral("flag")].toString();
        QCOMPARE(flags, (QStringList{"forced", "commentary", "hearing-impaired"}));
        QCOMPARE(s.backend.history()->unsaved_files(), QStringList{"s01e01.mkv"}); // a suggestion alone changes nothing
        QCOMPARE(s.backend.season()->accept_flag_suggestion(QStringLiteral("forced")), 4);
        QCOMPARE(arguments(s.backend)[0], edit(media(episodes[0]), "Japanese", "--set name=Insert Songs") + ' ' +
                                              edit(media(episodes[0]), "Signs & Songs", "--set flag-forced=1") + ' ' +
                                              edit(media(episodes[0]), "Full Subtitles", "--set name=Full (sdh)"));
        for (int i = 1; i < 4; ++i)
            QCOMPARE(arguments(s.backend)[i], edit(media(episodes[i]), "Signs & Songs", "--set flag-forced=1"));
        QCOMPARE(s.backend.season()->accept_flag_suggestion(QStringLiteral("hearing-impaired")), 2);
        QVERIFY(arguments(s.backend)[0].endsWith(edit(media(episodes[0]), "Full Subtitles", "--set name=Full (sdh) --set flag-hearing-impaired=1")));
        QCOMPARE(arguments(s.backend)[3], edit(media(episodes[3]), "Signs & Songs", "--set flag-forced=1") + ' ' +
                                              edit(media(episodes[3]), "English SDH", "--set flag-hearing-impaired=1"));
        QCOMPARE(s.backend.season()->flag_suggestions().size(), 1); // commentary, still only suggested
    }

    void overview_marks_the_odd_episodes() {
        Setup s;
        open_season(s, media_paths());
        const QVariantMap o = s.backend.season()->season_overview();
        const QStringList columns = o[QStringLiteral("columns")].toStringList();
        const int dub = static_cast<int>(columns.indexOf(QStringLiteral("Audio \u00B7 en \u00B7 \u201CEnglish dub\u201D")));
        QVERIFY2(dub >= 0, qPrintable(columns.join(QLatin1Char('|'))));
        const QVariantList rows = o[QStringLiteral("rows")].toList();
        auto cell = [&](int row, int column) { return rows[row].toMap()[QStringLiteral("cells")].toList()[column].toMap(); };
        QCOMPARE(cell(0, dub)[QStringLiteral("text")].toString(), QStringLiteral("#3 \u00B7 default"));
        QVERIFY(!cell(0, dub)[QStringLiteral("odd")].toBool());
        QVERIFY(cell(1, dub)[QStringLiteral("odd")].toBool());  // e02 has no dub
        QVERIFY(cell(3, dub)[QStringLiteral("odd")].toBool());  // e04 has it as track 1
        QVERIFY(!cell(1, dub)[QStringLiteral("present")].toBool());
        QVERIFY(rows[1].toMap()[QStringLiteral("odd")].toBool()); // its row says so too
        // Flags in words: the ones set, and "disabled" for a track that is not enabled.
        QVERIFY(s.backend.track_edits()->set_track_flag(QStringLiteral("Episode 1"), 3, QStringLiteral("hearing-impaired"), 1));
        QVERIFY(s.backend.track_edits()->set_track_flag(QStringLiteral("Episode 1"), 3, QStringLiteral("commentary"), 0));
        QVERIFY(s.backend.track_edits()->set_track_flag(QStringLiteral("Episode 1"), 3, QStringLiteral("enabled"), 0));
        const QVariantMap flagged = s.backend.season()->season_overview()[QStringLiteral("rows")].toList()[0].toMap()[QStringLiteral("cells")].toList()[dub].toMap();
        QCOMPARE(flagged[QStringLiteral("text")].toString(), QStringLiteral("#3 \u00B7 default \u00B7 hearing impaired \u00B7 disabled"));
        // Two episodes, one with the dub: neither is the norm, so neither stands out.
        Setup two;
        open_season(two, {media(episodes[0]), media(episodes[1])});
        const QVariantList pair = two.backend.season()->season_overview()[QStringLiteral("rows")].toList();
        for (const QVariant &row : pair) {
            QVERIFY(!row.toMap()[QStringLiteral("odd")].toBool());
            for (const QVariant &c : row.toMap()[QStringLiteral("cells")].toList())
                QVERIFY(!c.toMap()[QStringLiteral("odd")].toBool());
        }
    }

    void bad_input_changes_nothing_and_says_why() {
        Setup s;
        open_season(s, media_paths());
        const QString title = QStringLiteral("Episode 1");
        auto refused = [&](bool changed, const char *why) {
            QVERIFY(!changed);
            QVERIFY(s.backend.saves()->save_failed());
            QVERIFY2(s.backend.saves()->save_status().contains(QLatin1StringView(why)), qPrintable(s.backend.saves()->save_status()));
        };
        refused(s.backend.track_edits()->set_track_flag(title, 2, QStringLiteral("loud"), 1), "not a track flag");
        refused(s.backend.track_edits()->set_track_flag(title, 2, QStringLiteral("original"), 2), "0, 1 or -1");
        refused(s.backend.track_edits()->set_track_flag(title, 2, QStringLiteral("forced"), -1), "0 or 1");
        refused(s.backend.track_edits()->set_track_flag(title, 99, QStringLiteral("forced"), 1), "no track 99");
        refused(s.backend.season()->default_by_language(QStringLiteral("video"), QStringLiteral("jpn")), "use audio or subtitles");
        refused(s.backend.season()->default_by_language(QStringLiteral("audio"), QStringLiteral("xx")), "not an ISO 639");
        refused(s.backend.season()->default_by_language(QStringLiteral("audio"), QStringLiteral("fre")), "No open file has an audio track in French");
        refused(s.backend.season()->apply_track_to_all(2), "no changes to apply");
        refused(s.backend.season()->apply_track_to_all(42), "no track 42");
        s.backend.set_track_language(title, 2, QStringLiteral("Japanese"));
        QVERIFY(s.backend.saves()->save_status().contains(QStringLiteral("two or three letters")));
        s.backend.set_track_name(title, 2, QStringLiteral("two\nlines"));
        refused(s.backend.track_edits()->set_title(QStringLiteral("tab\there")), "control characters");
        // Another spelling of the language read is no edit.
        s.backend.set_track_language(title, 2, QStringLiteral("jpn"));
        QCOMPARE(s.backend.history()->unsaved_files(), QStringList());

        // A rule for every file, with one file open.
        Setup alone;
        QVERIFY(!alone.backend.add_file(media(QStringLiteral("full.mkv"))));
        alone.backend.set_track_name(QStringLiteral("Episode 1"), 2, QStringLiteral("Renamed"));
        const auto refused_alone = [&](bool changed) {
            QVERIFY(!changed);
            QCOMPARE(alone.backend.saves()->save_status(), QStringLiteral("Only one file is open. Nothing was changed."));
        };
        refused_alone(alone.backend.season()->apply_track_to_all(2));
        QCOMPARE(alone.backend.season()->preview_chapter_names_to_all()[QStringLiteral("message")].toString(), QStringLiteral("Only one file is open."));
        refused_alone(alone.backend.season()->apply_chapter_names_to_all());
    }

    void title_flags_and_the_command_shown() {
        MediaWork work;
        const QString path = work.copy(QStringLiteral("s01e01.mkv"), QStringLiteral("it's here.mkv"));
        Setup s;
        open_season(s, {path});
        QVERIFY(s.backend.track_edits()->set_title(QStringLiteral("New title")));
        QVERIFY(s.backend.track_edits()->set_track_flag(QStringLiteral("Episode 1"), 2, QStringLiteral("commentary"), 1));
        QCOMPARE(s.backend.track_edits()->active_title(), QStringLiteral("New title"));
        const QVariantMap command = s.backend.saves()->save_command();
        QCOMPARE(command[QStringLiteral("text")].toString(),
                 QStringLiteral("mkvpropedit '%1' --edit info --set 'title=New title' --edit track:=%2 --set flag-commentary=1")
                     .arg(QString(path).replace(QStringLiteral("'"), QStringLiteral("'\\''")), uid(path, "Japanese")));
        // A title is saved as typed, its spaces too.
        QVERIFY(s.backend.track_edits()->set_title(QStringLiteral(" Spaced  ")));
        QCOMPARE(plan_save(*s.backend.active_document()).info_arguments, (QStringList{"--edit", "info", "--set", "title= Spaced  "}));
        QVERIFY(s.backend.track_edits()->set_title(QString()));
        QCOMPARE(plan_save(*s.backend.active_document()).info_arguments,
                 (QStringList{"--edit", "info", "--delete", "title"}));
        s.save();
        QVERIFY2(!s.backend.saves()->save_failed(), qPrintable(s.backend.saves()->save_status()));
        QCOMPARE(s.backend.track_edits()->active_title(), QString());
        QCOMPARE(s.backend.active_document()->info().title.has_value(), false);
    }

    // Set, clear and unset every flag, and store BCP 47 tags, with the real mkvpropedit;
    // read back by this program's reader and by mkvmerge.
    void every_flag_and_bcp47_languages_round_trip() {
        MediaWork work;
        const QString path = work.copy(QStringLiteral("s01e01.mkv"), QStringLiteral("round.mkv"));
        Setup s;
        open_season(s, {path});
        const QString title = QStringLiteral("Episode 1");
        const QStringList names{"forced", "hearing-impaired", "visual-impaired", "text-descriptions", "original", "commentary", "enabled"};
        const QStringList json{"forced_track", "flag_hearing_impaired", "flag_visual_impaired", "flag_text_descriptions",
                               "flag_original", "flag_commentary", "enabled_track"};
        for (int value : {1, 0, -1}) {
            for (const QString &flag : names)
                s.backend.track_edits()->set_track_flag(title, 2, flag, flag == QStringLiteral("forced") || flag == QStringLiteral("enabled") ? (value < 0 ? 1 - (flag == QStringLiteral("forced")) : value) : value);
            s.save();
            QVERIFY2(!s.backend.saves()->save_failed(), qPrintable(s.backend.saves()->save_status()));
            const FlagValues read = s.backend.active_document()->read().tracks[1].flags;
            const QJsonObject props = mkvmerge_tracks(path)[1].toObject()[QStringLiteral("properties")].toObject();
            for (qsizetype k = 0; k < names.size(); ++k) {
                const bool has_default = k == 0 || k == 6;
                const int expected = value >= 0 ? value : has_default ? (k == 0 ? 0 : 1) : flag_unset;
                QCOMPARE(read[static_cast<std::size_t>(k)], expected);
                if (expected == flag_unset)
                    QVERIFY2(!props.contains(json[k]), qPrintable(json[k]));
                else
                    QCOMPARE(props[json[k]].toBool(), expected == 1);
            }
        }
        // Every flag a value of its own, then the opposite: two flags mixed up never pass.
        for (const unsigned pattern : {0b1010101u, 0b0101010u}) {
            for (qsizetype k = 0; k < names.size(); ++k)
                s.backend.track_edits()->set_track_flag(title, 2, names[k], static_cast<int>(pattern >> k & 1u));
            s.save();
            QVERIFY2(!s.backend.saves()->save_failed(), qPrintable(s.backend.saves()->save_status()));
            const FlagValues read = s.backend.active_document()->read().tracks[1].flags;
            const QJsonObject props = mkvmerge_tracks(path)[1].toObject()[QStringLiteral("properties")].toObject();
            for (qsizetype k = 0; k < names.size(); ++k) {
                QCOMPARE(read[static_cast<std::size_t>(k)], static_cast<int>(pattern >> k & 1u));
                QCOMPARE(props[json[k]].toBool(), (pattern >> k & 1u) == 1u);
            }
        }
        // Languages: what mkvpropedit stores for each form is what the window shows after.
        const std::pair<quint64, const char *> tags[] = {{2, "pt-BR"}, {3, "ger"}, {4, "zh-Hant-TW"}, {5, "de-CH"}};
        for (const auto &[track, tag] : tags)
            s.backend.set_track_language(title, track, QString::fromLatin1(tag));
        s.save();
        QVERIFY2(!s.backend.saves()->save_failed(), qPrintable(s.backend.saves()->save_status()));
        QStringList shown, ietf, legacy;
        for (const auto &v : s.backend.active_document()->read().tracks)
            shown << v.language;
        for (const auto &t : mkvmerge_tracks(path)) {
            ietf << t.toObject()[QStringLiteral("properties")].toObject()[QStringLiteral("language_ietf")].toString();
            legacy << t.toObject()[QStringLiteral("properties")].toObject()[QStringLiteral("language")].toString();
        }
        QCOMPARE(shown, (QStringList{"und", "pt-BR", "de", "zh-Hant-TW", "de-CH"}));
        QCOMPARE(ietf, shown);
        QCOMPARE(legacy, (QStringList{"und", "por", "ger", "chi", "ger"}));
    }
};

QTEST_GUILESS_MAIN(TestSeason)
#include "tst_season.moc"
