// Documents against real files and the real mkvpropedit: edits land only in the file they
// were made in, saves check the file first and do not block, and every edit can be undone.
#include "backend_setup.h"
#include "ebml_writer.h"
#include "media_files.h"
#include "view.h"

#include <cstdio>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace perlane;

namespace {

struct Setup : BackendSetup {
    void open(const QStringList &paths) {
        for (const QString &p : paths)
            QVERIFY2(!backend.add_file(p), qPrintable(p));
    }
    QStringList rows() const {
        QStringList out;
        for (const auto &t : tracks.rows())
            out << QStringLiteral("%1 %2 %3%4").arg(t.number).arg(t.name, t.language, t.is_default ? QStringLiteral(" default") : QString());
        for (const auto &c : chapters.rows())
            out << QStringLiteral("%1/%2 %3 %4-%5").arg(c.edx).arg(c.idx).arg(c.name, c.start, c.end);
        return out;
    }
};

reader::SegmentView read_back(const QString &path) {
    auto file = reader::File::open(QFile::encodeName(path).toStdString());
    auto view = reader::MatroskaView::read_from(*file);
    if (!view)
        qFatal("cannot read %s back", qPrintable(path));
    return view->segments.at(0);
}

QString track_name(const QString &path, std::size_t track) {
    const auto seg = read_back(path);
    const auto &t = seg.tracks->track_entry.at(track);
    return t.name ? QString::fromStdString(t.name->value) : QString();
}

QString first_chapter(const QString &path) {
    const auto seg = read_back(path);
    return QString::fromStdString(seg.chapters->edition_entry.at(0).chapter_atom.at(0).chapter_display.at(0).chap_string.value);
}

void tool(const QStringList &arguments) {
    QProcess p;
    p.start(QStringLiteral("mkvpropedit"), QStringList{QStringLiteral("-q")} + arguments);
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAll().constData());
}

} // namespace

class TestDocuments : public QObject, MediaWork {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { restore_path(); }

    // A byte copy and a file re-chaptered by mkvpropedit share the original's SegmentUUID.
    void files_with_one_uid_never_share_edits() {
        const QString original = copy(QStringLiteral("full.mkv"), QStringLiteral("orig.mkv"));
        const QString twin = copy(QStringLiteral("full.mkv"), QStringLiteral("twin.mkv"));
        const QString rechaptered = copy(QStringLiteral("full.mkv"), QStringLiteral("rechap.mkv"));
        tool({rechaptered, QStringLiteral("--chapters"), media(QStringLiteral("editions.xml"))});
        Setup s;
        s.open({original, twin, rechaptered});
        QCOMPARE(s.backend.file_names(), (QStringList{"orig.mkv", "twin.mkv", "rechap.mkv"}));
        s.backend.select_file(2); // its own chapters, not the original's
        QCOMPARE(s.chapters.rows().at(0).name, QStringLiteral("Cold open"));

        s.backend.select_file(1);
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Twin only"));
        s.backend.select_file(0);
        QCOMPARE(s.tracks.rows().at(0).name, QStringLiteral("Picture"));
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Nothing to save: orig.mkv has no changes."));
        QCOMPARE(track_name(original, 0), QStringLiteral("Picture"));

        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Original only"));
        s.backend.set_chapter_name(0, 0, QStringLiteral("Original intro"));
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved orig.mkv."));
        QCOMPARE(s.backend.history()->modified_rows(), (QVariantList{false, true, false}));
        QCOMPARE(track_name(original, 0), QStringLiteral("Original only"));
        QCOMPARE(first_chapter(original), QStringLiteral("Original intro"));
        QCOMPARE(track_name(twin, 0), QStringLiteral("Picture"));
        QCOMPARE(first_chapter(rechaptered), QStringLiteral("Cold open"));

        s.backend.select_file(1);
        s.save();
        QCOMPARE(s.backend.history()->modified_rows(), (QVariantList{false, false, false}));
        QCOMPARE(track_name(twin, 0), QStringLiteral("Twin only"));
        QCOMPARE(track_name(original, 0), QStringLiteral("Original only"));
    }

