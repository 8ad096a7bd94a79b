// Backend's file list: selection, bounds, deletion and the signals each step emits.
#include "backend.h"
#include "edit_history.h"
#include "track_editing.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using perlane::Backend;

namespace {

// A list of `count` files, each a copy of one real file.
class ListBackend : public Backend {
public:
    explicit ListBackend(int count) {
        const QString source = qEnvironmentVariable("PERLANE_MEDIA_DIR") + QStringLiteral("/full.mkv");
        for (int i = 0; i < count; ++i) {
            const QString path = dir.filePath(QStringLiteral("f%1.mkv").arg(i));
            if (!QFile::copy(source, path) || add_file(path))
                qFatal("could not list %s", qPrintable(path));
        }
    }
    QTemporaryDir dir;
};

struct Spies {
    explicit Spies(Backend &b)
        : names(&b, &Backend::file_names_changed), active(&b, &Backend::active_file_name_changed) {}
    // (file_names_changed count, active_file_name_changed count), then reset.
    std::pair<qsizetype, qsizetype> take() {
        std::pair<qsizetype, qsizetype> r{names.size(), active.size()};
        names.clear();
        active.clear();
        return r;
    }
    QSignalSpy names, active;
};

using Counts = std::pair<qsizetype, qsizetype>;

} // namespace

class TestBackendFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A batch announces each file as it is listed, the first listed before it is shown.
    void each_file_is_announced_then_the_first_shown() {
        ListBackend copies(3);
        Backend b;
        QStringList heard;
        QObject::connect(&b, &Backend::file_names_changed, [&] { heard << QStringLiteral("names %1").arg(b.file_names().size()); });
        QObject::connect(&b, &Backend::active_file_name_changed, [&] { heard << QStringLiteral("active ") + b.active_file_name(); });
        QStringList paths;
        for (int i = 0; i < 3; ++i)
            paths << copies.dir.filePath(QStringLiteral("f%1.mkv").arg(i));
        b.load_choices({perlane::Choice(paths[0]), perlane::Choice(copies.dir.filePath(QStringLiteral("missing.mkv"))),
                        perlane::Choice(paths[1]), perlane::Choice(paths[2])});
        QCOMPARE(heard, (QStringList{"names 1", "active f0.mkv", "names 2", "names 3"}));
        QCOMPARE(b.file_names(), (QStringList{"f0.mkv", "f1.mkv", "f2.mkv"}));
    }

    void next_and_prev_stop_at_the_ends() {
        ListBackend b(3);
        Spies spies(b);
        QCOMPARE(b.prev_file(), -1);
        QCOMPARE(b.next_file(), 1);
        QCOMPARE(b.next_file(), 2);
        QCOMPARE(b.next_file(), -1);
        QCOMPARE(b.active_file_name(), QStringLiteral("f2.mkv"));
        QCOMPARE(spies.take(), (Counts{0, 2}));
        QCOMPARE(b.prev_file(), 1);
        QCOMPARE(b.active_index(), std::optional<std::size_t>(1));
    }

    void select_past_the_end_leaves_nothing_active() {
        ListBackend b(2);
        Spies spies(b);
        b.select_file(5);
        QCOMPARE(b.active_index(), std::nullopt);
        QCOMPARE(b.active_file_name(), QString());
        QCOMPARE(b.next_file(), -1);
        QCOMPARE(b.prev_file(), -1);
        b.select_file(1);
        b.select_file(1); // re-selecting still announces
        QCOMPARE(spies.take(), (Counts{0, 3}));
        QCOMPARE(b.files()->property("active_index").toInt(), 1);
    }

    void delete_active_selects_the_previous() {
        ListBackend b(4);
        b.select_file(2);
        Spies spies(b);
        b.delete_file(2); // in the middle: the previous, not the next
        QCOMPARE(spies.take(), (Counts{1, 1}));
        QCOMPARE(b.active_file_name(), QStringLiteral("f1.mkv"));
        QCOMPARE(b.active_index(), std::optional<std::size_t>(1));
        b.select_file(2);
        b.delete_file(2); // the last
        QCOMPARE(b.active_file_name(), QStringLiteral("f1.mkv"));
    }

    void delete_active_first_selects_the_new_first() {
        ListBackend b(3);
        Spies spies(b);
        b.delete_file(0);
        QCOMPARE(spies.take(), (Counts{1, 1}));
        QCOMPARE(b.active_file_name(), QStringLiteral("f1.mkv"));
        QCOMPARE(b.active_index(), std::optional<std::size_t>(0));
    }

    void delete_other_file_keeps_the_active_one() {
        ListBackend b(3);
        b.select_file(2);
        QSignalSpy row(b.files(), &perlane::FileListing::active_index_changed);
        Spies spies(b);
        b.delete_file(0); // before the active file: the index follows it
        QCOMPARE(spies.take(), (Counts{1, 0}));
        QCOMPARE(b.active_index(), std::optional<std::size_t>(1));
        QCOMPARE(b.documents()[*b.active_index()]->name(), QStringLiteral("f2.mkv"));
        QCOMPARE(row.size(), 1);
        QCOMPARE(b.next_file(), -1);
        QCOMPARE(b.prev_file(), 0);
        QCOMPARE(b.active_file_name(), QStringLiteral("f1.mkv"));
        b.delete_file(1); // after the active file
        QCOMPARE(spies.take(), (Counts{1, 1}));
        QCOMPARE(b.active_index(), std::optional<std::size_t>(0));
    }

    // Removing a file other than the one shown, edits and all: each property of the edit
    // history that changes says so, or a view bound to it (the list of unsaved files the
    // quit question shows) would go on naming the file.
    void removing_another_edited_file_announces_what_changes() {
        ListBackend b(3);
        for (const int i : {0, 2}) {
            b.select_file(i);
            QVERIFY(b.track_edits()->set_title(QStringLiteral("edited")));
        }
        b.select_file(0);
        QObject *history = b.history();
        const QMetaObject *meta = history->metaObject();
        struct Watched {
            QMetaProperty property;
            QVariant was;
            std::unique_ptr<QSignalSpy> notified;
        };
        std::vector<Watched> watched;
        for (int p = meta->propertyOffset(); p < meta->propertyCount(); ++p) {
            const QMetaProperty property = meta->property(p);
            watched.push_back({property, property.read(history), std::make_unique<QSignalSpy>(history, property.notifySignal())});
        }
        b.delete_file(2);
        QStringList unannounced;
        for (const Watched &w : watched)
            if (w.property.read(history) != w.was && w.notified->isEmpty())
                unannounced << QString::fromLatin1(w.property.name());
        QCOMPARE(unannounced, QStringList());
        QCOMPARE(b.history()->unsaved_files(), QStringList{QStringLiteral("f0.mkv")});
    }

    void delete_last_remaining_and_past_the_end() {
        ListBackend b(1);
        Spies spies(b);
        b.delete_file(1); // nothing there: ignored
        QCOMPARE(spies.take(), (Counts{0, 0}));
        b.delete_file(0);
        QCOMPARE(spies.take(), (Counts{1, 1}));
        QCOMPARE(b.active_index(), std::nullopt);
        QCOMPARE(b.active_file_name(), QString());
        QVERIFY(b.file_names().isEmpty());
        QCOMPARE(b.files()->property("active_index").toInt(), -1);
    }
};

QTEST_GUILESS_MAIN(TestBackendFiles)
#include "tst_backend_files.moc"
