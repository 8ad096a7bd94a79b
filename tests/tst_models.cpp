// The two list models: notification sequences, conversions and refusals.
#include "chapter_list.h"
#include "track_list.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using perlane::chapter_list::ChapterInfo;
using perlane::chapter_list::ChapterList;
using perlane::track_list::TrackInfo;
using perlane::track_list::TrackList;

namespace {

// Records every structural notification as "insert a-b" / "remove a-b" / "changed a-b".
class Journal : public QObject {
public:
    explicit Journal(QAbstractItemModel *model) {
        connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this,
                [this](const QModelIndex &, int a, int b) { add("insert", a, b); });
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [this](const QModelIndex &, int a, int b) { add("remove", a, b); });
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex &a, const QModelIndex &b, const QList<int> &roles) {
                    add(roles.isEmpty() ? "changed" : "changed-roles", a.row(), b.row());
                });
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
                [this] { entries << QStringLiteral("reset"); });
    }
    QStringList take() { return std::exchange(entries, {}); }
    QStringList entries;

private:
    void add(const char *what, int a, int b) {
        entries << QStringLiteral("%1 %2-%3").arg(QString::fromLatin1(what)).arg(a).arg(b);
    }
};

TrackInfo track(quint64 number, const QString &name = {}) {
    return TrackInfo{QStringLiteral("Disc"), number, QStringLiteral("Audio"), name,
                     QStringLiteral("eng"), true, {}, {}, false};
}

ChapterInfo chapter(quint64 idx, const QString &name) {
    return ChapterInfo{0, idx, name, QStringLiteral("00:00.000"), QStringLiteral("01:30.000"),
                       QStringLiteral("01:30.000"), true, {}, -1, {}, {}, {}, 0, 0};
}

QStringList names(const ChapterList &m) {
    QStringList out;
    for (const auto &r : m.rows())
        out << QStringLiteral("%1:%2").arg(r.idx).arg(r.name);
    return out;
}

} // namespace

