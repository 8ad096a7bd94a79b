// Journals of saves with real files and the real mkvpropedit: what they hold for files laid
// out differently, failed and killed saves put back byte for byte, saves taken back, and
// saves refused when there is no room or no journal. Bytes are compared by SHA-256.
#include "error_of.h"
#include "backend_setup.h"
#include "app.h"
#include "media_files.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace perlane;

namespace {

// A Unix socket at `path`: it exists, but opening it fails.
bool make_socket(const QString &path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (static_cast<std::size_t>(name.size()) >= sizeof address.sun_path)
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

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

// Opens `path` in `s` and saves the long edits to it; false when it cannot be opened.
bool save_long_edits(BackendSetup &s, const QString &path) {
    if (s.backend.add_file(path))
        return false;
    long_edits(s.backend);
    s.save();
    return true;
}

QString first_track_name(const QString &path) {
    auto doc = Document::load(path);
    return doc ? (*doc)->state().tracks.at(0).name : QStringLiteral("(unreadable)");
}

// The children, each a program of its own that ends during a save or an undo:
//   killed PATH READY  edits, saves, and dies by SIGKILL once READY exists (the tool runs);
//   killed-small PATH READY  the same with an edit that leaves the file's size as it was;
//   quit PATH          edits, saves, and ends at once (the Backend goes while the tool runs);
//   quit-running PATH READY  edits, saves, and ends once READY exists (its journal is written);
//   undo PATH          takes the file's last save back (run under strace to cut it short);
//   loop PATH          saves one edit and takes it back, over and over (killed at random).
int child(const QString &mode, const QString &path, const QString &ready) {
    BackendSetup s;
    if (s.backend.add_file(path))
        return 3;
    if (mode == QStringLiteral("undo"))
        return s.backend.saves()->undo_last_save() ? 0 : 5;
    if (mode == QStringLiteral("loop")) {
        for (;;) {
            s.backend.set_track_name(s.backend.active_document()->title(), 1, QStringLiteral("After"));
            s.save();
            s.backend.saves()->undo_last_save();
        }
    }
    if (mode == QStringLiteral("killed-small"))
        s.backend.track_edits()->set_title(s.backend.active_document()->title().chopped(1) + QLatin1Char('9'));
    else
        long_edits(s.backend);
    s.backend.save_file();
    if (mode == QStringLiteral("quit"))
        return 0;
    // A save that never reaches the tool ends the child too, or it would outlive the test.
    for (QDeadlineTimer limit(60000); !QFile::exists(ready); QTest::qWait(10))
        if (limit.hasExpired())
            return 6;
    if (mode == QStringLiteral("quit-running"))
        return 0;
    ::raise(SIGKILL);
    return 4;
}

// Runs this test program as `child`, under `prefix` (strace, say), and waits for it.
QProcess::ExitStatus run_child(const QStringList &arguments, const QStringList &prefix = {}) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QStringList all = prefix + QStringList{QCoreApplication::applicationFilePath()} + arguments;
    p.start(all.first(), all.mid(1));
    if (!p.waitForFinished(60000))
        qFatal("a child did not end");
    return p.exitCode() == 137 ? QProcess::CrashExit : p.exitStatus(); // killed under strace
}

// Waits until nobody holds the file's lock: the tool and its runner have ended.
bool wait_unlocked(const QString &path) {
    for (int i = 0; i < 3000; ++i) {
        if (FileLock::take(path))
            return true;
        QTest::qWait(10);
    }
    return false;
}

QStringList journal_files(const char *suffix) {
    return QDir(Journal::directory()).entryList({QStringLiteral("*") + QLatin1String(suffix)}, QDir::Files);
}

// The journals of unfinished saves (or undos) of `path`.
int unfinished(const QString &path) {
    int n = 0;
    for (const Journal &j : Journal::all())
        n += j.path() == path && (!j.after() || j.undoing()) ? 1 : 0;
    return n;
}

// What this process still holds open in the journal folder (a journal removed while open
// keeps its room on disk).
QStringList journals_held_open() {
    QStringList out;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (const QString target = QFile::symLinkTarget(fds.filePath(fd)); target.startsWith(Journal::directory()))
            out << target;
    return out;
}

void clear_journals() {
    for (const Journal &j : Journal::all())
        j.remove();
}

} // namespace

class TestJournal : public QObject, MediaWork {
    Q_OBJECT
    QString real_tool() const { return QStandardPaths::findExecutable(QStringLiteral("mkvpropedit"), {QStringLiteral("/usr/bin")}); }
private Q_SLOTS:
    // A lock moved over another lets the other go: its file can be saved again.
    void a_lock_moved_over_another_frees_it() {
        const QString a = dir.filePath(QStringLiteral("lock-a")), b = dir.filePath(QStringLiteral("lock-b"));
        for (const QString &p : {a, b}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        auto first = FileLock::take(a), second = FileLock::take(b);
        QVERIFY(first && second);
        QVERIFY(!FileLock::take(a));
        *first = std::move(*second);
        QVERIFY(FileLock::take(a));
        QVERIFY(!FileLock::take(b));
    }

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
        // The elements tile the segment, the clusters as one where an indexed element follows them.
        std::uint64_t at = layout.segment_data_start;
        int clusters = 0;
        for (const auto &e : layout.elements) {
            QCOMPARE(e.position, at);
            at = e.end();
            clusters += e.id == reader::ids::cluster;
        }
        QCOMPARE(at, layout.segment_end);
        QCOMPARE(clusters, 1);
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
        QVERIFY(save_long_edits(s, path));
        QVERIFY2(!s.backend.saves()->save_failed(), qPrintable(s.backend.saves()->save_status()));
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

        QVERIFY(s.backend.saves()->can_undo_save());
        QVERIFY(s.backend.saves()->undo_last_save());
        QCOMPARE(bytes(path), before);
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Undid the last save of layout-%1.").arg(name));
        QVERIFY(!s.backend.saves()->can_undo_save());
    }