    void a_file_without_segment_uid_opens_edits_and_saves() {
        const QString webm = copy(QStringLiteral("webm.webm"), QStringLiteral("plain.webm"));
        QVERIFY(!read_back(webm).info.segment_uuid);
        Setup s;
        s.open({webm});
        s.backend.set_track_name(QString(), 1, QStringLiteral("Picture"));
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved plain.webm."));
        QCOMPARE(track_name(webm, 0), QStringLiteral("Picture"));
        QCOMPARE(s.tracks.rows().at(0).name, QStringLiteral("Picture")); // read back from disk
    }

    void a_file_changed_on_disk_is_not_saved_over() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("changed.mkv"));
        Setup s;
        s.open({path});
        s.backend.set_track_name(QStringLiteral("Episode 1"), 2, QStringLiteral("Mine"));
        s.backend.set_chapter_name(0, 0, QStringLiteral("My intro"));
        tool({path, QStringLiteral("--edit"), QStringLiteral("track:1"), QStringLiteral("--set"), QStringLiteral("name=Theirs"),
              QStringLiteral("--chapters"), media(QStringLiteral("editions.xml"))});
        s.save();
        QVERIFY(s.backend.saves()->save_failed());
        QCOMPARE(s.backend.saves()->save_status(),
                 QStringLiteral("changed.mkv changed on disk since it was opened. Reload it, or save anyway."));
        QVERIFY(s.backend.saves()->changed_on_disk());
        QVERIFY(s.backend.history()->active_modified());
        QCOMPARE(first_chapter(path), QStringLiteral("Cold open")); // their chapters are still there

        // Save anyway: the edits go in, over their change; the document is then the file.
        s.backend.saves()->save_anyway();
        s.wait();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved changed.mkv."));
        QCOMPARE(track_name(path, 0), QStringLiteral("Theirs"));
        QCOMPARE(track_name(path, 1), QStringLiteral("Mine"));
        QCOMPARE(first_chapter(path), QStringLiteral("My intro"));
        QVERIFY(!s.backend.saves()->changed_on_disk() && !s.backend.history()->active_modified());
        QCOMPARE(s.tracks.rows().at(0).name, QStringLiteral("Theirs"));

        // Reload: the edits are dropped and the file is shown as it is now.
        s.backend.set_track_name(QStringLiteral("Episode 1"), 3, QStringLiteral("Dropped"));
        tool({path, QStringLiteral("--edit"), QStringLiteral("track:3"), QStringLiteral("--set"), QStringLiteral("name=Theirs too")});
        s.backend.saves()->reload_file();
        QVERIFY(!s.backend.history()->active_modified());
        QCOMPARE(s.tracks.rows().at(2).name, QStringLiteral("Theirs too"));
        QVERIFY(!s.backend.history()->can_undo()); // the dropped edits cannot come back over the new content

        // A touched file holds the same metadata: that is no change.
        QVERIFY(QProcess::execute(QStringLiteral("touch"), {path}) == 0);
        s.backend.set_track_name(QStringLiteral("Episode 1"), 3, QStringLiteral("After touch"));
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved changed.mkv."));

        // Only their chapters changed (replaced by another program): that is a change too.
        QTemporaryDir xml_dir;
        QFile xml(xml_dir.filePath(QStringLiteral("theirs.xml")));
        QVERIFY(xml.open(QIODevice::WriteOnly));
        xml.write("<?xml version=\"1.0\"?>\n<Chapters><EditionEntry><ChapterAtom><ChapterUID>7</ChapterUID>"
                  "<ChapterTimeStart>00:00:00.000</ChapterTimeStart><ChapterDisplay><ChapterString>Theirs</ChapterString>"
                  "</ChapterDisplay></ChapterAtom></EditionEntry></Chapters>\n");
        xml.close();
        tool({path, QStringLiteral("--chapters"), xml.fileName()});
        s.backend.set_track_name(QStringLiteral("Episode 1"), 3, QStringLiteral("Over theirs"));
        s.save();
        QVERIFY(s.backend.saves()->save_status().contains(QStringLiteral("changed on disk")));
        QCOMPARE(track_name(path, 2), QStringLiteral("After touch"));

        // Only a track's other properties changed (its display size): a change too.
        s.backend.saves()->reload_file();
        tool({path, QStringLiteral("--edit"), QStringLiteral("track:1"), QStringLiteral("--set"), QStringLiteral("display-width=77")});
        s.backend.set_track_name(QStringLiteral("Episode 1"), 3, QStringLiteral("Over their size"));
        s.save();
        QVERIFY(s.backend.saves()->save_status().contains(QStringLiteral("changed on disk")));
        QCOMPARE(track_name(path, 2), QStringLiteral("After touch"));

        // Replaced by another Matroska file: refused.
        s.backend.set_track_name(QStringLiteral("Episode 1"), 3, QStringLiteral("Not here"));
        QFile::remove(path);
        copy(QStringLiteral("same_title.mkv"), QStringLiteral("changed.mkv"));
        s.save();
        QVERIFY(s.backend.saves()->save_failed());
        QVERIFY(s.backend.saves()->save_status().contains(QStringLiteral("changed on disk")));
        QCOMPARE(track_name(path, 1), QStringLiteral("Dub"));
    }

    // A file without chapters gets its first by a save, and is then only touched: what it
    // holds is what was saved, so the next save goes through.
    void first_chapters_saved_then_touched_is_no_change() {
        const QString path = copy(QStringLiteral("same_title.mkv"), QStringLiteral("first.mkv"));
        Setup s;
        s.open({path});
        QVERIFY(s.chapters.rows().empty());
        QVERIFY(s.backend.chapter_edits()->add_chapter(0, 60000, QStringLiteral("Part B")));
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved first.mkv."));
        QVERIFY(QProcess::execute(QStringLiteral("touch"), {path}) == 0);
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("After touch"));
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved first.mkv."));
        QCOMPARE(track_name(path, 0), QStringLiteral("After touch"));
    }

    // Another program puts a new file under an open file's name, and the name is opened
    // again: two documents of one path. The old one's row going does not stop the watch.
    void one_path_listed_twice_is_watched_while_either_is() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("twice.mkv"));
        Setup s;
        s.open({path});
        const QString other = copy(QStringLiteral("editions.mkv"), QStringLiteral("twice-new.mkv"));
        QCOMPARE(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
        QTRY_VERIFY(s.backend.saves()->changed_on_disk());
        QVERIFY(!s.backend.add_file(path));
        QCOMPARE(s.backend.file_names(), (QStringList{"twice.mkv", "twice.mkv"}));
        s.backend.delete_file(0);
        QVERIFY(!s.backend.saves()->changed_on_disk()); // the new one, as read
        tool({path, QStringLiteral("--edit"), QStringLiteral("info"), QStringLiteral("--set"), QStringLiteral("title=Later")});
        QTRY_VERIFY(s.backend.saves()->changed_on_disk());
    }
    void two_programs_saving_one_file_lose_nothing_silently() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("shared.mkv"));
        Setup a, b;
        a.open({path});
        b.open({path});
        a.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("From A"));
        b.backend.set_track_name(QStringLiteral("Episode 1"), 2, QStringLiteral("From B"));
        a.backend.save_file();
        QVERIFY(a.backend.saves()->saving());
        b.backend.save_file(); // while A's save runs
        QVERIFY(b.backend.saves()->save_failed());
        QCOMPARE(b.backend.saves()->save_status(), QStringLiteral("Could not save shared.mkv: another program is saving it."));
        a.wait();
        QCOMPARE(a.backend.saves()->save_status(), QStringLiteral("Saved shared.mkv."));
        b.save(); // A's save changed the file since B read it
        QVERIFY(b.backend.saves()->save_status().contains(QStringLiteral("changed on disk")));
        b.backend.saves()->save_anyway();
        b.wait();
        QCOMPARE(track_name(path, 0), QStringLiteral("From A"));
        QCOMPARE(track_name(path, 1), QStringLiteral("From B"));
    }

    void a_hanging_tool_does_not_freeze_the_window() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("slow.mkv"));
        stand_in("sleep 2");
        Setup s;
        s.open({path});
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("x"));
        QSignalSpy saving(s.backend.saves(), &Saving::saving_changed);
        s.backend.save_file();
        QVERIFY(s.backend.saves()->saving()); // returned while the tool still runs
        // The event loop serves other work while the tool runs (however busy the machine).
        bool served_while_saving = false;
        QTimer::singleShot(0, [&] { served_while_saving = s.backend.saves()->saving(); });
        QTRY_VERIFY(served_while_saving);
        s.wait();
        QCOMPARE(saving.size(), 2);
    }

    // A save that takes a while: Undo Last Save is refused while it runs, and the tool's own
    // writes, which the watcher reports meanwhile, are no outside change.
    void a_slow_save_is_neither_undone_nor_taken_for_an_outside_change() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("busy.mkv"));
        Setup s;
        s.open({path});
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("kept"));
        s.save();
        QVERIFY(s.backend.saves()->can_undo_save());
        stand_in("/usr/bin/mkvpropedit \"$@\"; status=$?; sleep 2; exit $status");
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("saving"));
        s.backend.save_file();
        QVERIFY(s.backend.saves()->saving());
        QVERIFY(!s.backend.saves()->undo_last_save());
        s.wait();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved busy.mkv."));
        QVERIFY(!s.backend.saves()->changed_on_disk());
        QCOMPARE(track_name(path, 0), QStringLiteral("saving"));
        restore_path();
    }

    // The file being saved takes edits; they stay pending on top of what the save wrote,
    // can be undone across it, and the next save writes them.
    void edits_made_during_a_save_stay_pending() {
        restore_path();
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("during.mkv"));
        Setup s;
        s.backend.saves()->reload_file(); // nothing open: nothing to do
        s.open({path});
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("first"));
        s.backend.save_file();
        QVERIFY(s.backend.saves()->saving());
        s.backend.set_track_name(QStringLiteral("Episode 1"), 3, QStringLiteral("second"));
        s.backend.track_edits()->set_title(QStringLiteral("During"));
        s.backend.saves()->reload_file(); // not while saving: it would drop the edits
        QVERIFY(!s.backend.saves()->save_failed());
        s.wait();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved during.mkv."));
        QCOMPARE(track_name(path, 0), QStringLiteral("first"));
        QCOMPARE(track_name(path, 2), QStringLiteral("Commentary"));
        QVERIFY(s.backend.history()->active_modified());
        QCOMPARE(s.tracks.rows().at(2).name, QStringLiteral("second"));
        QCOMPARE(s.backend.track_edits()->active_title(), QStringLiteral("During"));
        s.backend.history()->undo(); // the title, then the second name: back to what is on disk
        s.backend.history()->undo();
        QVERIFY(!s.backend.history()->active_modified());
        s.backend.history()->redo();
        s.backend.history()->redo();
        // A new edit after an undo drops what was undone: redo has nothing left to do.
        s.backend.history()->undo();
        QVERIFY(s.backend.history()->can_redo());
        s.backend.set_track_name(QStringLiteral("Episode 1"), 2, QStringLiteral("new"));
        QVERIFY(!s.backend.history()->can_redo());
        s.backend.history()->redo();
        QCOMPARE(s.backend.track_edits()->active_title(), QStringLiteral("Episode 1"));
        QCOMPARE(s.tracks.rows().at(1).name, QStringLiteral("new"));
        s.backend.history()->undo();
        s.save();
        QCOMPARE(track_name(path, 2), QStringLiteral("second"));
        QCOMPARE(track_name(path, 1), QStringLiteral("Stereo"));
        QCOMPARE(track_name(path, 0), QStringLiteral("first"));
        QVERIFY(!s.backend.history()->active_modified());
    }

    void a_flood_of_tool_output_is_kept_short() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("loud.mkv"));
        stand_in("head -c 200000000 /dev/zero | tr '\\0' x; echo; for i in 1 2 3 4 5; do echo \"Error: line $i.\"; done; exit 2");
        Setup s;
        s.open({path});
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("x"));
        s.save();
        QVERIFY(s.backend.saves()->save_failed());
        QCOMPARE(s.backend.saves()->save_status(),
                 QStringLiteral("Saving loud.mkv failed: Error: line 2. Error: line 3. Error: line 4. Error: line 5. "
                                "The file was restored unchanged.")); // the last lines
        QVERIFY(s.backend.last_run()->output.size() <= ToolResult::output_limit);
        QVERIFY(s.backend.history()->active_modified()); // the edit stays pending
    }

    // Each kind of edit, undone and redone; and an edit undone by hand is no edit.
    void every_edit_can_be_undone_and_redone() {
        const QString path = copy(QStringLiteral("editions.mkv"), QStringLiteral("undo.mkv"));
        Setup s;
        s.open({path});
        const QStringList original = s.rows();
        const std::vector<std::function<void()>> edits{
            [&] { s.backend.set_track_name(QStringLiteral("Editions"), 1, QStringLiteral("Bild")); },
            [&] { s.backend.set_track_default(QStringLiteral("Editions"), 2, true); },
            [&] { s.backend.set_track_language(QStringLiteral("Editions"), 2, QStringLiteral("ger")); },
            [&] { s.backend.set_chapter_name(1, 4, QStringLiteral("Zwei")); },
            [&] { s.backend.insert_chapter_start(0, 1); },
            [&] { s.backend.insert_chapter_end(1, 4); },
        };
        std::vector<QStringList> after;
        for (const auto &edit : edits) {
            const QStringList before = s.rows();
            edit();
            QVERIFY2(s.rows() != before, qPrintable(before.join(u'|')));
            after.push_back(s.rows());
        }
        for (std::size_t i = edits.size(); i-- > 0;) {
            QCOMPARE(s.rows(), after[i]);
            s.backend.history()->undo();
        }
        QCOMPARE(s.rows(), original);
        QVERIFY(!s.backend.history()->active_modified() && !s.backend.history()->can_undo());
        for (const QStringList &expected : after) {
            s.backend.history()->redo();
            QCOMPARE(s.rows(), expected);
        }
        QVERIFY(!s.backend.history()->can_redo());
        s.backend.history()->revert_file();
        QCOMPARE(s.rows(), original);
        s.backend.history()->undo(); // reverting is a step too
        QCOMPARE(s.rows(), after.back());
        s.backend.history()->revert_file();

        s.backend.set_chapter_name(0, 0, QStringLiteral("Renamed"));
        s.backend.set_chapter_name(0, 0, QStringLiteral("Cold open"));
        QVERIFY(!s.backend.history()->active_modified());
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Nothing to save: undo.mkv has no changes."));

        // A full history lets its oldest steps go, never the newest.
        for (int i = 0; i <= 500; ++i)
            s.backend.set_track_name(QStringLiteral("Editions"), 1, QStringLiteral("Name %1").arg(i));
        s.backend.history()->undo();
        QCOMPARE(s.backend.active_document()->state().tracks[0].name, QStringLiteral("Name 499"));
        int kept = 1;
        for (; s.backend.history()->can_undo(); ++kept)
            s.backend.history()->undo();
        QCOMPARE(kept, 500);
        QCOMPARE(s.backend.active_document()->state().tracks[0].name, QStringLiteral("Name 0"));

        // The first chapter of a file without any makes its edition: undone and redone too.
        Setup t;
        t.open({copy(QStringLiteral("s01e01.mkv"), QStringLiteral("first.mkv"))});
        const QStringList bare = t.rows();
        QVERIFY(t.backend.chapter_edits()->add_chapter(0, 60000, QStringLiteral("Part B")));
        const QStringList added = t.rows();
        QVERIFY(added != bare);
        t.backend.history()->undo();
        QCOMPARE(t.rows(), bare);
        t.backend.history()->redo();
        QCOMPARE(t.rows(), added);
    }

    void a_removed_file_comes_back_as_it_is_on_disk() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("readd.mkv"));
        Setup s;
        s.open({path});
        const QStringList original = s.rows();
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Discarded"));
        s.backend.delete_file(0);
        s.open({path});
        QCOMPARE(s.rows(), original);
        QVERIFY(!s.backend.history()->active_modified());
    }

    // A name that cannot be represented is refused, never mapped to its look-alike.
    void paths_name_exactly_one_file() {
        const QByteArray base = QFile::encodeName(dir.path());
        const QByteArray latin1 = base + "/caf\xe9.mkv";
        const QByteArray lookalike = base + "/caf\xef\xbf\xbd.mkv"; // what the lossy text form names
        QVERIFY(QFile::copy(media(QStringLiteral("full.mkv")), QFile::decodeName(lookalike)));
        QFile(QFile::decodeName(lookalike)).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        ::close(fd);
        Setup s;
        s.backend.load_choices({path_from_bytes(latin1)});
        s.backend.files()->add_urls({QUrl(QString::fromLatin1("file://" + base.toPercentEncoding("/") + "/caf%E9.mkv")),
                            QUrl(QStringLiteral("file://localhost") + dir.path() + QStringLiteral("/caf%00.mkv"))});
        QVERIFY(s.backend.file_names().isEmpty());
        QCOMPARE(s.backend.files()->load_errors().size(), 2);
        QVERIFY2(s.backend.files()->load_errors().at(0).contains(QStringLiteral("not valid text")), qPrintable(s.backend.files()->load_errors().at(0)));
        QVERIFY(s.backend.files()->load_errors().at(1).contains(QStringLiteral("NUL")));
        s.backend.files()->add_urls({QUrl(QStringLiteral("file://localhost") + QFile::decodeName(lookalike))});
        QCOMPARE(s.backend.file_names(), QStringList{QFile::decodeName(lookalike).section(QLatin1Char('/'), -1)});
        ::unlink(latin1.constData()); // Qt's own clean-up could not name it either
    }

    // Each way a file can fail to open gets words for what is wrong with it; the reader's own
    // text (the detail) shows which failure the crafted file reached.
    void load_errors_say_what_is_wrong() {
        using namespace ebml;
        const Bytes header = master(0x1A45DFA3, {text(0x4282, "matroska")});
        const auto info = [](const Bytes &extra) {
            return element(0x1549A966, cat({text(0x7BA9, "t"), text(0x4D80, "m"), text(0x5741, "w"), extra}));
        };
        const auto segment = [&](const Bytes &body) { return cat({header, element(0x18538067, body)}); };
        const Bytes track = master(0x1654AE6B, {master(0xAE, {unsigned_int(0xD7, 1), unsigned_int(0x73C5, 1),
                                                               unsigned_int(0x83, 1), text(0x86, "V_X")})});
        Bytes cut = segment(cat({info({}), track}));
        cut.resize(cut.size() - 4);
        Bytes atom = element(0xB6, {});
        for (int i = 0; i < 80; ++i)
            atom = element(0xB6, atom);
        const Bytes deep = master(0x1043A770, {element(0x45B9, atom)});
        struct Case {
            const char *name;
            Bytes bytes;
            const char *words, *detail;
        };
        const Case cases[] = {
            {"eof", raw({0x1A, 0x45, 0xDF, 0xA3}), "This file ends too early: it is cut short or still being written, so it cannot be edited safely.", "failed to fill whole buffer"},
            {"cut", cut, "This file ends inside its metadata, or an element there claims more bytes than it has: it is cut short or damaged, so it cannot be edited safely.", "past the end of the buffer"},
            {"trailing", segment(info(raw({0x00, 0x00}))), "bytes inside its metadata belong to no element", "Short read"},
            {"vint", raw({0x1A, 0x45, 0xDF, 0xA3, 0x00, 0x42}), "an element's header is not valid", "Invalid variable-length"},
            {"over", element(0x1A45DFA3, raw({0x42, 0x82, 0x85, 'm'})), "an element's contents do not match the size it declares", "over decode"},
            {"leaf", segment(info(raw({0x2A, 0xD7, 0xB1, 0x89, 1, 2, 3, 4, 5, 6, 7, 8, 9}))), "an element's contents do not match the size it declares",
             "under decode"},
            {"missing", cat({header, info({})}), "an element it must have is missing", "Missing element, ID: 0x18538067"},
            {"twice", segment(info(text(0x7BA9, "u"))), "an element that may appear only once appears twice", "Duplicate element 0x7BA9"},
            {"deep", segment(cat({info({}), deep})), "its elements are nested too deeply to be read safely", "nesting too deep"},
            {"large", segment(cat({info({}), raw({0x16, 0x54, 0xAE, 0x6B, 0x08, 0x10, 0x00, 0x00, 0x00})})),
             "Its metadata is too large to open safely (268,435,456 bytes).", "Element too large"},
            {"other", cat({raw({0x1A, 0x45, 0xDF}), header}), "This is not a Matroska file.", ""},
        };
        QTemporaryDir dir;
        for (const Case &c : cases) {
            QFile f(dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".mkv")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(reinterpret_cast<const char *>(c.bytes.data()), qsizetype(c.bytes.size()));
            f.close();
            const auto loaded = Document::load(f.fileName());
            QVERIFY2(!loaded, c.name);
            // Damage is said in one frame; what is wrong goes inside it.
            const QString words = QString::fromUtf8(c.words);
            QCOMPARE(loaded.error().plain, words.front().isUpper() ? words : QStringLiteral("This file is damaged: %1, so it cannot be edited safely.").arg(words));
            QVERIFY2(loaded.error().detail.contains(QLatin1StringView(c.detail), Qt::CaseInsensitive),
                     qPrintable(QString::fromLatin1(c.name) + QStringLiteral(": ") + loaded.error().detail));
        }
    }

    // A file that opens but lacks what its index names says what is missing, in words.
    void what_a_cut_file_lacks_is_said() {
        QFile full(media(QStringLiteral("full.mkv")));
        QVERIFY(full.open(QIODevice::ReadOnly));
        QByteArray bytes = full.readAll();
        const qsizetype size = bytes.size() * 3 / 5;
        bytes.truncate(size);
        const auto warning = [&](const QByteArray &content) {
            QFile f(dir.filePath(QStringLiteral("cut.mkv")));
            f.open(QIODevice::WriteOnly | QIODevice::Truncate);
            f.write(content);
            f.close();
            const auto doc = Document::load(f.fileName());
            return doc ? (*doc)->warning() : doc.error().plain;
        };
        const QLocale english(QLocale::English);
        QCOMPARE(warning(bytes), QStringLiteral("This file is cut short: it ends at byte %1 of the %2 it declares, and its index (Cues) and "
                                                "its tags are missing. Its tracks and chapters can still be edited, but it will not play to the end.")
                                     .arg(english.toString(size), english.toString(full.size())));
        // A segment of unknown size (eight bytes of ones) declares no end: only what is missing is said.
        const qsizetype at = bytes.indexOf(QByteArray::fromHex("18538067")) + 4;
        QCOMPARE(static_cast<quint8>(bytes[at]), quint8(0x01)); // an 8-byte size, as mkvmerge writes it
        bytes.replace(at, 8, QByteArray::fromHex("01ffffffffffffff"));
        QCOMPARE(warning(bytes), QStringLiteral("This file is incomplete: its index (Cues) and its tags are missing."));
        // Whole, as ffmpeg writes it to a pipe: nothing to say.
        const auto live = Document::load(media(QStringLiteral("live.mkv")));
        QVERIFY(live);
        QCOMPARE((*live)->warning(), QString());
    }

    void names_with_nul_are_refused_not_cut() {
        const QString path = copy(QStringLiteral("full.mkv"), QStringLiteral("nul.mkv"));
        Setup s;
        s.open({path});
        const QString with_nul = QStringLiteral("before") + QChar(u'\0') + QStringLiteral("after");
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, with_nul);
        s.backend.set_track_language(QStringLiteral("Episode 1"), 1, with_nul);
        s.backend.set_chapter_name(0, 0, with_nul);
        QVERIFY(!s.backend.history()->active_modified());
        QVERIFY(s.backend.saves()->save_failed());
        QVERIFY(s.backend.saves()->save_status().contains(QStringLiteral("NUL")));
    }
};

QTEST_GUILESS_MAIN(TestDocuments)
#include "tst_documents.moc"
