// perlane-batch, the real binary, over libraries made of real files, with the real mkvpropedit.
#include "chapters.h"
#include "editing_marks.h"
#include "file_lock.h"
#include "library.h"
#include "media_files.h"
#include "session.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>

#include <unistd.h>

using namespace perlane;

namespace {


struct Run {
    int code = -1;
    QString out, err;
};

Run run_batch(const QStringList &args) {
    QProcess p;
    p.start(QStringLiteral(PERLANE_BATCH), args);
    p.waitForFinished(600'000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray digest(const QString &path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

std::map<QString, QByteArray> digests(const QString &dir) {
    std::map<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        out[f] = digest(f);
    }
    return out;
}

QJsonObject mkvmerge(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("mkvmerge"), {QStringLiteral("-J"), path});
    p.waitForFinished();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// A file of these bytes, not a video.
bool write_file(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

void place(const QString &from, const QString &to) {
    QDir().mkpath(QFileInfo(to).path());
    QVERIFY(QFile::copy(from, to));
    QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

// The default audio track's language per file, as mkvmerge reads it.
QString default_audio(const QString &path) {
    for (const QJsonValue t : mkvmerge(path)[QStringLiteral("tracks")].toArray())
        if (t[QStringLiteral("type")] == QStringLiteral("audio") && t[QStringLiteral("properties")][QStringLiteral("default_track")].toBool())
            return t[QStringLiteral("properties")][QStringLiteral("language_ietf")].toString();
    return {};
}

} // namespace

class TestBatch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void scan_reports_what_mkvmerge_reads();
    void a_folder_that_vanishes_mid_walk_is_reported();
    void a_folder_of_files_that_cannot_be_read_is_reported();
    void plan_apply_again_and_undo();
    void two_rules_and_failed_saves_are_reported();
    void on_a_terminal_the_bar_stays_apart_from_the_report();
    void interrupted_run_leaves_files_whole_and_carries_on();
    void a_season_is_reported_before_the_next_is_read();
    void files_held_by_the_window_are_left_alone();
    void openings_marked_once();
    void usage_errors();
    void installed_it_saves_with_the_runner_installed_with_it();
};

void TestBatch::scan_reports_what_mkvmerge_reads() {
    QTemporaryDir lib;
    const QString season = lib.filePath(QStringLiteral("Show/Season 1"));
    place(media(QStringLiteral("s01e01.mkv")), season + QStringLiteral("/Episode 1.mkv"));
    place(media(QStringLiteral("s01e02.mkv")), season + QStringLiteral("/Episode 10.mkv"));
    place(media(QStringLiteral("s01e03.mkv")), season + QStringLiteral("/Episode 2")); // no extension
    QVERIFY(write_file(season + QStringLiteral("/notes.txt"), "not a video\n"));
    QVERIFY(write_file(season + QStringLiteral("/broken.mkv"), QByteArray::fromHex("1a45dfa3") + QByteArray(40, 'x')));
    // Named as an episode, yet not one.
    QVERIFY(write_file(season + QStringLiteral("/Episode 3.MKV"), QByteArray(4096, '\0')));
    QVERIFY(QFile::link(lib.filePath(QStringLiteral("Show")), season + QStringLiteral("/loop")));
    place(media(QStringLiteral("s01e04.mkv")), lib.filePath(QStringLiteral("Other/one.mkv")));

    const Run r = run_batch({QStringLiteral("scan"), QStringLiteral("--json"), lib.path(), lib.filePath(QStringLiteral("gone"))});
    QCOMPARE(r.code, 1); // a broken file and a missing path: reported, the rest scanned
    QVERIFY2(r.err.contains(QStringLiteral("gone: does not exist")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("already searched")), qPrintable(r.err));
    QVERIFY2(r.err.endsWith(QStringLiteral("\n4 episodes in 2 seasons; 3 files or folders could not be read.\n")), qPrintable(r.err));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QJsonObject other = QJsonDocument::fromJson(lines[0].toUtf8()).object();
    const QJsonObject show = QJsonDocument::fromJson(lines[1].toUtf8()).object();
    QCOMPARE(other[QStringLiteral("season")].toString(), lib.filePath(QStringLiteral("Other")));
    QCOMPARE(other[QStringLiteral("episodes")].toArray().size(), 1);
    QCOMPARE(show[QStringLiteral("season")].toString(), season);
    const QJsonArray episodes = show[QStringLiteral("episodes")].toArray();
    QStringList names;
    for (const QJsonValue e : episodes)
        names << QFileInfo(e[QStringLiteral("file")].toString()).fileName();
    QCOMPARE(names, (QStringList{QStringLiteral("Episode 1.mkv"), QStringLiteral("Episode 2"), QStringLiteral("Episode 10.mkv")}));
    const QJsonArray unreadable = show[QStringLiteral("unreadable")].toArray();
    QCOMPARE(unreadable.size(), 2);
    QCOMPARE(unreadable[0][QStringLiteral("file")].toString(), season + QStringLiteral("/Episode 3.MKV"));
    QCOMPARE(unreadable[0][QStringLiteral("reason")].toString(), QStringLiteral("is not a Matroska file"));
    QVERIFY(unreadable[1][QStringLiteral("file")].toString().endsWith(QStringLiteral("broken.mkv")));
    QVERIFY(!show[QStringLiteral("differs")].toArray().isEmpty()); // the episodes' tracks differ

    const std::pair<const char *, const char *> flags[] = {
        {"forced", "forced_track"}, {"hearing-impaired", "flag_hearing_impaired"}, {"visual-impaired", "flag_visual_impaired"},
        {"text-descriptions", "flag_text_descriptions"}, {"original", "flag_original"}, {"commentary", "flag_commentary"},
        {"enabled", "enabled_track"}};
    for (const QJsonValue e : episodes + other[QStringLiteral("episodes")].toArray()) {
        const QString file = e[QStringLiteral("file")].toString();
        const QJsonObject peer = mkvmerge(file);
        const QJsonArray tracks = e[QStringLiteral("tracks")].toArray(), theirs = peer[QStringLiteral("tracks")].toArray();
        QCOMPARE(tracks.size(), theirs.size());
        for (qsizetype i = 0; i < tracks.size(); ++i) {
            const QJsonObject ours = tracks[i].toObject(), p = theirs[i][QStringLiteral("properties")].toObject();
            QCOMPARE(ours[QStringLiteral("number")].toInteger(), p[QStringLiteral("number")].toInteger());
            QCOMPARE(ours[QStringLiteral("type")].toString().left(5), theirs[i][QStringLiteral("type")].toString().left(5));
            QCOMPARE(ours[QStringLiteral("name")].toString(), p[QStringLiteral("track_name")].toString());
            QCOMPARE(ours[QStringLiteral("default")].toBool(), p[QStringLiteral("default_track")].toBool());
            const QString lang = ours[QStringLiteral("language")].toString();
            QVERIFY2(lang == p[QStringLiteral("language_ietf")].toString() || lang == p[QStringLiteral("language")].toString(),
                     qPrintable(file + QLatin1Char(' ') + lang));
            for (const auto &[name, key] : flags) {
                const QJsonValue mine = ours[QStringLiteral("flags")][QLatin1StringView(name)];
                if (p.contains(QLatin1StringView(key)))
                    QCOMPARE(mine.toBool(), p[QLatin1StringView(key)].toBool());
                else
                    QVERIFY(mine.isNull() || mine.toBool() == (QLatin1StringView(name) == QLatin1StringView("enabled")));
            }
        }
        const QJsonArray chapters = peer[QStringLiteral("chapters")].toArray();
        qsizetype entries = 0;
        for (const QJsonValue c : chapters)
            entries += c[QStringLiteral("num_entries")].toInteger();
        QCOMPARE(e[QStringLiteral("chapters")].toArray().size(), entries);
    }

    // For people: the same seasons, the differences named; a track name too long for a line
    // shortened to it, with "…".
    QCOMPARE(QProcess::execute(QStringLiteral("mkvpropedit"), {QStringLiteral("-q"), season + QStringLiteral("/Episode 1.mkv"), QStringLiteral("--edit"),
                                                             QStringLiteral("track:2"), QStringLiteral("--set"), QStringLiteral("name=") + QString(100, u'L')}), 0);
    const Run text = run_batch({QStringLiteral("scan"), season});
    QVERIFY2(text.out.contains(QStringLiteral("3 episodes, 2 files not read")) && text.out.contains(QStringLiteral("differs in Episode 2")),
             qPrintable(text.out));
    const QString shortened = (QStringLiteral("Audio \u00B7 ja \u00B7 \u201C") + QString(100, u'L')).left(71) + QChar(0x2026);
    QVERIFY2(text.out.contains(QStringLiteral("\n    ") + shortened + QStringLiteral(": #2 (in 1 of 3)\n")), qPrintable(text.out));
    // Tracks alike in every episode are listed too, not only those that differ.
    for (const QString &alike : {QStringLiteral("\n  Tracks:\n    Video \u00B7 und \u00B7 (no name): #1\n"),
                                 QStringLiteral("\n    Subtitle \u00B7 en \u00B7 \u201CSigns & Songs\u201D: #3 \u00B7 default\n    Subtitle")})
        QVERIFY2(text.out.contains(alike), qPrintable(text.out));
    // Files named one by one from the same folder are one season.
    const Run named = run_batch({QStringLiteral("scan"), season + QStringLiteral("/Episode 10.mkv"), season + QStringLiteral("/Episode 1.mkv")});
    QVERIFY2(named.out.startsWith(season + QStringLiteral(": 2 episodes\n")) && named.out.count(QStringLiteral(" episodes")) == 1, qPrintable(named.out));

    // Chapter times as ffprobe reads them; the last chapter has no end of its own and runs
    // to the end of the file.
    const QString chaptered = media(QStringLiteral("full.mkv"));
    const QJsonArray ours = QJsonDocument::fromJson(run_batch({QStringLiteral("scan"), QStringLiteral("--json"), chaptered}).out.toUtf8())
                                .object()[QStringLiteral("episodes")][0][QStringLiteral("chapters")].toArray();
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_chapters"),
                                            QStringLiteral("-of"), QStringLiteral("json"), chaptered});
    QVERIFY(probe.waitForFinished());
    const QJsonArray theirs = QJsonDocument::fromJson(probe.readAllStandardOutput()).object()[QStringLiteral("chapters")].toArray();
    QCOMPARE(ours.size(), theirs.size());
    QVERIFY(!theirs.isEmpty());
    const auto ms = [](const QJsonValue &seconds) { return Time{static_cast<std::uint64_t>(std::llround(seconds.toString().toDouble() * 1000))}.to_string(); };
    for (qsizetype i = 0; i < ours.size(); ++i) {
        QCOMPARE(ours[i][QStringLiteral("start")].toString(), ms(theirs[i][QStringLiteral("start_time")]));
        QCOMPARE(ours[i][QStringLiteral("end")].toString(), ms(theirs[i][QStringLiteral("end_time")]));
    }
}

