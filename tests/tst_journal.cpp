// Journals of saves with real files and the real mkvpropedit: what they hold for files laid
// out differently, failed and killed saves put back byte for byte, saves taken back, and
// saves refused when there is no room or no journal. Bytes are compared by SHA-256.
#include "backend_setup.h"
#include "media_files.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/mount.h>
#include <unistd.h>

using namespace perlane;

namespace {

QByteArray sha256(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "(unreadable)";
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result().toHex();
}

QByteArray bytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

reader::Layout layout_of(const QString &path) {
    auto file = reader::File::open(QFile::encodeName(path).toStdString());
    auto layout = reader::read_layout(*file);
    if (!layout)
        qFatal("no layout for %s", qPrintable(path));
    return *layout;
}

// Edits the active file's first track and first chapter (when it has one), with names long
// enough that the elements outgrow their places.
void long_edits(Backend &b) {
    const QString title = b.active_document()->title();
    b.set_track_name(title, 1, QString(3000, QLatin1Char('n')));
    b.set_chapter_name(0, 0, QString(2000, QLatin1Char('c')));
}

// The child that is killed during its save: it opens the file, edits it, starts the save
// and dies as soon as the stand-in tool says it is writing.
int killed_child(const QString &path, const QString &ready) {
    BackendSetup s;
    if (s.backend.add_file(path))
        return 3;
    long_edits(s.backend);
    s.backend.save_file();
    while (!QFile::exists(ready))
        QTest::qWait(10);
    ::raise(SIGKILL);
    return 4;
}

} // namespace

class TestJournal : public QObject, MediaWork {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { restore_path(); }