class TestModels : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void push_and_clear_announce_one_row_at_a_time() {
        TrackList model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        Journal journal(&model);
        model.clear();
        QVERIFY(journal.take().isEmpty()); // nothing to clear, nothing said
        for (quint64 n = 1; n <= 3; ++n)
            model.push(track(n));
        QCOMPARE(journal.take(), (QStringList{"insert 0-0", "insert 1-1", "insert 2-2"}));
        model.clear();
        QCOMPARE(journal.take(), (QStringList{"remove 2-2", "remove 1-1", "remove 0-0"}));
        QCOMPARE(model.rowCount(), 0);
    }

    void roles_start_at_zero_and_data_beyond_is_invalid() {
        TrackList model;
        model.push(track(7, QStringLiteral("Commentary")));
        const auto roles = model.roleNames();
        QCOMPARE(roles.value(0), QByteArray("disc"));
        QCOMPARE(roles.value(5), QByteArray("isDefault"));
        QCOMPARE(roles.value(Qt::UserRole), QByteArray("forced"));
        QVERIFY(std::ranges::none_of(roles.keys(), [](int r) { return r > 5 && r < Qt::UserRole; }));
        const QModelIndex i = model.index(0);
        QCOMPARE(model.data(i, TrackInfo::FirstFlag + 1).toInt(), 0); // hearing impaired, as pushed
        QCOMPARE(model.data(i, 1).metaType(), QMetaType::fromType<unsigned long>());
        QCOMPARE(model.data(i, 1).toULongLong(), 7ull);
        QCOMPARE(model.data(i, 3).toString(), QStringLiteral("Commentary"));
        QVERIFY(!model.data(i, 6).isValid());
        QVERIFY(!model.data(model.index(0).sibling(1, 0), 0).isValid());

        ChapterList chapters;
        chapters.push(chapter(0, QStringLiteral("Intro")));
        QCOMPARE(chapters.roleNames().value(Qt::UserRole), QByteArray("editionLabel"));
        QCOMPARE(chapters.roleNames().value(6), QByteArray("qualifies"));
        QCOMPARE(chapters.data(chapters.index(0), 6).toBool(), true);
        QVERIFY(!chapters.data(chapters.index(0), 7).isValid());
    }

    void remove_rows_is_one_notification_and_checks_bounds() {
        TrackList model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (quint64 n = 1; n <= 3; ++n)
            model.push(track(n));
        Journal journal(&model);
        QVERIFY(!model.removeRows(2, 2));
        QVERIFY(!model.removeRows(-1, 1));
        QVERIFY(!model.removeRows(0, 0));
        QVERIFY(!model.removeRows(1, std::numeric_limits<int>::max()));
        QVERIFY(journal.take().isEmpty());
        QCOMPARE(model.rowCount(), 3);
        QVERIFY(model.removeRows(1, 2));
        QCOMPARE(journal.take(), QStringList{"remove 1-2"});
        QCOMPARE(model.rows().size(), 1u);
        QCOMPARE(model.rows()[0].number, 1ull);
    }

    void set_data_converts_like_qvariant_and_refuses_the_rest() {
        TrackList model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (quint64 n = 1; n <= 5; ++n)
            model.push(track(n));
        Journal journal(&model);
        const QModelIndex first = model.index(0);

        QVERIFY(model.setData(first, QStringLiteral("12"), TrackInfo::Number));
        QCOMPARE(model.rows()[0].number, 12ull);
        QVERIFY(model.setData(first, QStringLiteral("abc"), TrackInfo::Number));
        QCOMPARE(model.rows()[0].number, 0ull); // convertible type, unusable value: the default
        QCOMPARE(journal.take(), (QStringList{"changed 0-0", "changed 0-0"}));

        // Equal value still counts as a change.
        QVERIFY(model.setData(first, model.rows()[0].name, TrackInfo::Name));
        QCOMPARE(journal.take(), QStringList{"changed 0-0"});

        QVERIFY(!model.setData(first, QVariant::fromValue(QPoint(1, 2)), TrackInfo::Number));
        QVERIFY(!model.setData(first, QVariant(), TrackInfo::Name));
        QVERIFY(!model.setData(first, QStringLiteral("x"), 100));
        QVERIFY(!model.setData(model.index(0).sibling(5, 0), QStringLiteral("x"), TrackInfo::Name));
        QVERIFY(!model.setData(QModelIndex(), QStringLiteral("x"), TrackInfo::Name));
        QVERIFY(journal.take().isEmpty());
        QCOMPARE(model.rows()[0], (TrackInfo{QStringLiteral("Disc"), 0, QStringLiteral("Audio"), {},
                                             QStringLiteral("eng"), true, {}, {}, false}));

        QVERIFY(model.setData(model.index(4), false, TrackInfo::IsDefault));
        QCOMPARE(model.rows()[4].is_default, false);

        ChapterList chapters;
        chapters.push(chapter(0, QStringLiteral("A")));
        QVERIFY(chapters.setData(chapters.index(0), 3, ChapterInfo::Edx));
        QCOMPARE(chapters.rows()[0].edx, 3ull);
        QVERIFY(!chapters.setData(chapters.index(0), QStringLiteral("x"), 7));
    }

    // Rows brought in line with new data: a split inserts where the lists first differ,
    // rows that changed after it are announced as such; equal rows say nothing.
    void assign_inserts_removes_and_changes_only_what_differs() {
        ChapterList model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        Journal journal(&model);
        model.assign({chapter(0, QStringLiteral("a")), chapter(1, QStringLiteral("b")), chapter(2, QStringLiteral("c"))});
        QCOMPARE(journal.take(), QStringList{"insert 0-2"});
        model.assign({chapter(0, QStringLiteral("a")), chapter(1, QStringLiteral("b")), chapter(2, QStringLiteral("c"))});
        QVERIFY(journal.take().isEmpty());
        model.assign({chapter(0, QStringLiteral("a")), chapter(1, QStringLiteral("new")), chapter(2, QStringLiteral("b")),
                      chapter(3, QStringLiteral("c"))});
        QCOMPARE(journal.take(), (QStringList{"insert 1-1", "changed 2-3"}));
        QCOMPARE(names(model), (QStringList{"0:a", "1:new", "2:b", "3:c"}));
        model.assign({chapter(0, QStringLiteral("x")), chapter(1, QStringLiteral("new")), chapter(2, QStringLiteral("b")),
                      chapter(3, QStringLiteral("y"))});
        QCOMPARE(journal.take(), (QStringList{"changed 0-0", "changed 3-3"}));
        model.assign({chapter(0, QStringLiteral("x"))});
        QCOMPARE(journal.take(), QStringList{"remove 1-3"});
        model.assign({});
        QCOMPARE(journal.take(), QStringList{"remove 0-0"});
    }
};

QTEST_GUILESS_MAIN(TestModels)
#include "tst_models.moc"