// The walk lists a folder's subfolders before it reads them: one removed meanwhile (another
// program tidying the library) is reported, and the walk goes on.
void TestBatch::a_folder_that_vanishes_mid_walk_is_reported() {
    QTemporaryDir lib;
    // Folders in natural order too, leading zeros aside: 1, 002, 3.
    place(media(QStringLiteral("s01e01.mkv")), lib.filePath(QStringLiteral("Season 002/e1.mkv")));
    place(media(QStringLiteral("s01e02.mkv")), lib.filePath(QStringLiteral("Season 3/e1.mkv")));
    place(media(QStringLiteral("s01e03.mkv")), lib.filePath(QStringLiteral("Season 1/e1.mkv")));
    batch::Library library({lib.path()});
    for (const char *folder : {"Season 1", "Season 002"}) {
        const auto season = library.next();
        QVERIFY(season);
        QCOMPARE(season->folder, lib.filePath(QLatin1StringView(folder)));
    }
    QVERIFY(QDir(lib.filePath(QStringLiteral("Season 3"))).removeRecursively());
    QVERIFY(!library.next());
    const auto problems = library.take_problems();
    QCOMPARE(problems.size(), 1u);
    QCOMPARE(problems[0].path, lib.filePath(QStringLiteral("Season 3")));
    QCOMPARE(problems[0].reason, QStringLiteral("cannot be searched: No such file or directory"));
    QVERIFY(problems[0].failed);
}