    // A file cut short inside its last element (Tags after the clusters): the layout ends at
    // the file's end, so its journal can be written and covers the tail exactly.
    void a_file_cut_inside_its_last_element_is_journaled_to_its_end() {
        const QString path = copy(QStringLiteral("ffmpeg.mkv"), QStringLiteral("cut-tags.mkv"));
        const reader::Layout whole = layout_of(path);
        QVERIFY(whole.elements.back().id != reader::ids::cluster);
        const auto size = static_cast<qint64>(whole.elements.back().end()) - 3;
        QVERIFY(QFile::resize(path, size));
        const reader::Layout cut = layout_of(path);
        QCOMPARE(static_cast<qint64>(cut.elements.back().end()), size);
        const std::vector<ByteRange> ranges = journal_ranges(cut);
        QCOMPARE(static_cast<qint64>(ranges.back().offset + ranges.back().length), size);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        const auto journal = Journal::write(fd, path, *reader::identity_of(fd), ranges);
        ::close(fd);
        QVERIFY2(journal, qPrintable(journal ? QString() : journal.error()));
        QVERIFY(journal->verify());
        // It holds copies of the user's bytes: its folder is theirs alone.
        struct stat folder {};
        QCOMPARE(::stat(QFile::encodeName(Journal::directory()).constData(), &folder), 0);
        QCOMPARE(folder.st_mode & 0777, 0700u);
        // The bytes the save leaves alone tell the file from one rewritten in place.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(journal->check_untouched(f.handle()));
        QVERIFY(ranges.size() > 1 && ranges[0].offset + ranges[0].length < ranges[1].offset);
        // The first and the last byte left alone are each looked at.
        qint64 last_alone = 0;
        for (std::size_t i = 1; i < ranges.size(); ++i)
            if (ranges[i - 1].offset + ranges[i - 1].length < ranges[i].offset)
                last_alone = static_cast<qint64>(ranges[i].offset) - 1;
        for (const qint64 at : {static_cast<qint64>(ranges[0].offset + ranges[0].length), last_alone}) {
            QVERIFY(f.seek(at));
            const QByteArray was = f.read(1);
            QVERIFY(f.seek(at));
            f.write(QByteArray(1, static_cast<char>(~was[0])));
            f.flush();
            QCOMPARE(error_of(journal->check_untouched(f.handle())),
                     QStringLiteral("the file holds other content than the one saved (it was replaced or rewritten)"));
            QVERIFY(f.seek(at));
            f.write(was);
            f.flush();
            QVERIFY(journal->check_untouched(f.handle()));
        }
        journal->remove();
    }