    // For each layout, a real save changes no byte outside the journal but past the old end;
    // attachment bodies are never copied; and the save can be taken back byte for byte.
    void every_changed_byte_is_journaled_whatever_the_layout_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("mkvmerge default") << QStringLiteral("full.mkv");
        QTest::newRow("Tracks after the clusters") << QStringLiteral("grown.mkv");
        QTest::newRow("ffmpeg: Cues and Tags at the end") << QStringLiteral("ffmpeg.mkv");
        QTest::newRow("fonts as attachments") << QStringLiteral("fonts.mkv");
        QTest::newRow("WebM without UID") << QStringLiteral("webm.webm");
    }
    void every_changed_byte_is_journaled_whatever_the_layout() {
        QFETCH(QString, name);
        const QString path = copy(name, QStringLiteral("layout-") + name);
        const QByteArray before = bytes(path);
        const reader::Layout layout = layout_of(path);
        const std::vector<ByteRange> ranges = journal_ranges(layout);
        std::uint64_t journaled = 0;
        for (const ByteRange &r : ranges)
            journaled += r.length;
        for (const auto &e : layout.elements)
            if (e.id == reader::Attachments::id) // its header only, never the fonts
                for (const ByteRange &r : ranges)
                    QVERIFY(r.offset + r.length <= e.position + e.header_size || r.offset >= e.end());
        QVERIFY2(journaled < 64 * 1024, qPrintable(QString::number(journaled)));

        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        long_edits(s.backend);
        s.save();
        QVERIFY2(!s.backend.save_failed(), qPrintable(s.backend.save_status()));
        const QByteArray after = bytes(path);
        QVERIFY(after != before);
        const auto journaled_at = [&](qsizetype i) {
            for (const ByteRange &r : ranges)
                if (static_cast<std::uint64_t>(i) >= r.offset && static_cast<std::uint64_t>(i) < r.offset + r.length)
                    return true;
            return false;
        };
        for (qsizetype i = 0; i < before.size() && i < after.size(); ++i)
            if (before[i] != after[i] && !journaled_at(i))
                QFAIL(qPrintable(QStringLiteral("byte %1 changed outside the journal").arg(i)));

        QVERIFY(s.backend.can_undo_save());
        QVERIFY(s.backend.undo_last_save());
        QCOMPARE(bytes(path), before);
        QCOMPARE(s.backend.save_status(), QStringLiteral("Undid the last save of layout-%1.").arg(name));
        QVERIFY(!s.backend.can_undo_save());
    }

    // Two saves, a track one then a chapter one, taken back one after the other.
    void saves_are_taken_back_in_turn() {
        const QString path = copy(QStringLiteral("editions.mkv"), QStringLiteral("twice.mkv"));
        const QByteArray original = sha256(path);
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        s.backend.set_track_name(QStringLiteral("Editions"), 2, QStringLiteral("Track save"));
        s.save();
        const QByteArray after_tracks = sha256(path);
        s.backend.set_chapter_name(0, 0, QStringLiteral("Chapter save"));
        s.backend.insert_chapter_start(0, 1);
        s.save();
        QVERIFY(s.backend.undo_last_save());
        QCOMPARE(sha256(path), after_tracks);
        QCOMPARE(s.chapters.rows().at(0).name, QStringLiteral("Cold open")); // the window shows the disk
        QVERIFY(s.backend.undo_last_save());
        QCOMPARE(sha256(path), original);
        QVERIFY(!s.backend.undo_last_save());
        QVERIFY(s.backend.save_status().contains(QStringLiteral("no save of it is kept")));
    }

    void a_file_changed_since_its_save_is_not_taken_back() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("later.mkv"));
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Saved"));
        s.save();
        QProcess::execute(QStringLiteral("mkvpropedit"), {QStringLiteral("-q"), path, QStringLiteral("--edit"),
                                                          QStringLiteral("track:1"), QStringLiteral("--set"), QStringLiteral("name=Later")});
        const QByteArray changed = sha256(path);
        QVERIFY(!s.backend.undo_last_save());
        QCOMPARE(s.backend.save_status(), QStringLiteral("Cannot undo the last save of later.mkv: it changed since that save."));
        // Replaced by another file: refused too.
        QFile::remove(path);
        copy(QStringLiteral("full.mkv"), QStringLiteral("later.mkv"));
        const QByteArray replaced = sha256(path);
        QVERIFY(!s.backend.undo_last_save());
        QCOMPARE(sha256(path), replaced);
        QVERIFY(changed != replaced);
    }

    // A stand-in that breaks the file (a few bytes inside, more at the end) and then fails
    // or is killed: the file is put back, and the edits stay pending.
    void a_failed_or_killed_tool_leaves_the_file_as_it_was_data() {
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<QString>("message");
        QTest::newRow("exit 2") << QByteArray("echo 'Error: the stand-in broke it.'; exit 2")
                                << QStringLiteral("Error: the stand-in broke it");
        QTest::newRow("SIGKILL") << QByteArray("kill -9 $$") << QStringLiteral("mkvpropedit failed");
    }
    void a_failed_or_killed_tool_leaves_the_file_as_it_was() {
        QFETCH(QByteArray, ending);
        QFETCH(QString, message);
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("broken.mkv"));
        const QByteArray original = sha256(path);
        stand_in("printf 'JUNKJUNK' | dd of=\"$1\" bs=1 seek=40 conv=notrunc 2>/dev/null; head -c 5000 /dev/zero >> \"$1\"; " + ending);
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        long_edits(s.backend);
        s.save();
        QCOMPARE(s.backend.save_status(),
                 QStringLiteral("Saving broken.mkv failed: %1. The file was restored unchanged.").arg(message));
        QCOMPARE(sha256(path), original);
        QVERIFY(s.backend.active_modified());
        QVERIFY(!s.backend.can_undo_save());
    }

    void a_read_only_file_is_left_as_it_was() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("readonly.mkv"));
        const QByteArray original = sha256(path);
        if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) != 0)
            QSKIP("chattr +i is not available here");
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        long_edits(s.backend);
        s.save();
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
        QVERIFY(s.backend.save_failed());
        QVERIFY2(s.backend.save_status().endsWith(QStringLiteral("The file was restored unchanged.")),
                 qPrintable(s.backend.save_status()));
        QCOMPARE(sha256(path), original);
    }

    // When the file cannot be put back, the journal stays and the user is told how to use it.
    void a_restore_that_cannot_complete_keeps_the_journal() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("stuck.mkv"));
        const QByteArray original = sha256(path);
        stand_in("printf 'JUNK' | dd of=\"$1\" bs=1 seek=40 conv=notrunc 2>/dev/null; chattr +i \"$1\" || exit 0; exit 2");
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        long_edits(s.backend);
        s.save();
        const QString status = s.backend.save_status();
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
        if (!status.contains(QStringLiteral("could not be restored")))
            QSKIP("chattr +i is not available here");
        const qsizetype at = status.indexOf(QStringLiteral("restore ")) + 8;
        const QString journal = status.mid(at, status.indexOf(QChar(u'\u201D'), at) - at);
        QVERIFY2(QFile::exists(journal), qPrintable(status));
        QVERIFY(sha256(path) != original);
        QProcess tool;
        tool.start(QStringLiteral(PERLANE_JOURNAL_TOOL), {QStringLiteral("restore"), journal});
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitCode(), 0);
        QCOMPARE(sha256(path), original);
        QVERIFY(!QFile::exists(journal));
    }

    // The program itself dies during the save; the next start puts the file back (once the
    // orphaned tool has ended: it holds the file's lock until then).
    void a_save_cut_short_by_the_program_dying_is_restored_at_the_next_start() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("orphan.mkv"));
        const QByteArray original = sha256(path);
        const QString ready = dir.filePath(QStringLiteral("ready"));
        stand_in("printf 'JUNK' | dd of=\"$1\" bs=1 seek=40 conv=notrunc 2>/dev/null; touch '" + ready.toUtf8() +
                 "'; sleep 1; exit 0");
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("killed_child"), path, ready});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(sha256(path) != original);
        BackendSetup s; // the next start
        QTRY_VERIFY_WITH_TIMEOUT(s.backend.save_status().contains(QStringLiteral("orphan.mkv")), 15000);
        QCOMPARE(s.backend.save_status(),
                 QStringLiteral("Saving orphan.mkv failed: the program ended during the save. The file was restored unchanged."));
        QCOMPARE(sha256(path), original);
    }

    void no_room_or_no_journal_means_no_save() {
        // A small disk, nearly full.
        const QString mount = dir.filePath(QStringLiteral("small"));
        QDir().mkpath(mount);
        if (::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs", 0, "size=6000k") != 0)
            QSKIP("a tmpfs cannot be mounted here");
        const QString path = mount + QStringLiteral("/full.mkv");
        QVERIFY(QFile::copy(media(QStringLiteral("full.mkv")), path));
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("head -c $(( $(df -B1 --output=avail '%1' | tail -1) - 8192 )) /dev/zero > '%1/filler'").arg(mount)});
        const QByteArray original = sha256(path);
        {
            BackendSetup s;
            QVERIFY(!s.backend.add_file(path));
            long_edits(s.backend);
            s.save();
            QVERIFY(s.backend.save_failed());
            QVERIFY2(s.backend.save_status().startsWith(QStringLiteral("Could not save full.mkv: its disk has ")) &&
                         s.backend.save_status().endsWith(QStringLiteral("Nothing was changed.")),
                     qPrintable(s.backend.save_status()));
            QCOMPARE(sha256(path), original);
        }
        ::umount(QFile::encodeName(mount).constData());

        // A journal folder that cannot be made.
        const QString other = copy(QStringLiteral("full.mkv"), QStringLiteral("nojournal.mkv"));
        const QByteArray before = sha256(other);
        const QByteArray state = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", QFile::encodeName(other)); // a file, not a folder
        BackendSetup s;
        QVERIFY(!s.backend.add_file(other));
        long_edits(s.backend);
        s.save();
        qputenv("XDG_STATE_HOME", state);
        QVERIFY(s.backend.save_failed());
        QVERIFY2(s.backend.save_status().contains(QStringLiteral("no journal of the save could be kept")),
                 qPrintable(s.backend.save_status()));
        QCOMPARE(sha256(other), before);
    }

    void finished_journals_are_bounded() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("many.mkv"));
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        for (int i = 0; i < 23; ++i) {
            s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Name %1").arg(i));
            s.save();
        }
        int kept = 0;
        for (const Journal &j : Journal::all())
            kept += j.path() == path ? 1 : 0;
        QCOMPARE(kept, 20);
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "killed_child") == 0)
        return killed_child(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestJournal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_journal.moc"