void TestBatch::a_folder_of_files_that_cannot_be_read_is_reported() {
    if (::geteuid() != 0)
        QSKIP("needs root, to run the batch as another user");
    QTemporaryDir lib;
    place(media(QStringLiteral("s01e01.mkv")), lib.filePath(QStringLiteral("S1/locked.mkv")));
    QVERIFY(QDir(lib.path()).mkdir(QStringLiteral("state")));
    for (const QString &open : {lib.path(), lib.filePath(QStringLiteral("S1")), lib.filePath(QStringLiteral("state"))})
        QVERIFY(QFile::setPermissions(open, QFileDevice::Permissions(0x7777)));
    QVERIFY(QFile::setPermissions(lib.filePath(QStringLiteral("S1/locked.mkv")), {}));
    QVERIFY(QDir(lib.path()).mkpath(QStringLiteral("S2/inner")));
    QVERIFY(QFile::setPermissions(lib.filePath(QStringLiteral("S2")), {}));
    // As nobody, the one file of S1 cannot be opened: the season is still reported, with why;
    // and S2 cannot be searched, which is said rather than taken for an empty folder.
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), lib.filePath(QStringLiteral("state")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                                        QStringLiteral(PERLANE_BATCH), QStringLiteral("scan"), lib.path()});
    QVERIFY(p.waitForFinished(60'000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput()), err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(out.contains(QStringLiteral("/S1: 0 episodes, 1 file not read\n  Not read:\n    locked.mkv: cannot be read: Permission denied")),
             qPrintable(out + err));
    QVERIFY2(err.contains(lib.filePath(QStringLiteral("S2")) + QStringLiteral(": cannot be searched: permission denied")), qPrintable(err));
}

