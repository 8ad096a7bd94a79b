// The season's work through the core library alone, in a process without a window: open
// episodes, apply a rule, save with the real mkvpropedit, undo the save. No GUI library
// is loaded.
#include "editing_marks.h"
#include "media_files.h"
#include "season.h"
#include "session.h"

#include <QCryptographicHash>
#include <QSignalSpy>
#include <QTest>

using namespace perlane;

namespace {

QByteArray digest(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

// The default audio track's language, as read from the file.
QString default_audio(const QString &path) {
    auto doc = Document::load(path);
    if (!doc)
        return QStringLiteral("unreadable");
    for (std::size_t i = 0; i < (*doc)->tracks().size(); ++i)
        if ((*doc)->tracks()[i].track_type.value == season::audio_type && (*doc)->state().tracks[i].is_default)
            return (*doc)->state().tracks[i].language;
    return {};
}

} // namespace

class TestHeadless : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void no_gui_library_is_loaded() {
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray loaded = maps.readAll();
        QVERIFY(loaded.contains("libQt6Core"));
        for (const char *gui : {"libQt6Gui", "libQt6Qml", "libQt6Quick", "libQt6DBus"})
            QVERIFY2(!loaded.contains(gui), gui);
    }

    void a_season_rule_saved_and_its_save_undone() {
        MediaWork work;
        const QStringList paths{work.copy(QStringLiteral("s01e01.mkv"), QStringLiteral("e1.mkv")),
                                work.copy(QStringLiteral("s01e03.mkv"), QStringLiteral("e3.mkv"))};
        const QByteArray before = digest(paths[1]);
        Session session;
        for (const QString &p : paths)
            QVERIFY(session.open(p).has_value());
        const season::Plan plan = season::default_by_language(session.documents(), season::audio_type, QStringLiteral("jpn"));
        QCOMPARE(session.apply(plan), 2);
        QSignalSpy status(&session.saves(), &SaveQueue::status);
        for (const auto &doc : session.documents())
            session.saves().save(doc, false, false);
        session.saves().start();
        QTRY_VERIFY_WITH_TIMEOUT(!session.saves().saving(), 60000);
        QCOMPARE(status.last().at(0).toString(), QStringLiteral("Saved 2 files."));
        for (const QString &p : paths)
            QCOMPARE(default_audio(p), QStringLiteral("ja")); // as the tool stores it
        for (const auto &doc : session.documents())
            QVERIFY(!doc->modified());

        Document &third = *session.documents()[1];
        QVERIFY(session.journals().can_undo_save(third));
        QVERIFY(session.undo_last_save(third).has_value());
        QCOMPARE(digest(paths[1]), before);
        QCOMPARE(default_audio(paths[1]), QStringLiteral("en"));
        QCOMPARE(third.state().tracks.at(1).is_default, false); // read again: as before the save
        QVERIFY(!session.journals().can_undo_save(third));

        session.close(2); // a row already gone: nothing closes
        QCOMPARE(session.documents().size(), 2u);
        session.close(0);
        QCOMPARE(session.documents().size(), 1u);
        QCOMPARE(session.documents()[0]->path(), paths[1]);
    }

    // A file marked as being edited here is free again once its holder is gone.
    void an_editing_mark_goes_with_its_holder() {
        MediaWork work;
        auto file = reader::File::open(work.copy(QStringLiteral("s01e01.mkv"), QStringLiteral("e1.mkv")).toStdString());
        QVERIFY(file);
        const auto id = file->identity();
        QVERIFY(id);
        {
            EditingMarks marks;
            marks.keep({*id});
            QVERIFY(EditingMarks::held(*id));
        }
        QVERIFY(!EditingMarks::held(*id));
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