    // The bytes left alone are sampled in every gap between the saved ranges, whatever their
    // sizes: a rewrite of 64 KiB anywhere among them is noticed.
    void a_rewrite_in_any_gap_is_noticed() {
        QTemporaryDir tmp;
        QFile f(tmp.filePath(QStringLiteral("gaps.bin")));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray data(1 << 20, '\0');
        for (qsizetype i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>(i * 7 + i / 251);
        f.write(data);
        f.flush();
        const auto journal = Journal::write(f.handle(), f.fileName(), *reader::identity_of(f.handle()),
                                            {{300'000, 4096}, {600'000, 4096}});
        QVERIFY2(journal, qPrintable(journal ? QString() : journal.error()));
        const auto cleanup = qScopeGuard([&] { journal->remove(); });
        for (const qint64 at : {100'000, 400'000, 800'000}) {
            QVERIFY(f.seek(at));
            f.write(QByteArray(1 << 16, '\xff'));
            f.flush();
            QVERIFY2(!journal->check_untouched(f.handle()), qPrintable(QString::number(at)));
            QVERIFY(f.seek(at));
            f.write(data.mid(at, 1 << 16));
            f.flush();
            QVERIFY(journal->check_untouched(f.handle()));
        }
    }

    // Short of file descriptors, the save runner says why and fails (127) before the tool
    // runs: a save it could not run is never reported as done. The limit is raised one at a
    // time until the tool runs.
    void a_save_runner_short_of_descriptors_says_so() {
        QTemporaryDir tmp;
        bool refused = false, ran = false;
        for (int n = 4; n < 64 && !ran; ++n) {
            QProcess p;
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.setStandardInputFile(QProcess::nullDevice());
            p.start(QStringLiteral("prlimit"), {QStringLiteral("--nofile=%1").arg(n), QStringLiteral(PERLANE_SAVE_RUN),
                                                tmp.filePath(QStringLiteral("x.journal")), QStringLiteral("0"), QStringLiteral("true")});
            QVERIFY(p.waitForFinished(60'000));
            const QByteArray out = p.readAll();
            if (out.contains("error while loading shared libraries"))
                continue; // too few to start at all
            ran = p.exitCode() == 0 && !out.contains("perlane-save-run:");
            if (!ran) {
                QCOMPARE(p.exitCode(), 127);
                QVERIFY2(out.contains("perlane-save-run: Too many open files"), out.constData());
                refused = true;
            }
        }
        QVERIFY(refused && ran);
    }

    // Two saves, a track one then a chapter one, taken back one after the other.
    void saves_are_taken_back_in_turn() {
        const QString path = copy(QStringLiteral("editions.mkv"), QStringLiteral("twice.mkv"));
        const QByteArray original = sha256(path);
        const QStringList kept = QDir(Journal::directory()).entryList(QDir::Files);
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        s.backend.set_track_name(QStringLiteral("Editions"), 2, QStringLiteral("Track save"));
        s.save();
        const QByteArray after_tracks = sha256(path);
        s.backend.set_chapter_name(0, 0, QStringLiteral("Chapter save"));
        s.backend.insert_chapter_start(0, 1);
        s.save();
        const QByteArray after_chapters = sha256(path);
        s.backend.track_edits()->set_title(QStringLiteral("Not saved"));
        QVERIFY(!s.backend.saves()->undo_last_save());
        QCOMPARE(s.backend.saves()->save_status(),
                 QStringLiteral("Cannot undo the last save of twice.mkv: it has unsaved changes; save or revert them first."));
        QCOMPARE(sha256(path), after_chapters);
        s.backend.history()->revert_file();
        QVERIFY(s.backend.saves()->undo_last_save());
        QCOMPARE(sha256(path), after_tracks);
        QCOMPARE(s.chapters.rows().at(0).name, QStringLiteral("Cold open")); // the window shows the disk
        QVERIFY(s.backend.saves()->undo_last_save());
        QCOMPARE(sha256(path), original);
        QCOMPARE(QDir(Journal::directory()).entryList(QDir::Files), kept); // nothing of the two saves is left
        QCOMPARE(journals_held_open(), QStringList());
        QVERIFY(!s.backend.saves()->undo_last_save());
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Cannot undo the last save of twice.mkv: no save of it is kept."));
    }

    // Where file times are coarse, two saves can leave the file with the same size and time:
    // Undo Last Save still takes back the newer one.
    void the_newer_of_two_alike_saves_is_taken_back() {
        clear_journals();
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("alike.mkv"));
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        const QString title = s.backend.active_document()->title();
        s.backend.set_track_name(title, 1, QStringLiteral("First"));
        s.save();
        const QByteArray after_first = sha256(path);
        s.backend.set_track_name(title, 1, QStringLiteral("Other"));
        s.save();
        const std::vector<Journal> kept = Journal::all();
        QCOMPARE(kept.size(), 2u);
        QFile newer(kept[1].journal_path() + QStringLiteral(".done")), older(kept[0].journal_path() + QStringLiteral(".done"));
        QVERIFY(newer.open(QIODevice::ReadOnly) && older.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(older.write(newer.readAll()) > 0);
        older.close();
        QVERIFY2(s.backend.saves()->undo_last_save(), qPrintable(s.backend.saves()->save_status()));
        QCOMPARE(sha256(path), after_first);
        clear_journals();
    }

    // A save whose journal is gone (removed by hand, or taken back from another window) is
    // no longer offered once the journals are read again, at the next save.
    void a_save_whose_journal_is_gone_is_no_longer_offered() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("gone.mkv"));
        const QString other = copy(QStringLiteral("full.mkv"), QStringLiteral("other.mkv"));
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Saved"));
        s.save();
        QVERIFY(s.backend.saves()->can_undo_save());
        clear_journals();
        QVERIFY(!s.backend.add_file(other));
        s.backend.select_file(1);
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Other"));
        s.save();
        s.backend.select_file(0);
        QCOMPARE(s.backend.active_file_name(), QStringLiteral("gone.mkv"));
        QVERIFY(!s.backend.saves()->can_undo_save());
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
        QVERIFY(!s.backend.saves()->undo_last_save());
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Cannot undo the last save of later.mkv: it changed since that save."));
        // Replaced by another file: refused too.
        QFile::remove(path);
        copy(QStringLiteral("full.mkv"), QStringLiteral("later.mkv"));
        const QByteArray replaced = sha256(path);
        QVERIFY(!s.backend.saves()->undo_last_save());
        QCOMPARE(sha256(path), replaced);
        QVERIFY(changed != replaced);
        // Opened afresh, a new file is never offered the old one's undo, even on its inode.
        BackendSetup t;
        QVERIFY(!t.backend.add_file(path));
        QVERIFY(!t.backend.saves()->can_undo_save());
    }

    // A stand-in that breaks the file (a few bytes inside, more at the end) and then fails
    // or is killed: the file is put back, and the edits stay pending.
    void a_failed_or_killed_tool_leaves_the_file_as_it_was_data() {
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<QString>("message");
        // Said on stderr: the tool's errors are relayed from both streams.
        QTest::newRow("exit 2") << QByteArray("echo 'Error: the stand-in broke it.' >&2; exit 2")
                                << QStringLiteral("Error: the stand-in broke it");
        QTest::newRow("SIGKILL") << QByteArray("kill -9 $$") << QStringLiteral("mkvpropedit was ended (signal 9) before it finished");
    }
    void a_failed_or_killed_tool_leaves_the_file_as_it_was() {
        QFETCH(QByteArray, ending);
        QFETCH(QString, message);
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("broken.mkv"));
        const QByteArray original = sha256(path);
        stand_in("printf 'JUNKJUNK' | dd of=\"$1\" bs=1 seek=40 conv=notrunc 2>/dev/null; head -c 5000 /dev/zero >> \"$1\"; " + ending);
        BackendSetup s;
        QVERIFY(save_long_edits(s, path));
        QCOMPARE(s.backend.saves()->save_status(),
                 QStringLiteral("Saving broken.mkv failed: %1. The file was restored unchanged.").arg(message));
        QCOMPARE(sha256(path), original);
        QVERIFY(s.backend.history()->active_modified());
        QVERIFY(!s.backend.saves()->can_undo_save());
    }

    void a_read_only_file_is_left_as_it_was() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("readonly.mkv"));
        const QByteArray original = sha256(path);
        if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) != 0)
            QSKIP("chattr +i is not available here");
        BackendSetup s;
        QVERIFY(save_long_edits(s, path));
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
        QVERIFY(s.backend.saves()->save_failed());
        QVERIFY2(s.backend.saves()->save_status().endsWith(QStringLiteral("The file was restored unchanged.")),
                 qPrintable(s.backend.saves()->save_status()));
        QCOMPARE(sha256(path), original);
    }

    // A disk made read-only after the save: the undo cannot open the file, says why, and
    // gives the way to put it back later.
    void an_undo_on_a_read_only_disk_says_why() {
        clear_journals();
        const QString mount = dir.filePath(QStringLiteral("ro"));
        QDir().mkpath(mount);
        if (::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs", 0, "size=6000k") != 0)
            QSKIP("a tmpfs cannot be mounted here");
        const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(mount).constData(), MNT_DETACH); });
        const QString path = mount + QStringLiteral("/full.mkv");
        QVERIFY(QFile::copy(media(QStringLiteral("full.mkv")), path));
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        BackendSetup s;
        QVERIFY(save_long_edits(s, path));
        QVERIFY2(!s.backend.saves()->save_failed(), qPrintable(s.backend.saves()->save_status()));
        const QByteArray saved = sha256(path);
        QCOMPARE(::mount(nullptr, QFile::encodeName(mount).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
        QVERIFY(!s.backend.saves()->undo_last_save());
        QVERIFY2(s.backend.saves()->save_status().contains(QStringLiteral("the file could not be opened (Read-only file system)")) &&
                     s.backend.saves()->save_status().contains(QStringLiteral("perlane-journal restore")),
                 qPrintable(s.backend.saves()->save_status()));
        QCOMPARE(sha256(path), saved);
        clear_journals();
    }

    // When the file cannot be put back, the journal stays and the user is told how to use it.
    void a_restore_that_cannot_complete_keeps_the_journal() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("stuck.mkv"));
        const QByteArray original = sha256(path);
        stand_in("printf 'JUNK' | dd of=\"$1\" bs=1 seek=40 conv=notrunc 2>/dev/null; chattr +i \"$1\" || exit 0; exit 2");
        BackendSetup s;
        QVERIFY(save_long_edits(s, path));
        const QString status = s.backend.saves()->save_status();
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

    // However the program ends while the tool runs (killed, or its Backend destroyed as at
    // Qt.quit() and SIGTERM), a save whose tool finished is kept: the next start leaves it
    // and offers to take it back. A warning the tool says on stderr once the program is gone
    // goes through the runner's relay, so the broken pipe cannot end the tool.
    void a_finished_save_is_kept_however_the_program_ends_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("warns"); // the tool ends with warnings (exit 1): the save was made
        QTest::newRow("killed") << QStringLiteral("killed") << false;
        QTest::newRow("quit") << QStringLiteral("quit") << false;
        QTest::newRow("quit while the tool runs") << QStringLiteral("quit-running") << false;
        QTest::newRow("killed, the tool warning") << QStringLiteral("killed") << true;
    }
    void a_finished_save_is_kept_however_the_program_ends() {
        QFETCH(QString, mode);
        QFETCH(bool, warns);
        const QString path = copy(QStringLiteral("full.mkv"), mode + (warns ? QStringLiteral("-warned.mkv") : QStringLiteral(".mkv")));
        const QString ready = dir.filePath(QStringLiteral("ready-") + mode + (warns ? QStringLiteral("-warned") : QString()));
        stand_in("touch '" + ready.toUtf8() + "'; sleep 0.5; " +
                 (warns ? "'" + real_tool().toUtf8() + "' \"$@\" || exit 2; echo 'Warning: a warning.' >&2; exit 1"
                        : "exec '" + real_tool().toUtf8() + "' \"$@\""));
        QVERIFY(run_child({mode, path, ready}) == (mode == QStringLiteral("killed") ? QProcess::CrashExit : QProcess::NormalExit));
        QVERIFY(wait_unlocked(path));
        BackendSetup s; // the next start
        QVERIFY(!s.backend.add_file(path));
        QVERIFY2(!s.backend.saves()->save_failed(), qPrintable(s.backend.saves()->save_status()));
        QCOMPARE(first_track_name(path), QString(3000, QLatin1Char('n')));
        QVERIFY(s.backend.saves()->can_undo_save());
    }

    // A file named at start whose save's tool still runs (its program killed) is read once
    // the tool ends, with what it saved, and not before.
    void a_file_named_at_start_waits_for_its_running_save() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("named.mkv"));
        const QString ready = dir.filePath(QStringLiteral("ready-named")), go = dir.filePath(QStringLiteral("go-named"));
        QFile::remove(ready);
        QFile::remove(go);
        stand_in("touch '" + ready.toUtf8() + "'; while [ ! -e '" + go.toUtf8() + "' ]; do sleep 0.05; done; exec '" +
                 real_tool().toUtf8() + "' \"$@\"");
        QCOMPARE(run_child({QStringLiteral("killed"), path, ready}), QProcess::CrashExit);
        perlane::set_startup_files({QFile::encodeName(path)});
        BackendSetup s;
        s.backend.componentComplete();
        QVERIFY(!s.backend.active_document()); // its tool still writes it
        QFile(go).open(QIODevice::WriteOnly);
        QTRY_VERIFY_WITH_TIMEOUT(s.backend.active_document(), 30000);
        QCOMPARE(s.backend.active_file_name(), QStringLiteral("named.mkv"));
        QCOMPARE(s.tracks.rows().at(0).name, QString(3000, QLatin1Char('n')));
    }

    // A failed save is put back at the next start only onto the file exactly as the tool
    // left it, and before the file is read; another file put in its place, or the file
    // edited by hand since, is left as it is and the user is told.
    void a_failed_save_is_put_back_only_onto_what_it_left_data() {
        QTest::addColumn<QString>("after");
        QTest::newRow("untouched: the tool failed first") << QStringLiteral("untouched");
        QTest::newRow("as the tool left it") << QString();
        QTest::newRow("as the tool left it, the same size") << QStringLiteral("small");
        QTest::newRow("replaced in place") << QStringLiteral("cp");
        QTest::newRow("edited by hand") << QStringLiteral("mkvpropedit");
        QTest::newRow("as the tool left it, its journal damaged") << QStringLiteral("damaged");
        QTest::newRow("gone") << QStringLiteral("gone");
        QTest::newRow("a socket in its place, which cannot be opened") << QStringLiteral("socket");
    }
    void a_failed_save_is_put_back_only_onto_what_it_left() {
        QFETCH(QString, after);
        clear_journals();
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("failed.mkv"));
        const QByteArray original = sha256(path);
        const QString ready = dir.filePath(QStringLiteral("ready-failed")), go = dir.filePath(QStringLiteral("go"));
        QFile::remove(ready);
        QFile::remove(go);
        // A real edit, then a failure, after the program is gone.
        const QByteArray edit = after == QStringLiteral("untouched") ? QByteArray() : "'" + real_tool().toUtf8() + "' \"$@\" >/dev/null; ";
        stand_in(edit + "touch '" + ready.toUtf8() + "'; while [ ! -e '" + go.toUtf8() + "' ]; do sleep 0.05; done; exit 2");
        const bool small = after == QStringLiteral("small");
        QCOMPARE(run_child({small ? QStringLiteral("killed-small") : QStringLiteral("killed"), path, ready}), QProcess::CrashExit);
        QFile(go).open(QIODevice::WriteOnly);
        QVERIFY(wait_unlocked(path));
        QCOMPARE(journal_files(".failed").size(), 1); // the runner saw the tool fail
        if (small)
            QCOMPARE(QFileInfo(path).size(), QFileInfo(media(QStringLiteral("full.mkv"))).size());
        if (after == QStringLiteral("cp")) {
            QVERIFY(QProcess::execute(QStringLiteral("cp"), {media(QStringLiteral("editions.mkv")), path}) == 0);
        } else if (after == QStringLiteral("mkvpropedit")) {
            QVERIFY(QProcess::execute(real_tool(), {QStringLiteral("-q"), path, QStringLiteral("--edit"), QStringLiteral("track:1"),
                                                   QStringLiteral("--set"), QStringLiteral("name=By hand")}) == 0);
        } else if (after == QStringLiteral("damaged")) {
            const auto all = Journal::all();
            const auto j = std::ranges::find(all, path, &Journal::path);
            QVERIFY(j != all.end());
            QFile f(j->journal_path());
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.seek(f.size() / 2));
            const char was = f.read(1).at(0);
            QVERIFY(f.seek(f.size() / 2) && f.putChar(static_cast<char>(was ^ 0x10)));
        } else if (after == QStringLiteral("gone") || after == QStringLiteral("socket")) {
            QVERIFY(QFile::remove(path));
            if (after == QStringLiteral("socket"))
                QVERIFY(make_socket(path));
            const auto removed = qScopeGuard([&] { QFile::remove(path); });
            BackendSetup s;
            QVERIFY(s.backend.add_file(path)); // an error: nothing to read there
            const QString why = after == QStringLiteral("gone") ? QStringLiteral("The file is no longer there: ")
                                                                 : QStringLiteral("It could not be restored (No such device or address): ");
            QVERIFY2(s.backend.saves()->save_status().startsWith(
                         QStringLiteral("Saving failed.mkv failed: the program ended during the save. ") + why),
                     qPrintable(s.backend.saves()->save_status()));
            QCOMPARE(unfinished(path), 1); // kept for the user
            return;
        }
        const QByteArray before_start = sha256(path);
        BackendSetup s; // the next start, opening the file at once
        QVERIFY(!s.backend.add_file(path));
        if (after == QStringLiteral("untouched")) { // nothing to put back, nothing to say
            QCOMPARE(s.backend.saves()->save_status(), QString());
            QCOMPARE(sha256(path), original);
            QCOMPARE(unfinished(path), 0);
        } else if (after.isEmpty() || small) {
            QCOMPARE(s.backend.saves()->save_status(),
                     QStringLiteral("Saving failed.mkv failed: the program ended during the save. The file was restored unchanged."));
            QCOMPARE(sha256(path), original);
            QCOMPARE(s.tracks.rows().at(0).name, QStringLiteral("Picture")); // read after recovery
            QVERIFY(!s.backend.saves()->changed_on_disk());
            QCOMPARE(unfinished(path), 0);
        } else if (after == QStringLiteral("damaged")) { // the way to put it back by hand is said
            QVERIFY2(s.backend.saves()->save_status().contains(QStringLiteral("It could not be restored (the journal is damaged")) &&
                         s.backend.saves()->save_status().contains(QStringLiteral("perlane-journal restore")),
                     qPrintable(s.backend.saves()->save_status()));
            QCOMPARE(sha256(path), before_start);
            QCOMPARE(unfinished(path), 1);
        } else {
            QVERIFY2(s.backend.saves()->save_status().contains(QStringLiteral("The file was left as it is")) &&
                         s.backend.saves()->save_status().contains(QStringLiteral("perlane-journal restore")),
                     qPrintable(s.backend.saves()->save_status()));
            QCOMPARE(sha256(path), before_start);
            QCOMPARE(unfinished(path), 1); // kept for the user
        }
    }

    // A journal damaged after the save is refused whole, before the file is touched, by
    // Undo Last Save and by perlane-journal restore alike.
    void a_damaged_journal_writes_nothing_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("said");
        QTest::newRow("4 KiB zeroed") << QStringLiteral("zeroed") << QStringLiteral("the journal is damaged (its bytes do not match their digest)");
        QTest::newRow("one byte flipped") << QStringLiteral("flipped") << QStringLiteral("the journal is damaged (its bytes do not match their digest)");
        QTest::newRow("cut short") << QStringLiteral("cut") << QStringLiteral("no save of it is kept"); // not listed: incomplete
    }
    void a_damaged_journal_writes_nothing() {
        QFETCH(QString, damage);
        QFETCH(QString, said);
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("damaged-journal.mkv"));
        BackendSetup s;
        QVERIFY(save_long_edits(s, path));
        const QByteArray saved = sha256(path);
        const Journal j = Journal::all().back();
        {
            QFile f(j.journal_path());
            QVERIFY(f.open(QIODevice::ReadWrite));
            const qint64 at = f.size() / 2;
            f.seek(at);
            const QByteArray was = f.read(1);
            f.seek(at);
            if (damage == QStringLiteral("cut"))
                QVERIFY(f.resize(f.size() - 100));
            else
                f.write(damage == QStringLiteral("zeroed") ? QByteArray(static_cast<int>(std::min<qint64>(4096, f.size() - at - 80)), '\0')
                                                           : QByteArray(1, static_cast<char>(was.at(0) ^ 0x10)));
        }
        QVERIFY(!s.backend.saves()->undo_last_save());
        QVERIFY2(s.backend.saves()->save_status().contains(said), qPrintable(s.backend.saves()->save_status()));
        QCOMPARE(sha256(path), saved);
        QProcess tool;
        tool.start(QStringLiteral(PERLANE_JOURNAL_TOOL), {QStringLiteral("restore"), j.journal_path()});
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitCode(), 1);
        QCOMPARE(sha256(path), saved);
        j.remove();
    }

    // A mark of a finished save that cannot be read proves nothing: the next start keeps the
    // journal and says so, rather than taking the save as finished (and later pruning it).
    void a_damaged_end_mark_is_not_taken_as_a_finished_save() {
        clear_journals();
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("damaged-mark.mkv"));
        {
            BackendSetup s;
            QVERIFY(save_long_edits(s, path));
        }
        const QByteArray saved = sha256(path);
        QFile mark(Journal::all().back().journal_path() + QStringLiteral(".done"));
        QVERIFY(mark.open(QIODevice::WriteOnly | QIODevice::Truncate) && mark.write("\0\0\0\n", 4) == 4);
        mark.close();
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        QVERIFY2(s.backend.saves()->save_status().contains(QStringLiteral("The file was left as it is")) &&
                     s.backend.saves()->save_status().contains(QStringLiteral("perlane-journal restore")),
                 qPrintable(s.backend.saves()->save_status()));
        QCOMPARE(sha256(path), saved);
        QCOMPARE(unfinished(path), 1);
        clear_journals();
    }

    // A journal of the first format (its digest over the saved bytes alone) still takes its
    // save back at a later start.
    void a_first_format_journal_still_takes_its_save_back() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("first-format.mkv"));
        const QByteArray original = sha256(path);
        {
            BackendSetup s;
            QVERIFY(save_long_edits(s, path));
        }
        QFile f(Journal::all().back().journal_path());
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("perlane journal 2\n"));
        bytes[16] = '1';
        const qsizetype data = bytes.indexOf('\n', 18) + 1, digest = bytes.size() - 64;
        bytes.replace(digest, 64, QCryptographicHash::hash(bytes.mid(data, digest - data), QCryptographicHash::Sha256).toHex());
        QVERIFY(f.seek(0) && f.write(bytes) == bytes.size());
        f.close();
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        QVERIFY2(s.backend.saves()->undo_last_save(), qPrintable(s.backend.saves()->save_status()));
        QCOMPARE(sha256(path), original);
    }

    // Another file moved over the name between the lock and the tool: the tool still writes
    // the file that was locked and checked, and the window says where the name points now.
    void a_save_writes_the_file_it_locked() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("locked.mkv"));
        const QString other = copy(QStringLiteral("two.mkv"), QStringLiteral("intruder.mkv"));
        const QString kept = dir.filePath(QStringLiteral("locked-link.mkv"));
        QVERIFY(::link(QFile::encodeName(path).constData(), QFile::encodeName(kept).constData()) == 0);
        const QByteArray intruder = sha256(other);
        stand_in("mv '" + other.toUtf8() + "' '" + path.toUtf8() + "'; exec '" + real_tool().toUtf8() + "' \"$@\"");
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Locked"));
        s.save();
        QCOMPARE(sha256(path), intruder);
        QCOMPARE(first_track_name(kept), QStringLiteral("Locked"));
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("locked.mkv was saved, but its name now points to another file."));
        QVERIFY(s.backend.saves()->changed_on_disk());
    }

    // The save went in but its record could not be written (a folder has the record's name):
    // the window says so, and the file stays as saved, now and at the next start.
    void a_save_whose_record_fails_says_so() {
        clear_journals();
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("unrecorded.mkv"));
        stand_in("for j in '" + Journal::directory().toUtf8() + "'/*.journal; do mkdir \"$j.done\"; done; exec '" +
                 real_tool().toUtf8() + "' \"$@\"");
        {
            BackendSetup s;
            QVERIFY(!s.backend.add_file(path));
            s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Kept"));
            s.save();
            QVERIFY2(s.backend.saves()->save_status().startsWith(
                         QStringLiteral("unrecorded.mkv was saved, but the record of the save could not be written")),
                     qPrintable(s.backend.saves()->save_status()));
            QVERIFY(s.backend.saves()->save_failed());
        }
        restore_path();
        QCOMPARE(first_track_name(path), QStringLiteral("Kept"));
        BackendSetup next;
        QVERIFY(!next.backend.add_file(path));
        QCOMPARE(first_track_name(path), QStringLiteral("Kept"));
        for (const QString &d : QDir(Journal::directory()).entryList({QStringLiteral("*.done")}, QDir::Dirs))
            QDir(Journal::directory() + QLatin1Char('/') + d).removeRecursively();
    }

    // Undo Last Save cut short half way (killed at its second write): the next start
    // finishes it, since every block is either as before the save or as after it.
    void an_undo_cut_short_is_finished_at_the_next_start() {
        if (QProcess::execute(QStringLiteral("strace"), {QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("true")}) != 0)
            QSKIP("strace cannot trace here");
        clear_journals();
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("half-undone.mkv"));
        const QByteArray original = sha256(path);
        {
            BackendSetup s;
            QVERIFY(save_long_edits(s, path));
            QVERIFY(journal_ranges(layout_of(path)).size() >= 2);
        }
        const QByteArray saved = sha256(path);
        QCOMPARE(run_child({QStringLiteral("undo"), path, QString()},
                           {QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"),
                            QStringLiteral("/dev/null"), QStringLiteral("-e"), QStringLiteral("trace=pwrite64"),
                            QStringLiteral("-e"), QStringLiteral("inject=pwrite64:signal=SIGKILL:when=2")}),
                 QProcess::CrashExit);
        const QByteArray half = sha256(path);
        QVERIFY(half != saved && half != original);
        QCOMPARE(journal_files(".undoing").size(), 1);
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Undoing the last save of half-undone.mkv was cut short when the "
                                                         "program ended. The undo was completed: the file is as before that save."));
        QCOMPARE(sha256(path), original);
        QVERIFY(Journal::all().empty() && journal_files(".undoing").isEmpty());
    }

    // The program killed at random points while it saves an edit and takes it back, over
    // and over: after the next start every file is exactly as before the edit or after it.
    // (bench/kill-rounds.sh runs many more rounds.)
    void random_kills_leave_the_file_before_or_after() {
        const int rounds = qEnvironmentVariableIntValue("PERLANE_KILL_ROUNDS") > 0 ? qEnvironmentVariableIntValue("PERLANE_KILL_ROUNDS") : 4;
        clear_journals();
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("kills.mkv"));
        const QByteArray before = sha256(path);
        QByteArray after;
        {
            BackendSetup s;
            QVERIFY(!s.backend.add_file(path));
            s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("After"));
            s.save();
            after = sha256(path);
            QVERIFY(s.backend.saves()->undo_last_save());
            QCOMPARE(sha256(path), before);
        }
        QRandomGenerator random(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
        int as_after = 0, recovered = 0;
        for (int round = 0; round < rounds; ++round) {
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("loop"), path, QString()});
            QVERIFY(p.waitForStarted());
            QTest::qWait(300 + static_cast<int>(random.bounded(1500)));
            p.kill();
            QVERIFY(p.waitForFinished());
            QVERIFY(wait_unlocked(path));
            BackendSetup s;
            s.backend.add_file(path); // recovers first
            const QByteArray now = sha256(path);
            QVERIFY2(now == before || now == after, qPrintable(QStringLiteral("round %1: %2").arg(round).arg(s.backend.saves()->save_status())));
            QCOMPARE(unfinished(path), 0);
            as_after += now == after ? 1 : 0;
            recovered += s.backend.saves()->save_status().isEmpty() ? 0 : 1;
        }
        qInfo("%d rounds: %d left as after the edit, %d settled by recovery", rounds, as_after, recovered);
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
        const QString free_text = QLocale::c().formattedDataSize(QStorageInfo(mount).bytesAvailable());
        {
            BackendSetup s;
            QVERIFY(save_long_edits(s, path));
            QVERIFY(s.backend.saves()->save_failed());
            QVERIFY2(s.backend.saves()->save_status().startsWith(QStringLiteral("Could not save full.mkv: its disk has %1 free, and the save may need ").arg(free_text)) &&
                         s.backend.saves()->save_status().endsWith(QStringLiteral("Nothing was changed.")),
                     qPrintable(s.backend.saves()->save_status()));
            QCOMPARE(sha256(path), original);
        }
        ::umount(QFile::encodeName(mount).constData());

        // A journal folder that cannot be made.
        const QString other = copy(QStringLiteral("full.mkv"), QStringLiteral("nojournal.mkv"));
        const QByteArray before = sha256(other);
        const QByteArray state = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", QFile::encodeName(other)); // a file, not a folder
        BackendSetup s;
        QVERIFY(save_long_edits(s, other));
        qputenv("XDG_STATE_HOME", state);
        QVERIFY(s.backend.saves()->save_failed());
        QVERIFY2(s.backend.saves()->save_status().contains(QStringLiteral("no journal of the save could be kept")),
                 qPrintable(s.backend.saves()->save_status()));
        QCOMPARE(sha256(other), before);

        // No temporary folder for the chapters file: nothing changes, and once there is one,
        // the same edits are saved.
        const QString chaptered = copy(QStringLiteral("full.mkv"), QStringLiteral("notemp.mkv"));
        const QByteArray unchanged = sha256(chaptered);
        BackendSetup t;
        QVERIFY(!t.backend.add_file(chaptered));
        t.backend.set_chapter_name(0, 0, QStringLiteral("Renamed"));
        const QByteArray tmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(chaptered)); // a file, not a folder
        t.save();
        qputenv("TMPDIR", tmp);
        QVERIFY2(t.backend.saves()->save_status().startsWith(QStringLiteral("Could not save notemp.mkv: the chapters file could not be written")),
                 qPrintable(t.backend.saves()->save_status()));
        QVERIFY(t.backend.saves()->save_failed()); // shown as a failure, not as news
        QCOMPARE(sha256(chaptered), unchanged);
        {
            // The same with the window closed while the journal is copied: the failure is
            // said to no one, and the file is as it was.
            BackendSetup closed;
            QVERIFY(!closed.backend.add_file(chaptered));
            closed.backend.set_chapter_name(0, 0, QStringLiteral("Closed"));
            qputenv("TMPDIR", QFile::encodeName(chaptered));
            closed.backend.save_file();
            QVERIFY(closed.backend.saves()->saving());
        }
        qputenv("TMPDIR", tmp);
        QCOMPARE(sha256(chaptered), unchanged);
        QCOMPARE(unfinished(chaptered), 0);
        t.save();
        QCOMPARE(t.backend.saves()->save_status(), QStringLiteral("Saved notemp.mkv."));
        BackendSetup read;
        QVERIFY(!read.backend.add_file(chaptered));
        QCOMPARE(read.chapters.rows().at(0).name, QStringLiteral("Renamed"));
    }

    // The two room checks add up when the journal and the file share a file system.
    void the_journal_and_the_save_share_the_room_of_one_disk() {
        const QString mount = dir.filePath(QStringLiteral("shared"));
        QDir().mkpath(mount);
        if (::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs", 0, "size=8000k") != 0)
            QSKIP("a tmpfs cannot be mounted here");
        const QString path = mount + QStringLiteral("/full.mkv");
        QVERIFY(QFile::copy(media(QStringLiteral("full.mkv")), path));
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        const QByteArray state = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", QFile::encodeName(mount + QStringLiteral("/state")));
        QDir().mkpath(Journal::directory());
        const QByteArray original = sha256(path);
        {
            BackendSetup s;
            QVERIFY(!s.backend.add_file(path));
            s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QString(20000, QLatin1Char('n')));
            const SavePlan plan = plan_save(*s.backend.active_document());
            std::uint64_t growth = 0;
            for (const QString &a : plan.track_arguments)
                growth += static_cast<std::uint64_t>(a.toUtf8().size());
            const reader::Layout layout = layout_of(path);
            const std::uint64_t needed = append_allowance(layout, growth);
            std::uint64_t journal = 64 << 10;
            for (const ByteRange &r : journal_ranges(layout))
                journal += r.length;
            // Room for either alone, not for both.
            const std::uint64_t leave = needed + journal / 2;
            QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("head -c $(( $(df -B1 --output=avail '%1' | tail -1) - %2 )) /dev/zero > '%1/filler'").arg(mount).arg(leave)});
            const QString free_text = QLocale::c().formattedDataSize(QStorageInfo(mount).bytesAvailable());
            s.save();
            // What both need is said, every journaled range counted.
            QVERIFY(journal_ranges(layout).size() >= 2);
            QCOMPARE(s.backend.saves()->save_status(),
                     QStringLiteral("Could not save full.mkv: its disk has %1 free, and the save may need %2 with its journal. Nothing was changed.")
                         .arg(free_text, QLocale::c().formattedDataSize(static_cast<qint64>(needed + journal))));
        }
        qputenv("XDG_STATE_HOME", state);
        const QByteArray now = sha256(path);
        ::umount2(QFile::encodeName(mount).constData(), MNT_DETACH);
        QCOMPARE(now, original);
    }

    // What a killed copy left behind goes at the next start; a journal that cannot be read
    // is listed as damaged and told, never silently passed over.
    void leftovers_and_damaged_journals_are_dealt_with() {
        clear_journals();
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("leftovers.mkv"));
        QDir().mkpath(Journal::directory());
        const QString part = Journal::directory() + QStringLiteral("/1-dead.journal.part");
        QFile(part).open(QIODevice::WriteOnly);
        int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        const auto identity = reader::identity_of(fd);
        const auto written = Journal::write(fd, path, *identity, journal_ranges(layout_of(path)));
        ::close(fd);
        QVERIFY(written);
        QVERIFY(QFile::resize(written->journal_path(), QFileInfo(written->journal_path()).size() - 100));
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        QVERIFY(!QFile::exists(part));
        QVERIFY2(s.backend.saves()->save_status().contains(QStringLiteral("cannot be read and was left alone: %1: it is incomplete").arg(written->journal_path())),
                 qPrintable(s.backend.saves()->save_status()));
        QProcess tool;
        tool.start(QStringLiteral(PERLANE_JOURNAL_TOOL), {QStringLiteral("list")});
        QVERIFY(tool.waitForFinished(30000));
        QVERIFY(tool.readAllStandardOutput().contains(QFile::encodeName(written->journal_path()) + ": it is incomplete\tdamaged"));
        QFile::remove(written->journal_path());
    }

    // 100 MiB past the segment's end: the copy runs off the window's thread, and the save
    // stays undoable although its journal alone is over the cap.
    void a_large_journal_is_copied_aside_and_kept() {
        clear_journals();
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("tail.mkv"));
        QVERIFY(QFile::resize(path, QFileInfo(path).size() + (100 << 20)));
        const QByteArray original = sha256(path);
        BackendSetup s;
        QVERIFY(!s.backend.add_file(path));
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Tail"));
        s.backend.save_file();
        QVERIFY(s.backend.saves()->saving());
        QVERIFY(Journal::all().empty()); // still being copied: save_file() did not wait for it
        QVERIFY(!s.backend.saves()->undo_last_save());
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Cannot undo the last save of tail.mkv: it is being saved."));
        s.wait();
        QVERIFY2(s.backend.saves()->save_status().startsWith(QStringLiteral("Saved tail.mkv. Its journal alone is larger than")),
                 qPrintable(s.backend.saves()->save_status()));
        // The large journal kept is another file's: the next save says nothing of it.
        QVERIFY(!s.backend.add_file(copy(QStringLiteral("full.mkv"), QStringLiteral("small.mkv"))));
        s.backend.select_file(1);
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Small"));
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved small.mkv."));
        // A client bound to can_undo_save hears that a save under way takes it away.
        QVERIFY(s.backend.saves()->can_undo_save());
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Smaller"));
        QSignalSpy undo_changed(s.backend.saves(), &Saving::undo_changed);
        s.backend.save_file();
        QVERIFY(!s.backend.saves()->can_undo_save());
        QVERIFY(undo_changed.count() > 0);
        s.wait();
        s.backend.select_file(0);
        QVERIFY(s.backend.saves()->can_undo_save());
        QVERIFY(s.backend.saves()->undo_last_save());
        QCOMPARE(sha256(path), original);
    }

    void finished_journals_are_bounded() {
        clear_journals();
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("many.mkv"));
        const QString other = copy(QStringLiteral("full.mkv"), QStringLiteral("once.mkv"));
        BackendSetup s;
        QVERIFY(!s.backend.add_file(other));
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Once"));
        s.save();
        QVERIFY(!s.backend.add_file(path));
        s.backend.select_file(1);
        for (int i = 0; i < 23; ++i) {
            s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Name %1").arg(i));
            s.save();
        }
        int kept = 0, kept_other = 0;
        for (const Journal &j : Journal::all()) {
            kept += j.path() == path ? 1 : 0;
            kept_other += j.path() == other ? 1 : 0;
        }
        QCOMPARE(kept, 20);
        QCOMPARE(kept_other, 1); // another file's saves are not counted against this one's
        // Within a budget the size of the newest alone, each file keeps its newest, and that is not over it.
        const std::uint64_t newest = std::ranges::max(Journal::all(), {}, &Journal::data_size).data_size();
        QVERIFY(!Journal::prune(20, newest));
        QCOMPARE(Journal::all().size(), 2u);
        QVERIFY(Journal::prune(20, newest - 1));
        QCOMPARE(Journal::all().size(), 2u);
        // The newest is the one kept.
        QVERIFY(s.backend.saves()->undo_last_save());
        QCOMPARE(first_track_name(path), QStringLiteral("Name 21"));
        // An undo under way is never pruned, however old: it finishes the undo at the next start.
        for (int i = 0; i < 2; ++i) {
            s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Again %1").arg(i));
            s.save();
        }
        std::vector<Journal> saves;
        for (Journal &j : Journal::all())
            if (j.path() == path)
                saves.push_back(std::move(j));
        QCOMPARE(saves.size(), 2u);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        QVERIFY(saves.front().begin_undo(fd));
        ::close(fd);
        Journal::prune(1, 0);
        QCOMPARE(unfinished(path), 1);
        clear_journals();
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray("killed killed-small quit quit-running undo loop").split(' ').contains(argv[1]))
        return child(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestJournal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_journal.moc"