void TestBatch::plan_apply_again_and_undo() {
    QTemporaryDir lib;
    for (const char *e : {"s01e01", "s01e02", "s01e03"})
        place(media(QStringLiteral("%1.mkv").arg(QLatin1StringView(e))), lib.filePath(QStringLiteral("S1/%1.mkv").arg(QLatin1StringView(e))));
    const auto before = digests(lib.path());
    const QStringList rule{QStringLiteral("default-language"), QStringLiteral("--audio"), QStringLiteral("ja"), lib.path()};

    const Run plan = run_batch(rule);
    QCOMPARE(plan.code, 0);
    QVERIFY2(plan.out.contains(QStringLiteral("s01e01.mkv: would change")) && plan.out.contains(QStringLiteral("s01e02.mkv: nothing to change")),
             qPrintable(plan.out));
    QVERIFY(plan.out.contains(QStringLiteral("default: no \u2192 yes")));
    QVERIFY(digests(lib.path()) == before); // a plan changes no byte

    const Run applied = run_batch(rule + QStringList{QStringLiteral("--apply")});
    QCOMPARE(applied.code, 0);
    QVERIFY2(applied.out.contains(QStringLiteral("2 changed and saved, 1 nothing to change")), qPrintable(applied.out));
    for (const char *e : {"s01e01", "s01e02", "s01e03"})
        QCOMPARE(default_audio(lib.filePath(QStringLiteral("S1/%1.mkv").arg(QLatin1StringView(e)))), QStringLiteral("ja"));
    const auto saved = digests(lib.path());

    const Run again = run_batch(rule + QStringList{QStringLiteral("--apply")});
    QCOMPARE(again.code, 0);
    QVERIFY2(again.out.contains(QStringLiteral("0 changed and saved, 3 nothing to change")), qPrintable(again.out));
    QVERIFY(digests(lib.path()) == saved);

    const Run undone = run_batch({QStringLiteral("undo-last-save"), QStringLiteral("--apply"), lib.path()});
    QCOMPARE(undone.code, 0);
    QVERIFY2(undone.out.contains(QStringLiteral("2 undone")) && // and why the third was left
                 undone.out.contains(QStringLiteral(": nothing to change (no kept save, or it changed since its last save)\n")),
             qPrintable(undone.out));
    QVERIFY(digests(lib.path()) == before);

    // The window's suggested flags: "Signs & Songs" is forced, a commentary's name flags it.
    const Run flags = run_batch({QStringLiteral("flags"), QStringLiteral("--suggested"), lib.path()});
    QVERIFY2(flags.out.contains(QStringLiteral("#4 Subtitle, Forced: no \u2192 yes")) &&
                 flags.out.contains(QStringLiteral("#4 Audio, Commentary: unset \u2192 yes")) && flags.out.contains(QStringLiteral("3 would change")),
             qPrintable(flags.out));
}

void TestBatch::two_rules_and_failed_saves_are_reported() {
    QTemporaryDir lib;
    for (const char *e : {"s01e01", "s01e02", "s01e03", "s01e04"})
        place(media(QStringLiteral("%1.mkv").arg(QLatin1StringView(e))), lib.filePath(QStringLiteral("S1/%1.mkv").arg(QLatin1StringView(e))));
    const auto before = digests(lib.path());
    // Each file says why each rule left it alone.
    const Run both = run_batch({QStringLiteral("default-language"), QStringLiteral("--audio"), QStringLiteral("en"),
                                QStringLiteral("--subtitles"), QStringLiteral("fr"), lib.path()});
    QCOMPARE(both.code, 0);
    QVERIFY2(both.out.contains(QStringLiteral("  s01e01.mkv: skipped: it has no subtitle track in French\n"
                                              "  s01e02.mkv: skipped: it has no audio track in English; it has no subtitle track in French\n"
                                              "  s01e03.mkv: skipped: it has no subtitle track in French\n")) &&
                 both.out.contains(QStringLiteral("4 files: 0 would change, 0 nothing to change, 4 skipped, 0 failed.")),
             qPrintable(both.out));

    // A save the tool fails is said per file and again at the end; the file is as it was.
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    stand_in_tool(bin, path, "echo 'Error: the disk is full.'\nexit 2");
    const Run failed = run_batch({QStringLiteral("default-language"), QStringLiteral("--audio"), QStringLiteral("ja"), QStringLiteral("--apply"), lib.path()});
    qputenv("PATH", path);
    QCOMPARE(failed.code, 1);
    const QString why = QStringLiteral("Saving s01e03.mkv failed: Error: the disk is full. The file was restored unchanged.");
    QVERIFY2(failed.out.contains(QStringLiteral("  s01e03.mkv: not saved: ") + why) &&
                 failed.out.contains(QStringLiteral("0 changed and saved, 1 nothing to change, 0 skipped, 3 failed.\n")) &&
                 failed.out.contains(QStringLiteral("  failed: ") + lib.filePath(QStringLiteral("S1/s01e03.mkv")) + QStringLiteral(": ") + why),
             qPrintable(failed.out));
    QVERIFY(digests(lib.path()) == before);
}

