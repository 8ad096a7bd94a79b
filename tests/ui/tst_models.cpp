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
                     QStringLiteral("eng"), true, {}, {}, false, {}, QStringLiteral("en")};
}

ChapterInfo chapter(quint64 idx, const QString &name) {
    return ChapterInfo{0, idx, name, QStringLiteral("00:00.000"), QStringLiteral("01:30.000"),
                       QStringLiteral("01:30.000"), true, {}, -1, {}, {}, {}, 0, 0, {}};
}

// Rows with every field set, each to a value no other field has.
TrackInfo full_track() {
    return TrackInfo{QStringLiteral("Disc"), 7, QStringLiteral("Audio"), QStringLiteral("Commentary"), QStringLiteral("eng"), true,
                     {1, 0, -1, 1, 0, -1, 1}, QStringLiteral("English"), true, QStringLiteral("t:1:2:0"), QStringLiteral("en")};
}
ChapterInfo full_chapter() {
    return ChapterInfo{1, 2, QStringLiteral("Opening"), QStringLiteral("00:10.000"), QStringLiteral("01:40.000"),
                       QStringLiteral("01:30.000"), true, QStringLiteral("Edition 2"), 1, QStringLiteral("mpv: opening"),
                       QStringLiteral("ending"), QStringLiteral("  Inner"), 10000, 100000, QStringLiteral("c:1:1:5:0")};
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

    // What a view reads by role name is the field of that name: every field holds a value
    // of its own, so a role answering with another field's value shows.
    void each_role_name_reads_its_own_field() {
        TrackList tracks;
        const TrackInfo t = full_track();
        tracks.push(t);
        const QMap<QByteArray, QVariant> want{
            {"disc", t.disc}, {"number", 7u}, {"variant", t.variant}, {"name", t.name}, {"language", t.language},
            {"isDefault", true}, {"forced", 1}, {"hearingImpaired", 0}, {"visualImpaired", -1},
            {"textDescriptions", 1}, {"original", 0}, {"commentary", -1}, {"enabled", 1},
            {"languageName", t.language_name}, {"pending", true}, {"key", t.key},
            {"effectiveLanguage", t.effective_language}};
        const auto roles = tracks.roleNames();
        QCOMPARE(roles.size(), want.size());
        for (auto [role, name] : roles.asKeyValueRange())
            QCOMPARE(tracks.data(tracks.index(0), role).toString(), want.value(name).toString());
        QCOMPARE(roles.value(TrackInfo::Number), QByteArray("number")); // numbered roles a client uses
        QVERIFY(!tracks.data(tracks.index(0), TrackInfo::IsDefault + 1).isValid());

        ChapterList chapters;
        chapters.push(full_chapter());
        const QMap<QByteArray, QString> chapter_want{
            {"edx", "1"}, {"idx", "2"}, {"name", "Opening"}, {"start", "00:10.000"}, {"end", "01:40.000"},
            {"duration", "01:30.000"}, {"qualifies", "true"}, {"editionLabel", "Edition 2"}, {"skipType", "1"},
            {"players", "mpv: opening"}, {"fix", "ending"}, {"nested", "  Inner"}, {"startMs", "10000"},
            {"endMs", "100000"}, {"key", "c:1:1:5:0"}};
        const auto chapter_roles = chapters.roleNames();
        QCOMPARE(chapter_roles.size(), chapter_want.size());
        for (auto [role, name] : chapter_roles.asKeyValueRange())
            QCOMPARE(chapters.data(chapters.index(0), role).toString(), chapter_want.value(name));
    }

    // A client writing a role through setData changes that field alone: row 0 takes row 1's
    // value role by role (every field of the two differs), and at each step every role not
    // yet written still reads as in row 2, a copy of row 0.
    void each_role_writes_its_own_field() {
        auto check = [](auto &model, const auto &a, const auto &b) {
            for (const auto &row : {a, b, a})
                model.push(row);
            const QList<int> roles = model.roleNames().keys();
            QList<int> written;
            for (int role : roles) {
                QVERIFY(model.setData(model.index(0), model.data(model.index(1), role), role));
                written << role;
                for (int r : roles)
                    QVERIFY2(model.data(model.index(0), r) == model.data(model.index(written.contains(r) ? 1 : 2), r),
                             qPrintable(QStringLiteral("role %1 after writing %2").arg(QString::fromLatin1(model.roleNames()[r]),
                                                                                        QString::fromLatin1(model.roleNames()[role]))));
            }
        };
        TrackList tracks;
        check(tracks,
              full_track(),
              TrackInfo{QStringLiteral("Disc 2"), 8, QStringLiteral("Subtitles"), QStringLiteral("Signs"), QStringLiteral("jpn"), false,
                        {0, 1, 1, 0, 1, 1, 0}, QStringLiteral("Japanese"), false, QStringLiteral("t:1:3:0"), QStringLiteral("ja")});
        ChapterList chapters;
        check(chapters,
              full_chapter(),
              ChapterInfo{3, 4, QStringLiteral("Ending"), QStringLiteral("20:00.000"), QStringLiteral("21:30.000"),
                          QStringLiteral("01:29.000"), false, QStringLiteral("Edition 3"), 2, QStringLiteral("kodi: ending"),
                          QStringLiteral("preview"), QStringLiteral("  Other"), 1200000, 1290000, QStringLiteral("c:2:2:6:0")});
    }

    // The interface a client may drive itself: removal in one notification within bounds,
    // values converted as Qt converts them, everything else refused without a word.
    void remove_rows_and_set_data_keep_to_their_bounds() {
        TrackList model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (quint64 n = 1; n <= 4; ++n)
            model.push(track(n));
        Journal journal(&model);
        QVERIFY(!model.removeRows(3, 2));
        QVERIFY(!model.removeRows(-1, 1));
        QVERIFY(!model.removeRows(1, std::numeric_limits<int>::max()));
        QVERIFY(!model.setData(model.index(0), QVariant::fromValue(QPoint(1, 2)), TrackInfo::Number));
        QVERIFY(!model.setData(model.index(0), QStringLiteral("x"), 100));
        QVERIFY(journal.take().isEmpty());
        QVERIFY(model.removeRows(1, 2));
        QCOMPARE(journal.take(), QStringList{"remove 1-2"});
        QCOMPARE(model.rows()[1].number, 4ull);
        QVERIFY(model.setData(model.index(1), QStringLiteral("12"), TrackInfo::Number));
        QVERIFY(model.setData(model.index(1), QStringLiteral("abc"), TrackInfo::Name));
        QCOMPARE(journal.take(), (QStringList{"changed 1-1", "changed 1-1"}));
        QCOMPARE(model.rows()[1].number, 12ull);
        QCOMPARE(model.rows()[1].name, QStringLiteral("abc"));
        QVERIFY(!model.setData(model.index(1).sibling(2, 0), QStringLiteral("x"), TrackInfo::Name));
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