void TestBatch::on_a_terminal_the_bar_stays_apart_from_the_report() {
    QTemporaryDir lib;
    // Two seasons side by side: the bar counts the files of both.
    for (const char *e : {"s01e01", "s01e02", "s01e03", "s01e04"})
        place(media(QStringLiteral("%1.mkv").arg(QLatin1StringView(e))),
              lib.filePath(QStringLiteral("S%1/%2.mkv").arg(e[5] < '3' ? 1 : 2).arg(QLatin1StringView(e))));
    // script(1) gives the run a terminal for both its outputs.
    QProcess p;
    p.start(QStringLiteral("script"), {QStringLiteral("-qefc"),
                                       QStringLiteral("'%1' default-language --audio ja --apply '%2'").arg(QStringLiteral(PERLANE_BATCH), lib.path()),
                                       QStringLiteral("/dev/null")});
    QVERIFY(p.waitForFinished(300'000));
    const QString raw = QString::fromUtf8(p.readAllStandardOutput());
    for (const char *step : {"] 0/4 ", "] 3/4 "}) // the bar was drawn, out of every file
        QVERIFY2(raw.contains(QLatin1StringView(step)), qPrintable(raw));
    // The screen as left: each line shows what was written after its last erase.
    QStringList screen;
    for (QString line : raw.split(u'\n')) {
        line.remove(QRegularExpression(QStringLiteral("\r$")));
        screen << line.mid(line.lastIndexOf(QStringLiteral("\r\033[K")) + 1).remove(QStringLiteral("\033[K"));
    }
    for (const char *e : {"s01e01", "s01e03", "s01e04"})
        QVERIFY2(screen.contains(QStringLiteral("  %1.mkv: saved").arg(QLatin1StringView(e))), qPrintable(screen.join(u'\n')));
    QVERIFY2(screen.contains(QStringLiteral("2 seasons, 4 files: 3 changed and saved, 1 nothing to change, 0 skipped, 0 failed.")),
             qPrintable(screen.join(u'\n')));
    QVERIFY2(screen.filter(QStringLiteral("] ")).isEmpty(), qPrintable(screen.join(u'\n'))); // no bar left on screen

    // Undone, the bar says so.
    p.start(QStringLiteral("script"), {QStringLiteral("-qefc"),
                                       QStringLiteral("'%1' undo-last-save --apply '%2'").arg(QStringLiteral(PERLANE_BATCH), lib.path()),
                                       QStringLiteral("/dev/null")});
    QVERIFY(p.waitForFinished(300'000));
    const QString undone = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(undone.contains(QStringLiteral(" undoing s01e01.mkv")) && !undone.contains(QStringLiteral(" saving ")), qPrintable(undone));

    // A scan counts the files it cannot read (one cut short, one empty) as gone through too.
    QVERIFY(QFile::resize(lib.filePath(QStringLiteral("S1/s01e02.mkv")), 200));
    QVERIFY(write_file(lib.filePath(QStringLiteral("S2/s01e05.mkv")), {}));
    p.start(QStringLiteral("script"), {QStringLiteral("-qefc"), QStringLiteral("'%1' scan '%2'").arg(QStringLiteral(PERLANE_BATCH), lib.path()),
                                       QStringLiteral("/dev/null")});
    QVERIFY(p.waitForFinished(300'000));
    const QString scanned = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(scanned.contains(QStringLiteral("] 2/5 ")), qPrintable(scanned)); // reading the second season
}

// A long scan shows each season as it is done, for a log or a pipe: season A's report is out
// by the time B is announced. B is long to read, so that the scan is stopped while it does.
void TestBatch::a_season_is_reported_before_the_next_is_read() {
    QTemporaryDir lib;
    place(media(QStringLiteral("s01e02.mkv")), lib.filePath(QStringLiteral("A/e1.mkv")));
    place(media(QStringLiteral("s01e01.mkv")), lib.filePath(QStringLiteral("B/e00.mkv")));
    for (int i = 1; i < 40; ++i)
        QCOMPARE(::link(QFile::encodeName(lib.filePath(QStringLiteral("B/e00.mkv"))).constData(),
                        QFile::encodeName(lib.filePath(QStringLiteral("B/e%1.mkv").arg(i, 2, 10, QLatin1Char('0')))).constData()), 0);
    QProcess p;
    p.start(QStringLiteral(PERLANE_BATCH), {QStringLiteral("scan"), lib.path()});
    const auto pid = static_cast<pid_t>(p.processId());
    QVERIFY(pid > 0);
    p.setReadChannel(QProcess::StandardError);
    QByteArray err;
    const QByteArray next = QFile::encodeName(lib.filePath(QStringLiteral("B"))) + '\n';
    while (!err.contains(next) && p.waitForReadyRead(300'000))
        err += p.readAllStandardError();
    const bool running = p.state() == QProcess::Running; // not yet reaped: still its pid
    if (running)
        ::kill(pid, SIGSTOP);
    QByteArray out;
    QTRY_VERIFY2((out += p.readAllStandardOutput()).contains(QFile::encodeName(lib.filePath(QStringLiteral("A")))), err.constData());
    if (running)
        ::kill(pid, SIGCONT);
    QVERIFY(p.waitForFinished(300'000));
}

void TestBatch::interrupted_run_leaves_files_whole_and_carries_on() {
    QTemporaryDir lib;
    for (int i = 1; i <= 10; ++i)
        place(media(QStringLiteral("s01e01.mkv")), lib.filePath(QStringLiteral("S1/e%1.mkv").arg(i)));
    const QByteArray original = digest(lib.filePath(QStringLiteral("S1/e1.mkv")));
    const QStringList rule{QStringLiteral("default-language"), QStringLiteral("--audio"), QStringLiteral("ja"), QStringLiteral("--apply"),
                           lib.path()};
    // Each save takes a second longer, so that a second signal surely comes while one runs.
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    stand_in_tool(bin, path, "sleep 1\nexec '" + QFile::encodeName(QStandardPaths::findExecutable(QStringLiteral("mkvpropedit"))) + "' \"$@\"");
    QProcess p;
    p.start(QStringLiteral(PERLANE_BATCH), rule);
    qputenv("PATH", path);
    const auto pid = static_cast<pid_t>(p.processId());
    QVERIFY(pid > 0);
    QByteArray out, err;
    QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains(": saved"), 300'000);
    ::kill(pid, SIGTERM);
    // A second signal (an impatient Ctrl-C) changes nothing: said once, the first one's code.
    QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).contains("Interrupted: the running save finishes"), 300'000);
    ::kill(pid, SIGINT);
    QVERIFY(p.waitForFinished(300'000));
    out += p.readAllStandardOutput();
    err += p.readAllStandardError();
    QCOMPARE(p.exitCode(), 128 + SIGTERM);
    QVERIFY2(out.contains("Interrupted."), out.constData());
    QCOMPARE(err.count("Interrupted: the running save finishes"), 1);
    int saved = 0;
    for (int i = 1; i <= 10; ++i) {
        const QString f = lib.filePath(QStringLiteral("S1/e%1.mkv").arg(i));
        if (digest(f) == original)
            continue;
        ++saved; // else it must be whole and as the rule wants it
        QCOMPARE(default_audio(f), QStringLiteral("ja"));
    }
    QVERIFY(saved >= 1);
    const Run rest = run_batch(rule);
    QCOMPARE(rest.code, 0);
    QVERIFY2(rest.out.contains(QStringLiteral("%1 changed and saved, %2 nothing to change").arg(10 - saved).arg(saved)), qPrintable(rest.out));
}

void TestBatch::files_held_by_the_window_are_left_alone() {
    QTemporaryDir lib;
    for (const char *e : {"a", "b", "c"})
        place(media(QStringLiteral("s01e01.mkv")), lib.filePath(QStringLiteral("S1/%1.mkv").arg(QLatin1StringView(e))));
    // The next season is the batch's: what was left alone in the first says nothing about it.
    for (const char *e : {"d", "e", "f"})
        place(media(QStringLiteral("s01e01.mkv")), lib.filePath(QStringLiteral("S2/%1.mkv").arg(QLatin1StringView(e))));
    const auto before = digests(lib.path());
    Session window;
    const auto opened = window.open(lib.filePath(QStringLiteral("S1/a.mkv")));
    QVERIFY(opened);
    QVERIFY(window.edit(*window.documents()[*opened], [](DocumentState &s) {
        s.title = QStringLiteral("pending");
        return true;
    }));
    const auto lock = FileLock::take(lib.filePath(QStringLiteral("S1/b.mkv"))); // as while the window saves it
    QVERIFY(lock);

    const Run r = run_batch({QStringLiteral("default-language"), QStringLiteral("--audio"), QStringLiteral("ja"), QStringLiteral("--apply"), lib.path()});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("a.mkv: skipped: it is open in perlane with unsaved edits")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("b.mkv: skipped: it is being saved by another program")), qPrintable(r.out));
    for (const char *e : {"c", "d", "e", "f"})
        QVERIFY2(r.out.contains(QStringLiteral("%1.mkv: saved").arg(QLatin1StringView(e))), qPrintable(r.out));
    for (const char *e : {"a", "b"})
        QCOMPARE(digest(lib.filePath(QStringLiteral("S1/%1.mkv").arg(QLatin1StringView(e)))),
                 before.at(lib.filePath(QStringLiteral("S1/%1.mkv").arg(QLatin1StringView(e)))));

    // Once the edits are gone, the file is the batch's again.
    window.revert(*window.documents()[*opened]);
    const Run later = run_batch({QStringLiteral("default-language"), QStringLiteral("--audio"), QStringLiteral("ja"), lib.filePath(QStringLiteral("S1/a.mkv"))});
    QVERIFY2(later.out.contains(QStringLiteral("a.mkv: would change")), qPrintable(later.out));
    // So it is once the list is closed or replaced with the edits discarded.
    const reader::FileIdentity id = window.documents()[*opened]->identity();
    for (const bool all : {false, true}) {
        const auto again = window.open(lib.filePath(QStringLiteral("S1/a.mkv")));
        QVERIFY(again && window.edit(*window.documents()[*again], [](DocumentState &s) {
            s.title = QStringLiteral("x");
            return true;
        }));
        QVERIFY(EditingMarks::held(id));
        all ? window.close_all() : window.close(*again);
        QVERIFY2(!EditingMarks::held(id), all ? "after closing all" : "after closing the file");
    }
}

void TestBatch::openings_marked_once() {
    const QString season = qEnvironmentVariable("PERLANE_SEASON_DIR");
    QTemporaryDir lib;
    for (const QString &e : QDir(season).entryList({QStringLiteral("*.mkv")}))
        place(season + QLatin1Char('/') + e, lib.filePath(QStringLiteral("Show/") + e));
    const QStringList mark{QStringLiteral("mark-openings"), QStringLiteral("--apply"), QStringLiteral("-j"), QStringLiteral("2"), lib.path()};
    const Run first = run_batch(mark);
    QCOMPARE(first.code, 0);
    QVERIFY2(first.out.contains(QStringLiteral("6 changed and saved")), qPrintable(first.out));
    // Every ending and the openings the season has (not e04's), as the sound says.
    const Run scan = run_batch({QStringLiteral("scan"), QStringLiteral("--json"), lib.path()});
    for (const QJsonValue e : QJsonDocument::fromJson(scan.out.toUtf8())[QStringLiteral("episodes")].toArray()) {
        const bool e04 = e[QStringLiteral("file")].toString().endsWith(QStringLiteral("e04.mkv"));
        QCOMPARE(e[QStringLiteral("opening")].toString(), e04 ? QStringLiteral("not marked") : QStringLiteral("marked"));
        QCOMPARE(e[QStringLiteral("ending")].toString(), QStringLiteral("marked"));
    }
    const auto after = digests(lib.path());
    // -j 1 keeps the machine free: one decoder at a time. Each ffmpeg the finder starts takes a
    // lock first and notes when another still holds it.
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    const QByteArray at = QFile::encodeName(bin.filePath(QStringLiteral("bin")));
    stand_in_tool(bin, path, "exec 9>\"" + at + "/lock\"\nflock -n 9 || echo overlap >> \"" + at + "/log\"\necho run >> \"" + at +
                                 "/log\"\nexec '" + QFile::encodeName(QStandardPaths::findExecutable(QStringLiteral("ffmpeg"))) + "' \"$@\"",
                  QStringLiteral("ffmpeg"));
    QStringList one = mark;
    one[one.indexOf(QStringLiteral("2"))] = QStringLiteral("1");
    const Run second = run_batch(one);
    qputenv("PATH", path);
    QFile log(bin.filePath(QStringLiteral("bin/log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray runs = log.readAll();
    QVERIFY2(runs.count("run") >= 12 && !runs.contains("overlap"), runs.constData());
    QCOMPARE(second.code, 0);
    QVERIFY2(second.out.contains(QStringLiteral(" 0 changed and saved")), qPrintable(second.out));
    QVERIFY(digests(lib.path()) == after);
}

void TestBatch::usage_errors() {
    // Headless: no Qt GUI library is even linked (libX11 may come in with libavcodec, under
    // libchromaprint, and opens no display).
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(PERLANE_BATCH)});
    QVERIFY(ldd.waitForFinished());
    const QByteArray libs = ldd.readAllStandardOutput();
    QVERIFY(libs.contains("libQt6Core"));
    for (const char *gui : {"libQt6Gui", "libQt6Qml", "libQt6Quick", "libQt6DBus"})
        QVERIFY2(!libs.contains(gui), gui);

    const QString any = qEnvironmentVariable("PERLANE_MEDIA_DIR");
    for (const QStringList &args : {QStringList{}, QStringList{QStringLiteral("rename"), any}, QStringList{QStringLiteral("scan")},
                                    QStringList{QStringLiteral("default-language"), any},
                                    QStringList{QStringLiteral("default-language"), QStringLiteral("--audio"), QStringLiteral("zz-!!"), any},
                                    QStringList{QStringLiteral("scan"), QStringLiteral("--apply"), any},
                                    QStringList{QStringLiteral("flags"), any},
                                    QStringList{QStringLiteral("scan"), QStringLiteral("-j"), QStringLiteral("0"), any}}) {
        const Run r = run_batch(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.startsWith(QStringLiteral("perlane-batch: ")) && r.out.isEmpty(), qPrintable(args.join(QLatin1Char(' ')) + r.err));
    }

    // Without the iso-codes lists no language can be checked: the run says what to install. The
    // lists are hidden by an empty folder mounted over them in a mount namespace of its own.
    if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("true")}) != 0)
        QSKIP("this machine does not allow mount namespaces");
    QTemporaryDir empty;
    QProcess hidden;
    hidden.start(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                                             QStringLiteral("mount --bind \"$0\" /usr/share/iso-codes/json && exec \"$@\""), empty.path(),
                                             QStringLiteral(PERLANE_BATCH), QStringLiteral("default-language"), QStringLiteral("--audio"),
                                             QStringLiteral("ja"), any});
    QVERIFY(hidden.waitForFinished(60'000));
    const QString err = QString::fromUtf8(hidden.readAllStandardError());
    QCOMPARE(hidden.exitCode(), 2);
    QVERIFY2(err.contains(QRegularExpression(QStringLiteral(
                 "the language lists \\(/usr/share/iso-codes/json/iso_[-0-9]+\\.json\\) could not be read; install the iso-codes package"))),
             qPrintable(err));
}

// Installed, the batch saves with the runner installed beside the window's program, not the
// one in the build tree. In a mount namespace of its own, the install is put where it was
// configured to go and the built runner is hidden under an empty file.
void TestBatch::installed_it_saves_with_the_runner_installed_with_it() {
    if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("true")}) != 0)
        QSKIP("this machine does not allow mount namespaces");
    QTemporaryDir root, lib;
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), root.path());
    install.setProcessEnvironment(env);
    install.start(QStringLiteral("cmake"), {QStringLiteral("--install"), QStringLiteral(PERLANE_BUILD_DIR)});
    QVERIFY(install.waitForFinished(120'000));
    QVERIFY2(install.exitCode() == 0, install.readAll().constData());
    place(media(QStringLiteral("s01e01.mkv")), lib.filePath(QStringLiteral("S1/s01e01.mkv")));
    // The tool says what started it.
    const QString real_tool = QStandardPaths::findExecutable(QStringLiteral("mkvpropedit"));
    QVERIFY(!real_tool.isEmpty());
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    stand_in_tool(bin, path, QFile::encodeName(QStringLiteral("cat /proc/$PPID/comm > '%1'\nexec '%2' \"$@\"")
                                                   .arg(root.filePath(QStringLiteral("started-by")), real_tool)));
    env.insert(QStringLiteral("PATH"), QString::fromLocal8Bit(qgetenv("PATH")));
    qputenv("PATH", path);
    env.remove(QStringLiteral("DESTDIR"));
    const QString prefix = QStringLiteral(PERLANE_PREFIX);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                                        QStringLiteral("mount --bind \"$0$1\" \"$1\" && mount --bind /dev/null \"$2\" && "
                                                       "exec \"$1/bin/perlane-batch\" default-language --audio ja --apply \"$3\""),
                                        root.path(), prefix, QStringLiteral(PERLANE_SAVE_RUN), lib.path()});
    QVERIFY(p.waitForFinished(120'000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput()) + QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(p.exitCode() == 0 && out.contains(QStringLiteral("s01e01.mkv: saved")), qPrintable(out));
    QCOMPARE(default_audio(lib.filePath(QStringLiteral("S1/s01e01.mkv"))), QStringLiteral("ja"));
    QFile started_by(root.filePath(QStringLiteral("started-by")));
    QVERIFY(started_by.open(QIODevice::ReadOnly));
    QCOMPARE(started_by.readAll().trimmed(), QByteArray("perlane-save-run").left(15)); // the system keeps 15 bytes of a name
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
