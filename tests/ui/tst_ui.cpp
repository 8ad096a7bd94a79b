// The real App.qml with the real module, driven like a user: the fake portal on a private
// bus, files made by mkvmerge, the real mkvpropedit; the result checked on disk with the
// program's own reader.
#include "app.h"
#include "backend.h"
#include "media_files.h"
#include "quick_items.h"
#include "private_bus.h"
#include "view.h"

#include <QMimeData>
#include <QRegularExpression>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlIncubationController>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace perlane;

namespace {

QStringList warnings;

// The visible button showing `text` under `root` (a dialog's standard buttons have no name).
QQuickItem *find_button(QQuickItem *root, const QString &text) {
    if (!root)
        return nullptr;
    if (root->isVisible() && root->property("text").toString() == text && root->inherits("QQuickAbstractButton"))
        return root;
    for (QQuickItem *child : root->childItems())
        if (QQuickItem *found = find_button(child, text))
            return found;
    return nullptr;
}

std::optional<reader::SegmentView> read_back(const QString &path) {
    auto file = reader::File::open(path.toStdString());
    auto view = reader::MatroskaView::read_from(*file);
    if (!view)
        return std::nullopt;
    return view->segments.at(0);
}

} // namespace

class TestUi : public QObject {
    QQmlIncubationController starved;
    Q_OBJECT
    QTemporaryDir dir;
    PrivateBus bus;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
    Backend *backend = nullptr;

    QQuickItem *item(const QString &name) { return find_item(window->contentItem(), name); }
    QQuickItem *item_in(const QString &parent, const QString &name) { return find_item(item(parent), name); }

    // What a part of the window shows, on one line (see shown_texts).
    QString shows(QQuickItem *part) { return shown_line(part).replace(dir.path(), QStringLiteral("DIR")); }
    QString shows(const char *name) { return shows(item(QString::fromLatin1(name))); }
    // A dialog as shown: its title, content and buttons.
    QString dialog_shows(const char *name) {
        QObject *d = window->findChild<QObject *>(QString::fromLatin1(name));
        return d->property("opened").toBool() ? shows(d->property("contentItem").value<QQuickItem *>()->parentItem()) : QStringLiteral("(closed)");
    }
    void click(QQuickItem *target) { click_centre(target); }
    // Types text as key presses carrying it (see quick_items.h).
    void type_text(const QString &text) { ::type_text(window, text); }
    // Gives `box` the keyboard focus and presses `key` on it, as a keyboard user does.
    void choose(QQuickItem *box, Qt::Key key, int times = 1) {
        QVERIFY(box);
        QVERIFY(QMetaObject::invokeMethod(box, "forceActiveFocus"));
        QTRY_VERIFY(box->hasActiveFocus());
        for (int i = 0; i < times; ++i)
            QTest::keyClick(window, key);
    }
    // A click beside an open dialog or popup (on a file that is not the active one) closes it
    // and reaches nothing behind it.
    void click_beside(QObject *popup) {
        QVERIFY(popup);
        QTRY_VERIFY(popup->property("opened").toBool());
        const QString active = backend->active_file_name();
        click(item(backend->active_row() == 0 ? QStringLiteral("file_1") : QStringLiteral("file_0")));
        QTRY_VERIFY(!popup->property("visible").toBool());
        QCOMPARE(backend->active_file_name(), active);
    }
    // Replaces the field's text by typing, without committing it.
    void type_over(QQuickItem *field, const QString &text) {
        QVERIFY(field); // a failure, not a crash that loses the tests after it
        click(field);
        QVERIFY(field->hasActiveFocus());
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        type_text(text);
    }
    // Types over the field's text, then commits it with Enter.
    void type_into(QQuickItem *field, const QString &text) {
        type_over(field, text);
        QTest::keyClick(window, Qt::Key_Return);
    }

private Q_SLOTS:
    void initTestCase() {
        // Any QML warning fails the run.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
            if (type != QtDebugMsg && type != QtInfoMsg && !msg.startsWith(QStringLiteral("QStandardPaths")))
                warnings << msg;
        });
        QVERIFY(bus.start(dir.path()));
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address());
        for (const char *name : {"full.mkv", "editions.mkv"}) {
            QVERIFY(QFile::copy(media(name), dir.filePath(QString::fromLatin1(name))));
            QFile(dir.filePath(QString::fromLatin1(name))).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }
        QFile broken(dir.filePath(QStringLiteral("broken.mkv")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("this is not a Matroska file");
        broken.close();

        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        engine = std::make_unique<QQmlApplicationEngine>();
        // A machine too busy to build anything in the background: what a view creates
        // asynchronously never gets done.
        engine->setIncubationController(&starved);
        register_qml_types();
        engine->load(QStringLiteral(PERLANE_QML_DIR "/App.qml"));
        QCOMPARE(engine->rootObjects().size(), 1);
        window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
        QVERIFY(window);
        backend = window->findChild<Backend *>(QStringLiteral("backend"));
        QVERIFY(backend);
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    // Nothing the window shows waits for work in the background.
    void cleanup() { QCOMPARE(starved.incubatingObjectCount(), 0); }

    void cleanupTestCase() {
        engine.reset();
        qInstallMessageHandler(nullptr);
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    }

    void empty_state_then_open_two_files_and_a_bad_one() {
        QVERIFY(item(QStringLiteral("emptyOpenButton")));
        QCOMPARE(shows(window->contentItem()),
                 QStringLiteral("No files open | &Open… | &Add… | &Remove (off) | &Previous (off) | &Next (off) | &Save (off) | "
                                "Save A&ll (off) | &Undo (off) | &Redo (off) | &File | &Edit | Se&ason | &Go | "
                                "Open Matroska files… | "
                                "Choose one or more .mkv files to see and correct their tracks and chapters. | Open files…"));
        QCOMPARE(usable_commands(window), QStringLiteral("&Open… | &Add… | &Quit"));
        const QString record = dir.filePath(QStringLiteral("portal-calls"));
        auto portal = bus.start_portal(QStringLiteral("answer"), record,
                                       {QStringLiteral("file://") + dir.filePath(QStringLiteral("full.mkv")),
                                        QStringLiteral("file://") + dir.filePath(QStringLiteral("broken.mkv")),
                                        QStringLiteral("file://") + dir.filePath(QStringLiteral("editions.mkv"))});
        click(item(QStringLiteral("emptyOpenButton")));
        QTRY_COMPARE(backend->file_names(), (QStringList{"full.mkv", "editions.mkv"}));
        QCOMPARE(window->title(), QStringLiteral("full.mkv \u2014 perlane"));
        // The bad file is named, with the reason.
        QTRY_VERIFY(item(QStringLiteral("errorBanner")));
        const QString errors = item(QStringLiteral("errorText"))->property("text").toString();
        QVERIFY2(errors.contains(QStringLiteral("broken.mkv: ")), qPrintable(errors));
        QVERIFY(!item(QStringLiteral("emptyOpenButton")));
        QCOMPARE(usable_commands(window),
                 QStringLiteral("&Open… | &Add… | &Remove | &Save | &Quit | &Next | Show &Command… | Default by &Language… | "
                                "Suggested &Flags… | &Chapter Names to All Files… | Find Openings and &Endings… | Season &Overview…"));
        QCOMPARE(shows("errorBanner"),
                 QStringLiteral("Could not open:\nbroken.mkv: This is not a Matroska file. | Details | Dismiss"));
        QCOMPARE(shows("statusLine"), QStringLiteral("2 files open"));
        QCOMPARE(shows("track_1"),
                 QStringLiteral("#2 | Audio | Stereo | [ ] Default | ja | … | Japanese | Flags… | Apply to all files (off)"));
        QCOMPARE(shows("track_2"),
                 QStringLiteral("#3 | Audio | Commentary | [x] Default | en | … | English | Flags… | Apply to all files (off)"));
        QCOMPARE(shows("chapter_0"),
                 QStringLiteral("Intro | 00:00.000 | 00:10.000 | 00:10.000 | ✕ | 90 s from start | 90 s from end | Skip: | None | "
                                "Opening | Ending | More ▾ | Skipped by mpv: intro"));
        QCOMPARE(shows("chapter_1"),
                 QStringLiteral("Opening | 00:10.000 | 01:40.000 | 01:30.000 ≈ 90 s | ✕ | 90 s from start | 90 s from end | Skip: | "
                                "None | Opening | Ending | More ▾ | Skipped by Jellyfin: intro · mpv: opening"));
        QCOMPARE(shows("chapter_2"),
                 QStringLiteral("Episode | 01:40.000 | 03:00.000 | 01:20.000 | ✕ | 90 s from start | 90 s from end | Skip: | None | "
                                "Opening | Ending | More ▾ | No player skips it by its name"));
        QCOMPARE(shows("addBar"), QStringLiteral("At | mm:ss.fff or start-end | Name | Add chapter (off) | Add Opening (off) | Add Ending (off)"));

        // No file has subtitles: Default by language has no language to offer, and no plan to show.
        QMetaObject::invokeMethod(window->findChild<QObject *>(QStringLiteral("defaultAction")), "trigger");
        QObject *dialog = window->findChild<QObject *>(QStringLiteral("defaultDialog"));
        QTRY_VERIFY(dialog->property("opened").toBool());
        QQuickItem *type = find_item(dialog->property("contentItem").value<QQuickItem *>(), QStringLiteral("defaultType"));
        type->setProperty("currentIndex", 1);
        QTRY_COMPARE(dialog_shows("defaultDialog"),
                     QStringLiteral("Cancel | Apply (off) | Default by language | "
                                    "In every open file, the first track of this type in this language becomes the default one, "
                                    "and the other tracks of this type stop being default. | Subtitles | Nothing would change."));
        type->setProperty("currentIndex", 0);
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(!dialog->property("visible").toBool());
    }

    void switch_between_files() {
        click(item(QStringLiteral("file_1")));
        QCOMPARE(backend->active_file_name(), QStringLiteral("editions.mkv"));
        QTRY_VERIFY(item(QStringLiteral("chapter_3")));
        QCOMPARE(item(QStringLiteral("file_1"))->property("highlighted").toBool(), true); // shown as the active one
        QCOMPARE(shows("chapterList"),
                 QStringLiteral("Edition 1 | Cold open | 00:00.000 | 00:10.000 | 00:10.000 | ✕ | 90 s from start | 90 s from end | "
                                "Skip: | None | Opening | Ending | More ▾ | No player skips it by its name | Main | 00:10.000 | "
                                "05:10.000 | 05:00.000 | ✕ | 90 s from start | 90 s from end | Skip: | None | Opening | Ending | "
                                "More ▾ | No player skips it by its name | Short | 05:10.000 | 06:30.000 | 01:20.000 | ✕ | "
                                "90 s from start | 90 s from end | Skip: | None | Opening | Ending | More ▾ | "
                                "No player skips it by its name | Edition 2 · ordered | Teil eins | 00:00.000 | 03:00.000 | "
                                "03:00.000 | ✕ | 90 s from start | 90 s from end | Skip: | None | Opening | Ending | More ▾ | "
                                "No player skips it by its name |   Inner  00:00.000–01:00.000"));
        QCOMPARE(item(QStringLiteral("file_0"))->property("highlighted").toBool(), false);
        QTest::keyClick(window, Qt::Key_Left, Qt::AltModifier);
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("full.mkv"));
        QTRY_VERIFY(!item(QStringLiteral("chapter_3")));
        QTest::keyClick(window, Qt::Key_Right, Qt::AltModifier);
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("editions.mkv"));
        // The arrow keys in the file list.
        choose(item(QStringLiteral("fileList")), Qt::Key_Up);
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("full.mkv"));
        QTest::keyClick(window, Qt::Key_Down);
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("editions.mkv"));
        QTest::keyClick(window, Qt::Key_Up);
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("full.mkv"));
        QTest::keyClick(window, Qt::Key_End);
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("editions.mkv"));
        QTest::keyClick(window, Qt::Key_Down); // past the last: stays (keys are handled at once)
        QCOMPARE(backend->active_file_name(), QStringLiteral("editions.mkv"));
        QTest::keyClick(window, Qt::Key_Home);
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("full.mkv"));
        QTest::keyClick(window, Qt::Key_Up);
        QCOMPARE(backend->active_file_name(), QStringLiteral("full.mkv"));
        // Passing through the fields without typing changes nothing and says nothing.
        const QString status = backend->saves()->save_status();
        click(item_in(QStringLiteral("track_0"), QStringLiteral("trackName")));
        click(item_in(QStringLiteral("track_1"), QStringLiteral("trackName")));
        click(item_in(QStringLiteral("chapter_1"), QStringLiteral("chapterStart")));
        click(item_in(QStringLiteral("chapter_1"), QStringLiteral("chapterName")));
        click(item(QStringLiteral("file_0")));
        QVERIFY(!backend->history()->active_modified());
        QCOMPARE(backend->saves()->save_status(), status);
        // PgDown and PgUp from a field too.
        click(item_in(QStringLiteral("track_0"), QStringLiteral("trackName")));
        QTest::keyClick(window, Qt::Key_PageDown);
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("editions.mkv"));
        click(item_in(QStringLiteral("track_0"), QStringLiteral("trackName")));
        QTest::keyClick(window, Qt::Key_PageUp);
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("full.mkv"));
    }

    void edit_tracks_in_place() {
        type_into(item_in(QStringLiteral("track_1"), QStringLiteral("trackName")), QStringLiteral("Japanese dub"));
        click(item_in(QStringLiteral("track_1"), QStringLiteral("trackDefault")));
        type_into(item_in(QStringLiteral("track_0"), QStringLiteral("trackLanguage")), QStringLiteral("GER"));
        QTRY_COMPARE(field_text("track_0", "trackLanguage"), QStringLiteral("ger")); // the code as checked
        QTRY_COMPARE(unreadable(item_in(QStringLiteral("track_0"), QStringLiteral("languageName")), QStringLiteral("German")), QString());
        // A flag set from its box, by keyboard: "Yes" is 1.
        click(item_in(QStringLiteral("track_1"), QStringLiteral("trackFlags")));
        QTRY_VERIFY(item(QStringLiteral("flag_forced")));
        QCOMPARE(shows(item(QStringLiteral("flag_forced"))->parentItem()->parentItem()),
                 QStringLiteral("Forced | No | Hearing impaired | Not set | Visually impaired | Not set | Text descriptions | Not set | "
                                "Original language | Not set | Commentary | Not set | Enabled | Yes"));
        // The keyboard is in the popup: Tab reaches its first box.
        QTest::keyClick(window, Qt::Key_Tab);
        QTRY_VERIFY(item(QStringLiteral("flag_forced"))->hasActiveFocus());
        QTest::keyClick(window, Qt::Key_Up);
        QTRY_COMPARE(item(QStringLiteral("flag_forced"))->property("displayText").toString(), QStringLiteral("Yes"));
        QCOMPARE(unreadable(item(QStringLiteral("flagLabel_forced")), QStringLiteral("Forced")), QString());
        QCOMPARE(unreadable(item(QStringLiteral("flagLabel_enabled")), QStringLiteral("Enabled")), QString());
        choose(item(QStringLiteral("flag_commentary")), Qt::Key_Up, 2); // from unset, past "No"
        QTRY_COMPARE(item(QStringLiteral("flag_commentary"))->property("displayText").toString(), QStringLiteral("Yes"));
        // Each box shows its own flag, the neighbours included.
        choose(item(QStringLiteral("flag_visual-impaired")), Qt::Key_Up, 2);
        QTRY_COMPARE(item(QStringLiteral("flag_visual-impaired"))->property("displayText").toString(), QStringLiteral("Yes"));
        QCOMPARE(item(QStringLiteral("flag_text-descriptions"))->property("displayText").toString(), QStringLiteral("Not set"));
        choose(item(QStringLiteral("flag_visual-impaired")), Qt::Key_Down, 2);
        QTRY_COMPARE(item(QStringLiteral("flag_visual-impaired"))->property("displayText").toString(), QStringLiteral("Not set"));
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(!item(QStringLiteral("flag_forced")));
        QTRY_COMPARE(unreadable(item_in(QStringLiteral("track_1"), QStringLiteral("flagSummary")), QStringLiteral("forced \u00B7 commentary")),
                     QString());
        const double summary_contrast = contrast_with_window(item_in(QStringLiteral("track_1"), QStringLiteral("flagSummary")));
        QVERIFY2(summary_contrast >= 3, qPrintable(QString::number(summary_contrast)));
        QCOMPARE(accessible_name(item_in(QStringLiteral("track_1"), QStringLiteral("trackFlags"))),
                 QStringLiteral("Flags of track 2, Audio, Japanese: forced \u00B7 commentary")); // heard, not only seen
        // Escape restores the shown value and edits nothing.
        QQuickItem *name0 = item_in(QStringLiteral("track_0"), QStringLiteral("trackName"));
        click(name0);
        type_text(QStringLiteral("xyz"));
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(name0->property("text").toString(), QStringLiteral("Picture"));
        QVERIFY(!name0->hasActiveFocus()); // and leaves the field
        // A name longer than its field shows its start again once the field is left.
        type_into(name0, QStringLiteral("Picture ") + QString(80, u'w'));
        QTest::keyClick(window, Qt::Key_Tab);
        QTRY_VERIFY(!name0->hasActiveFocus());
        QCOMPARE(name0->property("text").toString(), QStringLiteral("Picture ") + QString(80, u'w'));
        QRectF first;
        QVERIFY(QMetaObject::invokeMethod(name0, "positionToRectangle", Q_RETURN_ARG(QRectF, first), Q_ARG(int, 0)));
        QVERIFY2(first.x() >= 0 && first.x() < name0->width(), qPrintable(QString::number(first.x())));
        backend->history()->undo();
        QTRY_COMPARE(name0->property("text").toString(), QStringLiteral("Picture"));
        type_into(item(QStringLiteral("titleField")), QStringLiteral("Season one"));
        click(item(QStringLiteral("titleField")));
        type_text(QStringLiteral("xyz"));
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(item(QStringLiteral("titleField"))->property("text").toString(), QStringLiteral("Season one"));
        QCOMPARE(backend->track_edits()->active_title(), QStringLiteral("Season one"));

        QTRY_VERIFY(window->title().startsWith(QStringLiteral("\u25CF ")));
        QCOMPARE(unreadable(item_in(QStringLiteral("file_0"), QStringLiteral("fileLabel")), QStringLiteral("\u25CF full.mkv")), QString());
        QCOMPARE(unreadable(item_in(QStringLiteral("file_1"), QStringLiteral("fileLabel")), QStringLiteral("editions.mkv")), QString());
        QCOMPARE(usable_commands(window),
                 QStringLiteral("&Open… | &Add… | &Remove | &Save | Save A&ll | &Undo | Re&vert File | &Quit | &Next | "
                                "Show &Command… | Default by &Language… | Suggested &Flags… | &Chapter Names to All Files… | "
                                "Find Openings and &Endings… | Season &Overview…"));
        QCOMPARE(shows("track_1"),
                 QStringLiteral("#2 | Audio | Japanese dub | [x] Default | ja | … | Japanese | Flags… | Apply to all files | "
                                "forced · commentary"));
    }

    void rename_and_split_chapters() {
        click(item(QStringLiteral("file_1")));
        QTRY_VERIFY(item(QStringLiteral("chapter_3")));
        type_into(item_in(QStringLiteral("chapter_0"), QStringLiteral("chapterName")),
                  QStringLiteral("Opening & Ending <1> — オープニング"));
        click(item_in(QStringLiteral("chapter_0"), QStringLiteral("chapterName")));
        type_text(QStringLiteral("xyz"));
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(field_text("chapter_0", "chapterName"), QStringLiteral("Opening & Ending <1> — オープニング"));
        // Undo and redo reach the field.
        click(item(QStringLiteral("undoButton")));
        QTRY_COMPARE(field_text("chapter_0", "chapterName"), QStringLiteral("Cold open"));
        click(item(QStringLiteral("redoButton")));
        QTRY_COMPARE(field_text("chapter_0", "chapterName"), QStringLiteral("Opening & Ending <1> — オープニング"));
        const int rows = item(QStringLiteral("chapterList"))->property("count").toInt();
        click(item_in(QStringLiteral("chapter_1"), QStringLiteral("splitStart")));
        QTRY_COMPARE(item(QStringLiteral("chapterList"))->property("count").toInt(), rows + 1);
        QCOMPARE(item_in(QStringLiteral("chapter_1"), QStringLiteral("chapterEnd"))->property("text").toString(),
                 QStringLiteral("01:40.000"));
        QCOMPARE(item(QStringLiteral("chapter_1"))->property("qualifies").toBool(), true);
        QCOMPARE(item(QStringLiteral("file_1"))->property("modified").toBool(), true);
        // One click names it and sets its skip type; the box says so in words.
        click(item_in(QStringLiteral("chapter_1"), QStringLiteral("markOpening")));
        QTRY_COMPARE(item_in(QStringLiteral("chapter_1"), QStringLiteral("skipType"))->property("displayText").toString(),
                     QStringLiteral("Opening credits"));
        QCOMPARE(field_text("chapter_1", "chapterName"), QStringLiteral("Opening"));

        // A skip type chosen in the box; one that players do not go by offers the name they do.
        choose(item_in(QStringLiteral("chapter_0"), QStringLiteral("skipType")), Qt::Key_Down);
        QTRY_COMPARE(item_in(QStringLiteral("chapter_0"), QStringLiteral("skipType"))->property("displayText").toString(),
                     QStringLiteral("No skipping"));
        // And back to none: the skip type goes, with no "no skipping" left in its place.
        choose(item_in(QStringLiteral("chapter_0"), QStringLiteral("skipType")), Qt::Key_Up);
        QTRY_COMPARE(item(QStringLiteral("chapter_0"))->property("skipType").toInt(), -1);
        QCOMPARE(item_in(QStringLiteral("chapter_0"), QStringLiteral("skipType"))->property("displayText").toString(), QStringLiteral("None"));
        choose(item_in(QStringLiteral("chapter_0"), QStringLiteral("skipType")), Qt::Key_Down);
        QTRY_COMPARE(item(QStringLiteral("chapter_0"))->property("skipType").toInt(), 0);
        choose(item_in(QStringLiteral("chapter_3"), QStringLiteral("skipType")), Qt::Key_Down, 3);
        QTRY_COMPARE(item_in(QStringLiteral("chapter_3"), QStringLiteral("skipType"))->property("displayText").toString(),
                     QStringLiteral("End credits"));
        QTRY_VERIFY(item_in(QStringLiteral("chapter_3"), QStringLiteral("fixName")));
        // Scrolled into view, as the user would.
        QVERIFY(QMetaObject::invokeMethod(item(QStringLiteral("chapterList")), "positionViewAtIndex", Q_ARG(int, 3), Q_ARG(int, 4)));
        QCOMPARE(unreadable(item_in(QStringLiteral("chapter_3"), QStringLiteral("fixName")), QStringLiteral("Rename to \u201CEnding\u201D")),
                 QString());
        choose(item_in(QStringLiteral("chapter_3"), QStringLiteral("fixName")), Qt::Key_Space); // pressed from the keyboard
        QTRY_COMPARE(field_text("chapter_3", "chapterName"), QStringLiteral("Ending"));
        // The Ending button beside it: the same in one click (then undone).
        click(item_in(QStringLiteral("chapter_2"), QStringLiteral("markEnding")));
        QTRY_COMPARE(item_in(QStringLiteral("chapter_2"), QStringLiteral("skipType"))->property("displayText").toString(),
                     QStringLiteral("End credits"));
        QVERIFY(field_text("chapter_2", "chapterName").startsWith(QStringLiteral("Ending")));
        backend->history()->undo();
        QTRY_COMPARE(item_in(QStringLiteral("chapter_2"), QStringLiteral("skipType"))->property("displayText").toString(),
                     QStringLiteral("None"));
        // The two rarer roles sit in the row's menu.
        for (const auto &[entry, skip, name] : {std::tuple{"markRecap", "Recap", "Recap"}, {"markPreview", "Next preview", "Preview"}}) {
            click(item_in(QStringLiteral("chapter_2"), QStringLiteral("moreRoles")));
            QTRY_VERIFY(item(QString::fromLatin1(entry)));
            click(item(QString::fromLatin1(entry)));
            QTRY_COMPARE(item_in(QStringLiteral("chapter_2"), QStringLiteral("skipType"))->property("displayText").toString(),
                         QString::fromUtf8(skip));
            QVERIFY(field_text("chapter_2", "chapterName").startsWith(QString::fromUtf8(name)));
            backend->history()->undo();
            QTRY_COMPARE(field_text("chapter_2", "chapterName"), QStringLiteral("Main"));
        }

        // Typing is for the chapter it was typed into: when that chapter goes (deleted from
        // elsewhere) and its row comes to show another chapter, committing the text renames
        // nothing and says why.
        backend->insert_chapter_start(0, 2);
        QTRY_COMPARE(field_text("chapter_3", "chapterName"), QStringLiteral("Main"));
        QTRY_COMPARE(field_text("chapter_2", "chapterName"), QStringLiteral("Main (first 90 s)"));
        QCOMPARE(field_text("chapter_4", "chapterName"), QStringLiteral("Ending"));
        type_over(item_in(QStringLiteral("chapter_3"), QStringLiteral("chapterName")), QStringLiteral("Typed here"));
        QVERIFY(backend->chapter_edits()->delete_chapter(0, 3));
        QTRY_COMPARE(field_text("chapter_3", "chapterName"), QStringLiteral("Ending"));
        QTest::keyClick(window, Qt::Key_Return);
        QQuickItem *status = item(QStringLiteral("statusLine"));
        QVERIFY(status);
        QTRY_COMPARE(status->property("text").toString(),
                     QStringLiteral("That chapter is no longer in the active file. Nothing was changed."));
        QCOMPARE(field_text("chapter_2", "chapterName"), QStringLiteral("Main (first 90 s)"));
        QCOMPARE(backend->property("active_file_name").toString(), QStringLiteral("editions.mkv"));
        backend->history()->undo(); // the test's own edits go
        backend->history()->undo();
        QTRY_COMPARE(field_text("chapter_3", "chapterName"), QStringLiteral("Ending"));
        QTRY_COMPARE(field_text("chapter_2", "chapterName"), QStringLiteral("Main"));

        // The row's delete button: its time goes to the chapter before it.
        QVERIFY(QMetaObject::invokeMethod(item(QStringLiteral("chapterList")), "positionViewAtIndex", Q_ARG(int, 3), Q_ARG(int, 4)));
        QCOMPARE(unreadable(item_in(QStringLiteral("chapter_3"), QStringLiteral("deleteChapter")), QStringLiteral("\u2715")), QString());
        click(item_in(QStringLiteral("chapter_3"), QStringLiteral("deleteChapter")));
        QTRY_COMPARE(field_text("chapter_3", "chapterName"), QStringLiteral("Teil eins"));
        QCOMPARE(field_text("chapter_2", "chapterEnd"), QStringLiteral("06:30.000"));
        backend->history()->undo();
        QTRY_COMPARE(field_text("chapter_3", "chapterName"), QStringLiteral("Ending"));
        // "90 s from end": Main (01:40 to 05:10) keeps its start, the new piece takes the last 90 s.
        QTRY_VERIFY(item_in(QStringLiteral("chapter_2"), QStringLiteral("splitEnd")));
        click(item_in(QStringLiteral("chapter_2"), QStringLiteral("splitEnd")));
        QTRY_COMPARE(field_text("chapter_2", "chapterEnd"), QStringLiteral("03:40.000"));
        QCOMPARE(field_text("chapter_3", "chapterStart"), QStringLiteral("03:40.000"));
        QCOMPARE(field_text("chapter_3", "chapterEnd"), QStringLiteral("05:10.000"));
        backend->history()->undo();
        QTRY_COMPARE(field_text("chapter_3", "chapterName"), QStringLiteral("Ending"));
    }

    void save_both_files_and_read_them_back() {
        QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
        QTRY_COMPARE(backend->saves()->save_status(), QStringLiteral("Saved editions.mkv."));
        QCOMPARE(unreadable(item(QStringLiteral("statusLine")), QStringLiteral("Saved editions.mkv.")), QString());
        QCOMPARE(item(QStringLiteral("file_1"))->property("modified").toBool(), false);
        auto editions = read_back(dir.filePath(QStringLiteral("editions.mkv")));
        QVERIFY(editions && editions->chapters);
        const auto &atoms = editions->chapters->edition_entry.at(0).chapter_atom;
        QCOMPARE(QString::fromStdString(atoms.at(0).chapter_display.at(0).chap_string.value),
                 QStringLiteral("Opening & Ending <1> — オープニング"));
        QCOMPARE(atoms.at(1).chapter_time_end->value, 100'000'000'000ull);
        QCOMPARE(atoms.at(1).chapter_skip_type->value, 1ull); // opening credits
        QCOMPARE(QString::fromStdString(atoms.at(1).chapter_display.at(0).chap_string.value), QStringLiteral("Opening"));
        QCOMPARE(atoms.at(0).chapter_skip_type->value, 0ull); // no skipping
        QVERIFY(std::ranges::any_of(atoms, [](const auto &a) {
            return !a.chapter_display.empty() && a.chapter_display[0].chap_string.value == "Ending" &&
                   a.chapter_skip_type && a.chapter_skip_type->value == 2;
        }));

        click(item(QStringLiteral("file_0")));
        click(item(QStringLiteral("saveButton")));
        QTRY_COMPARE(backend->saves()->save_status(), QStringLiteral("Saved full.mkv."));
        auto full = read_back(dir.filePath(QStringLiteral("full.mkv")));
        QVERIFY(full && full->tracks);
        const auto &tracks = full->tracks->track_entry;
        QCOMPARE(tracks.at(1).name->value, std::string("Japanese dub"));
        QCOMPARE(tracks.at(1).flag_default.value, 1ull);
        QCOMPARE(tracks.at(1).flag_forced.value, 1ull);
        QCOMPARE(tracks.at(0).language.value, std::string("ger"));
        QCOMPARE(full->info.title->value, std::string("Season one"));
        QVERIFY(!window->title().startsWith(QStringLiteral("\u25CF ")));
        // The title bar's mark is the active file's: another file's unsaved edit does not show there.
        click(item(QStringLiteral("file_1")));
        type_into(item_in(QStringLiteral("chapter_0"), QStringLiteral("chapterName")), QStringLiteral("Cold open, edited"));
        QTRY_COMPARE(window->title(), QStringLiteral("\u25CF editions.mkv \u2014 perlane"));
        click(item(QStringLiteral("file_0")));
        QTRY_COMPARE(window->title(), QStringLiteral("full.mkv \u2014 perlane"));
        QCOMPARE(unreadable(item_in(QStringLiteral("file_1"), QStringLiteral("fileLabel")), QStringLiteral("\u25CF editions.mkv")), QString());
        backend->select_file(1);
        backend->history()->revert_file();
        backend->select_file(0);
        QTRY_COMPARE(window->title(), QStringLiteral("full.mkv \u2014 perlane"));
        QVERIFY(backend->history()->unsaved_files().isEmpty());
    }

    QString field_text(const char *row, const char *field) {
        QQuickItem *f = item_in(QString::fromLatin1(row), QString::fromLatin1(field));
        return f ? f->property("text").toString() : QStringLiteral("(none)");
    }

    void undo_and_redo_follow_the_fields() {
        QObject *revert = window->findChild<QObject *>(QStringLiteral("revertAction"));
        QObject *undo_save = window->findChild<QObject *>(QStringLiteral("undoSaveAction"));
        QVERIFY(!revert->property("enabled").toBool());
        QVERIFY(undo_save->property("enabled").toBool()); // the save just made
        type_into(item_in(QStringLiteral("track_2"), QStringLiteral("trackName")), QStringLiteral("Changed"));
        QTRY_VERIFY(backend->history()->active_modified());
        // With an edit pending, the File menu offers Revert, not Undo Last Save (it would lose the edit).
        QVERIFY(revert->property("enabled").toBool());
        QVERIFY(!undo_save->property("enabled").toBool());
        click(item(QStringLiteral("undoButton")));
        QTRY_COMPARE(field_text("track_2", "trackName"), QStringLiteral("Commentary"));
        QVERIFY(!backend->history()->active_modified());
        click(item(QStringLiteral("redoButton")));
        QTRY_COMPARE(field_text("track_2", "trackName"), QStringLiteral("Changed"));
        QVERIFY(backend->history()->active_modified());
        QMetaObject::invokeMethod(revert, "trigger");
        QTRY_COMPARE(field_text("track_2", "trackName"), QStringLiteral("Commentary"));
        QVERIFY(!backend->history()->active_modified());
        QVERIFY(!revert->property("enabled").toBool());
        QVERIFY(undo_save->property("enabled").toBool());
    }

    void text_not_yet_committed_is_saved_by_ctrl_s() {
        QQuickItem *name = item_in(QStringLiteral("track_0"), QStringLiteral("trackName"));
        type_over(name, QStringLiteral("Typed only"));
        QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
        QTRY_COMPARE(backend->saves()->save_status(), QStringLiteral("Saved full.mkv."));
        auto full = read_back(dir.filePath(QStringLiteral("full.mkv")));
        QVERIFY(full && full->tracks);
        QCOMPARE(full->tracks->track_entry.at(0).name->value, std::string("Typed only"));
    }

    // Show Command: what Save would run, in words and in full; nothing when nothing changed.
    void the_save_command_can_be_seen_first() {
        QObject *show = window->findChild<QObject *>(QStringLiteral("commandAction"));
        QObject *dialog = window->findChild<QObject *>(QStringLiteral("commandDialog"));
        QQuickItem *content = dialog->property("contentItem").value<QQuickItem *>();
        QMetaObject::invokeMethod(show, "trigger");
        QTRY_VERIFY(dialog->property("opened").toBool());
        QCOMPARE(unreadable(find_item(content, QStringLiteral("commandSays")), QStringLiteral("Nothing to save: the file has no changes.")),
                 QString());
        QMetaObject::invokeMethod(dialog, "close");
        QTRY_VERIFY(!dialog->property("visible").toBool());
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Shown first")));
        QMetaObject::invokeMethod(show, "trigger");
        QTRY_VERIFY(dialog->property("opened").toBool());
        QCOMPARE(unreadable(find_item(content, QStringLiteral("commandSays")), QStringLiteral("Save runs this command:")), QString());
        const QString command = find_item(content, QStringLiteral("commandText"))->property("text").toString();
        QVERIFY2(command.startsWith(QStringLiteral("mkvpropedit")) && command.contains(QStringLiteral("title=Shown first")),
                 qPrintable(command));
        QCOMPARE(dialog_shows("commandDialog"),
                 QStringLiteral("Close | Save command | Save runs this command: | "
                                "mkvpropedit DIR/full.mkv --edit info --set 'title=Shown first' | Copy"));
        // It is shown to be read and copied, not edited: what is typed there changes nothing.
        QQuickItem *text = find_item(content, QStringLiteral("commandText"));
        click(text);
        QTRY_VERIFY(text->hasActiveFocus());
        type_text(QStringLiteral("rm "));
        QCOMPARE(text->property("text").toString(), command);
        click_beside(dialog);
        backend->history()->undo();
        QTRY_VERIFY(!backend->history()->active_modified());
    }

    // Typing left uncommitted goes with the file it was typed into when another is chosen.
    void choosing_another_file_keeps_the_typing() {
        QQuickItem *name = item_in(QStringLiteral("track_0"), QStringLiteral("trackName"));
        type_over(name, QStringLiteral("Kept"));
        click(item(QStringLiteral("file_1")));
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("editions.mkv"));
        QCOMPARE(backend->history()->unsaved_files(), QStringList{"full.mkv"});
        click(item(QStringLiteral("file_0")));
        QTRY_COMPARE(field_text("track_0", "trackName"), QStringLiteral("Kept"));
        QMetaObject::invokeMethod(backend->history(), "revert_file");
        QTRY_COMPARE(field_text("track_0", "trackName"), QStringLiteral("Typed only"));
        // Another file chosen by the backend itself (a client calling select_file) while the
        // typing is still in the field: it never lands on that file's track, though the row
        // stays to show the same track of a file just like it.
        const QString twin = dir.filePath(QStringLiteral("twin.mkv"));
        QVERIFY(QFile::copy(dir.filePath(QStringLiteral("full.mkv")), twin));
        backend->files()->add_urls({QUrl::fromLocalFile(twin)});
        QTRY_COMPARE(backend->file_names().size(), 3);
        type_over(item_in(QStringLiteral("track_0"), QStringLiteral("trackName")), QStringLiteral("Not there"));
        backend->select_file(2);
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("twin.mkv"));
        QTest::keyClick(window, Qt::Key_Return);
        QTRY_COMPARE(field_text("track_0", "trackName"), QStringLiteral("Typed only"));
        QCOMPARE(backend->history()->unsaved_files(), QStringList());
        click(item(QStringLiteral("removeButton")));
        QTRY_COMPARE(backend->file_names().size(), 2);
        click(item(QStringLiteral("file_0")));
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("full.mkv"));
    }

    void a_file_changed_by_another_program_is_noticed() {
        const QString path = dir.filePath(QStringLiteral("full.mkv"));
        QCOMPARE(QProcess::execute(QStringLiteral("mkvpropedit"),
                                   {QStringLiteral("-q"), path, QStringLiteral("--edit"), QStringLiteral("track:2"),
                                    QStringLiteral("--set"), QStringLiteral("name=From elsewhere")}),
                 0);
        QTRY_VERIFY(item(QStringLiteral("diskBanner")));
        QCOMPARE(shows("diskBanner"),
                 QStringLiteral("“full.mkv” changed on disk since it was opened. | Reload"));
        // An edit made meanwhile is not saved over the other program's change...
        type_into(item_in(QStringLiteral("track_2"), QStringLiteral("trackName")), QStringLiteral("Mine"));
        click(item(QStringLiteral("saveButton")));
        QTRY_VERIFY(!backend->saves()->saving());
        QVERIFY(backend->saves()->save_failed());
        QVERIFY2(backend->saves()->save_status().contains(QStringLiteral("changed on disk")), qPrintable(backend->saves()->save_status()));
        // ...and Reload asks before it drops the edit, then shows what is on disk.
        click(item_in(QStringLiteral("diskBanner"), QStringLiteral("reloadButton")));
        QObject *dialog = window->findChild<QObject *>(QStringLiteral("reloadDialog"));
        QTRY_VERIFY(dialog->property("opened").toBool());
        QCOMPARE(dialog_shows("reloadDialog"),
                 QStringLiteral("Cancel | Discard | Reload file | Reloading “full.mkv” drops its unsaved changes."));
        QMetaObject::invokeMethod(dialog, "discarded"); // as the Discard button does
        QTRY_COMPARE(field_text("track_1", "trackName"), QStringLiteral("From elsewhere"));
        QCOMPARE(field_text("track_2", "trackName"), QStringLiteral("Commentary"));
        QVERIFY(!backend->history()->active_modified());
        QTRY_VERIFY(!item(QStringLiteral("diskBanner")));

        // Without edits, Reload shows the file as it is now at once.
        const auto change_on_disk = [&](const char *name) {
            return QProcess::execute(QStringLiteral("mkvpropedit"), {QStringLiteral("-q"), path, QStringLiteral("--edit"), QStringLiteral("track:3"),
                                                                     QStringLiteral("--set"), QStringLiteral("name=") + QLatin1String(name)});
        };
        QCOMPARE(change_on_disk("Changed again"), 0);
        QTRY_VERIFY(item(QStringLiteral("diskBanner")));
        click(item_in(QStringLiteral("diskBanner"), QStringLiteral("reloadButton")));
        QTRY_COMPARE(field_text("track_2", "trackName"), QStringLiteral("Changed again"));
        QTRY_VERIFY(!item(QStringLiteral("diskBanner")));
        // With an edit, Save anyway writes it over the other program's change.
        QCOMPARE(change_on_disk("Commentary"), 0);
        QTRY_VERIFY(item(QStringLiteral("diskBanner")));
        type_into(item_in(QStringLiteral("track_0"), QStringLiteral("trackName")), QStringLiteral("Mine anyway"));
        click(item_in(QStringLiteral("diskBanner"), QStringLiteral("saveAnywayButton")));
        QTRY_COMPARE(backend->saves()->save_status(), QStringLiteral("Saved full.mkv."));
        QCOMPARE(read_back(path)->tracks->track_entry.at(0).name->value, std::string("Mine anyway"));
        QTRY_VERIFY(!item(QStringLiteral("diskBanner")));
    }

    void save_all_saves_every_modified_file() {
        type_into(item_in(QStringLiteral("track_2"), QStringLiteral("trackName")), QStringLiteral("All one"));
        click(item(QStringLiteral("file_1")));
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("editions.mkv"));
        type_into(item_in(QStringLiteral("track_0"), QStringLiteral("trackName")), QStringLiteral("All two"));
        QCOMPARE(backend->history()->unsaved_files(), (QStringList{"full.mkv", "editions.mkv"}));
        QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(backend->saves()->save_status(), QStringLiteral("Saved 2 files."));
        QVERIFY(backend->history()->unsaved_files().isEmpty());
        QCOMPARE(read_back(dir.filePath(QStringLiteral("editions.mkv")))->tracks->track_entry.at(0).name->value,
                 std::string("All two"));
        // The save can be taken back from the File menu.
        QObject *undo_save = window->findChild<QObject *>(QStringLiteral("undoSaveAction"));
        QVERIFY(undo_save && undo_save->property("enabled").toBool());
        QMetaObject::invokeMethod(undo_save, "trigger");
        QCOMPARE(backend->saves()->save_status(), QStringLiteral("Undid the last save of editions.mkv."));
        QTRY_COMPARE(field_text("track_0", "trackName"), QString()); // unnamed, as before the save
        QVERIFY(!read_back(dir.filePath(QStringLiteral("editions.mkv")))->tracks->track_entry.at(0).name);
    }

    // Thousands of chapters: only the rows in view have delegates, and edits still land.
    void a_chapter_list_of_thousands_stays_light() {
        backend->files()->add_urls({QUrl::fromLocalFile(media("many.mkv"))});
        QTRY_VERIFY(item(QStringLiteral("file_2")));
        click(item(QStringLiteral("file_2")));
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("many.mkv"));
        QCOMPARE(usable_commands(window),
                 QStringLiteral("&Open… | &Add… | &Remove | &Save | &Quit | &Previous | Show &Command… | Default by &Language… | "
                                "Suggested &Flags… | &Chapter Names to All Files… | Find Openings and &Endings… | Season &Overview…"));
        auto *list = window->findChild<QQuickItem *>(QStringLiteral("chapterList"));
        QVERIFY(list);
        QTRY_COMPARE(list->property("count").toInt(), 5000);
        const auto delegates = [&] {
            int n = 0;
            for (QQuickItem *child : list->property("contentItem").value<QQuickItem *>()->childItems())
                n += child->isVisible() ? 1 : 0;
            return n;
        };
        QVERIFY2(delegates() < 100, qPrintable(QString::number(delegates())));
        QMetaObject::invokeMethod(list, "positionViewAtEnd");
        QTRY_VERIFY(item(QStringLiteral("chapter_4999")));
        QVERIFY(delegates() < 100);
        type_into(item_in(QStringLiteral("chapter_4999"), QStringLiteral("chapterName")), QStringLiteral("The last"));
        QCOMPARE(backend->active_document()->state().editions.at(0).chapter_atom.at(4999).chapter_display.at(0).chap_string.value,
                 std::string("The last"));
        QMetaObject::invokeMethod(backend->history(), "revert_file");
        backend->delete_file(static_cast<quint64>(backend->active_row()));
        click(item(QStringLiteral("file_1")));
    }

    // A zero-length marker sharing its start with the next chapter, as some files have: that
    // start typed back to what it was is no edit, so it is not refused as not after the marker.
    void a_start_typed_back_is_not_refused() {
        const QString path = dir.filePath(QStringLiteral("marker.mkv")), list = dir.filePath(QStringLiteral("marker.txt"));
        QVERIFY(QFile::copy(media("full.mkv"), path));
        QFile chapters(list);
        QVERIFY(chapters.open(QIODevice::WriteOnly));
        chapters.write("CHAPTER01=00:00:00.000\nCHAPTER01NAME=Intro\nCHAPTER02=00:01:00.000\nCHAPTER02NAME=Marker\n"
                       "CHAPTER03=00:01:00.000\nCHAPTER03NAME=Part A\n");
        chapters.close();
        QCOMPARE(QProcess::execute(QStringLiteral("mkvpropedit"), {QStringLiteral("-q"), path, QStringLiteral("--chapters"), list}), 0);
        const int was = backend->active_row(), row = static_cast<int>(backend->file_names().size());
        backend->files()->add_urls({QUrl::fromLocalFile(path)});
        const auto restore = qScopeGuard([&] { // also after a failed check, for the tests that follow
            backend->delete_file(static_cast<quint64>(row));
            click(item(QStringLiteral("file_%1").arg(was)));
        });
        QTRY_VERIFY(item(QStringLiteral("file_%1").arg(row)));
        click(item(QStringLiteral("file_%1").arg(row)));
        QTRY_COMPARE(field_text("chapter_2", "chapterStart"), QStringLiteral("01:00.000"));
        QQuickItem *start = item_in(QStringLiteral("chapter_2"), QStringLiteral("chapterStart"));
        click(start);
        QTest::keyClick(window, Qt::Key_End);
        type_text(QStringLiteral("x"));
        QTRY_VERIFY(item_in(QStringLiteral("chapter_2"), QStringLiteral("startError")));
        QTest::keyClick(window, Qt::Key_Backspace);
        QTRY_VERIFY(!item_in(QStringLiteral("chapter_2"), QStringLiteral("startError")));
        QCOMPARE(start->property("color"), item_in(QStringLiteral("chapter_1"), QStringLiteral("chapterStart"))->property("color"));
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(field_text("chapter_2", "chapterStart"), QStringLiteral("01:00.000"));
        QVERIFY(!backend->history()->active_modified());
    }

    // A drop may show another file: typing not yet committed stays with the one it was typed in.
    void dropped_files_are_added() {
        const QString dropped = dir.filePath(QStringLiteral("dropped.mkv"));
        QVERIFY(QFile::copy(media("full.mkv"), dropped));
        click(item(QStringLiteral("file_0")));
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("full.mkv"));
        type_over(item_in(QStringLiteral("track_0"), QStringLiteral("trackName")), QStringLiteral("Typed before the drop"));
        auto *mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(dropped), QUrl::fromLocalFile(dir.filePath(QStringLiteral("editions.mkv")))});
        const QPoint at(window->width() / 2, window->height() / 2);
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
        QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
        QTRY_COMPARE(backend->file_names(), (QStringList{"full.mkv", "editions.mkv", "dropped.mkv"}));
        delete mime;
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("editions.mkv")); // listed already: shown
        QCOMPARE(backend->history()->unsaved_files(), QStringList{"full.mkv"});
        click(item(QStringLiteral("file_0")));
        QTRY_COMPARE(field_text("track_0", "trackName"), QStringLiteral("Typed before the drop"));
        QMetaObject::invokeMethod(backend->history(), "revert_file");
        QTRY_VERIFY(backend->history()->unsaved_files().isEmpty());

        // Two files of one name, in two folders: only the one shown is marked as shown.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("again")));
        QVERIFY(QFile::copy(media("editions.mkv"), dir.filePath(QStringLiteral("again/full.mkv"))));
        QVERIFY(!backend->add_file(dir.filePath(QStringLiteral("again/full.mkv"))));
        QTRY_VERIFY(item(QStringLiteral("file_3")));
        click(item(QStringLiteral("file_3")));
        QTRY_VERIFY(item(QStringLiteral("file_3"))->property("highlighted").toBool());
        QVERIFY(!item(QStringLiteral("file_0"))->property("highlighted").toBool());
        backend->delete_file(3);
        QTRY_VERIFY(!item(QStringLiteral("file_3")));
        click(item(QStringLiteral("file_1")));
    }

    // A season's long names: what tells them apart (the episode) stays in sight, the full
    // name in the accessible name.
    void long_names_keep_the_episode_in_sight() {
        const int listed = static_cast<int>(backend->file_names().size());
        for (int e = 1; e <= 2; ++e) {
            const QString path = dir.filePath(QStringLiteral("Starlight Harbor - S01E0%1 - The Lighthouse Keeper's "
                                                             "Daughter Returns Home [1080p BluRay x265].mkv").arg(e));
            QVERIFY(QFile::copy(media("full.mkv"), path));
            QVERIFY(!backend->add_file(path));
        }
        for (int e = 1; e <= 2; ++e) {
            QTRY_VERIFY(item(QStringLiteral("file_%1").arg(listed + e - 1)));
            QQuickItem *row = item(QStringLiteral("file_%1").arg(listed + e - 1));
            QQuickItem *label = item_in(QStringLiteral("file_%1").arg(listed + e - 1), QStringLiteral("fileLabel"));
            QVERIFY(label);
            const QString shown = label->property("text").toString();
            QVERIFY2(shown.startsWith(QStringLiteral("\u2026S01E0%1 - ").arg(e)), qPrintable(shown));
            QCOMPARE(unreadable(label, shown), QString());
            QVERIFY(accessible_name(row).startsWith(QStringLiteral("Starlight Harbor - S01E0%1").arg(e)));
        }
        // Removing a file with unsaved edits: Discard removes it, and only it.
        click(item(QStringLiteral("file_%1").arg(listed + 1)));
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Thrown away")));
        // Shortened, it still shows its unsaved mark.
        QTRY_VERIFY(item_in(QStringLiteral("file_%1").arg(listed + 1), QStringLiteral("fileLabel"))
                        ->property("text").toString().startsWith(QStringLiteral("\u25CF \u2026S01E02 - ")));
        click(item(QStringLiteral("removeButton")));
        QObject *discard = window->findChild<QObject *>(QStringLiteral("discardDialog"));
        QTRY_VERIFY(discard->property("opened").toBool());
        QCOMPARE(dialog_shows("discardDialog"),
                 QStringLiteral("Cancel | Discard | Unsaved changes | "
                                "“Starlight Harbor - S01E02 - The Lighthouse Keeper's Daughter Returns Home [1080p BluRay x265].mkv” has changes that were not saved. Remove it from the list anyway?"));
        QMetaObject::invokeMethod(discard, "discarded");
        QTRY_COMPARE(backend->file_names().size(), listed + 1);
        QVERIFY(backend->file_names().last().contains(QStringLiteral("S01E01")));
        // Another file's unsaved edits: Remove takes this one at once.
        const QStringList unsaved = backend->history()->unsaved_files();
        backend->select_file(0);
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Pending elsewhere")));
        click(item(QStringLiteral("file_%1").arg(listed)));
        click(item(QStringLiteral("removeButton")));
        QTRY_COMPARE(backend->file_names().size(), listed);
        QVERIFY(!discard->property("visible").toBool());
        backend->select_file(0);
        backend->history()->undo();
        QCOMPARE(backend->history()->unsaved_files(), unsaved);
    }

    // A tag the field would refuse (a variant) that the file itself holds is not called
    // wrong once typed back: nothing about it was changed.
    void a_files_own_language_is_not_refused() {
        const int listed = static_cast<int>(backend->file_names().size());
        const QString path = dir.filePath(QStringLiteral("variant.mkv"));
        QVERIFY(QFile::copy(media("full.mkv"), path));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(QProcess::execute(QStringLiteral("mkvpropedit"), {QStringLiteral("-q"), path, QStringLiteral("--edit"), QStringLiteral("track:2"),
                                                               QStringLiteral("--set"), QStringLiteral("language-ietf=de-CH-1996")}),
                 0);
        backend->files()->add_urls({QUrl::fromLocalFile(path)});
        QTRY_COMPARE(backend->file_names().size(), listed + 1);
        QTRY_VERIFY(item(QStringLiteral("file_%1").arg(listed)));
        click(item(QStringLiteral("file_%1").arg(listed)));
        QTRY_COMPARE(backend->active_file_name(), QStringLiteral("variant.mkv"));
        QQuickItem *language = item_in(QStringLiteral("track_1"), QStringLiteral("trackLanguage"));
        QTRY_COMPARE(language->property("text").toString(), QStringLiteral("de-CH-1996"));
        click(language);
        QTest::keyClick(window, Qt::Key_End);
        type_text(QStringLiteral("x"));
        QTRY_VERIFY(item_in(QStringLiteral("track_1"), QStringLiteral("languageError"))); // what was typed is refused
        QTest::keyClick(window, Qt::Key_Backspace);
        QTRY_VERIFY(!item_in(QStringLiteral("track_1"), QStringLiteral("languageError")));
        QTest::keyClick(window, Qt::Key_Return);
        QVERIFY(!backend->history()->active_modified());
        click(item(QStringLiteral("removeButton")));
        QTRY_COMPARE(backend->file_names().size(), listed);
    }

    // The language picker, a field that refuses a bad code, and two season rules with
    // their previews, on four differing episodes.
    void season_rules_with_preview_and_picker() {
        const QStringList before = backend->history()->unsaved_files();
        const int listed = static_cast<int>(backend->file_names().size());
        QList<QUrl> urls;
        for (const char *name : {"s01e01.mkv", "s01e02.mkv", "s01e03.mkv", "s01e04.mkv"}) {
            const QString path = dir.filePath(QString::fromLatin1(name));
            QVERIFY(QFile::copy(media(name), path));
            urls << QUrl::fromLocalFile(path);
        }
        backend->files()->add_urls(urls);
        QTRY_COMPARE(backend->file_names().size(), listed + 4);
        QTRY_VERIFY(item(QStringLiteral("file_%1").arg(listed + 3)));
        click(item(QStringLiteral("file_%1").arg(listed)));
        QCOMPARE(backend->active_file_name(), QStringLiteral("s01e01.mkv"));
        QVERIFY(!item(QStringLiteral("chapterHeader"))); // a file without chapters shows no column heads

        // Picked by name: "portuguese bra" offers pt-BR first; Enter takes it.
        click(item_in(QStringLiteral("track_1"), QStringLiteral("pickLanguage")));
        QTRY_VERIFY(item(QStringLiteral("languageSearch")));
        QVERIFY(item(QStringLiteral("languageSearch"))->hasActiveFocus());
        type_text(QStringLiteral("portuguese bra"));
        QTest::keyClick(window, Qt::Key_Return);
        QTRY_COMPARE(item_in(QStringLiteral("track_1"), QStringLiteral("trackLanguage"))->property("text").toString(),
                     QStringLiteral("pt-BR"));
        // A code that does not exist is refused in the field, with the reason.
        QQuickItem *language = item_in(QStringLiteral("track_1"), QStringLiteral("trackLanguage"));
        type_into(language, QStringLiteral("xx"));
        QQuickItem *error = item_in(QStringLiteral("track_1"), QStringLiteral("languageError"));
        QVERIFY(error);
        QVERIFY(error->property("text").toString().contains(QStringLiteral("not an ISO 639 language code")));
        // However long what was typed, the reason wraps inside its row.
        type_into(language, QString(150, u'q'));
        QTRY_VERIFY(item_in(QStringLiteral("track_1"), QStringLiteral("languageError"))->property("text").toString().contains(QString(150, u'q')));
        window->grabWindow();
        QCOMPARE(unreadable(error, error->property("text").toString()), QString());
        QCOMPARE(runs_over(error), QString());
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(!item_in(QStringLiteral("track_1"), QStringLiteral("languageError")));
        QCOMPARE(language->property("text").toString(), QStringLiteral("pt-BR"));
        // Picked with the mouse from the list; the search starts afresh.
        click(item_in(QStringLiteral("track_1"), QStringLiteral("pickLanguage")));
        QTRY_VERIFY(item(QStringLiteral("languageSearch")));
        QCOMPARE(item(QStringLiteral("languageSearch"))->property("text").toString(), QString());
        QVERIFY(!item(QStringLiteral("noLanguage")));
        type_text(QStringLiteral("qqzzy"));
        QTRY_COMPARE(unreadable(item(QStringLiteral("noLanguage")), QStringLiteral("No language matches.")), QString());
        QTest::keyClick(window, Qt::Key_Return); // nothing to take: the picker stays open
        QVERIFY(item(QStringLiteral("languageSearch")));
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        type_text(QStringLiteral("swedish"));
        QTRY_VERIFY(!item(QStringLiteral("noLanguage")));
        QQuickItem *row = nullptr;
        QTRY_VERIFY((row = find_button(item(QStringLiteral("languageResults")), QStringLiteral("Swedish \u2014 swe"))));
        click(row);
        QTRY_COMPARE(language->property("text").toString(), QStringLiteral("swe"));
        backend->history()->undo();
        QTRY_COMPARE(language->property("text").toString(), QStringLiteral("pt-BR"));
        // Enter takes the highlighted language, also once the search has the keyboard again.
        click(item_in(QStringLiteral("track_1"), QStringLiteral("pickLanguage")));
        QTRY_VERIFY(item(QStringLiteral("languageSearch")));
        type_text(QStringLiteral("swedish"));
        QTRY_VERIFY(find_button(item(QStringLiteral("languageResults")), QStringLiteral("Swedish \u2014 swe")));
        QTest::keyClick(window, Qt::Key_Down);
        QTest::keyClick(window, Qt::Key_Down);
        QQuickItem *highlighted = item(QStringLiteral("languageResults"))->property("currentItem").value<QQuickItem *>();
        QVERIFY(highlighted && highlighted->property("highlighted").toBool());
        const QString label = highlighted->property("text").toString();
        QVERIFY2(label != QStringLiteral("Swedish \u2014 swe") && label.contains(QStringLiteral(" \u2014 ")), qPrintable(label));
        click(item(QStringLiteral("languageSearch")));
        QTest::keyClick(window, Qt::Key_Return);
        QTRY_COMPARE(language->property("text").toString(), label.section(QStringLiteral(" \u2014 "), -1));
        backend->history()->undo();
        QTRY_COMPARE(language->property("text").toString(), QStringLiteral("pt-BR"));
        click(item_in(QStringLiteral("track_1"), QStringLiteral("pickLanguage")));
        click_beside(window->findChild<QObject *>(QStringLiteral("languagePicker")));
        QCOMPARE(language->property("text").toString(), QStringLiteral("pt-BR"));

        // The dub renamed, then applied to the season after a look at what would change.
        type_into(item_in(QStringLiteral("track_2"), QStringLiteral("trackName")), QStringLiteral("English"));
        // A screen reader names the row it acts on, not only the track's (possibly empty) name.
        QCOMPARE(accessible_name(item_in(QStringLiteral("track_2"), QStringLiteral("applyToAll"))),
                 QStringLiteral("Apply the changes of track 3, Audio, English to the matching track of every open file"));
        click(item_in(QStringLiteral("track_2"), QStringLiteral("applyToAll")));
        QObject *preview = window->findChild<QObject *>(QStringLiteral("previewDialog"));
        QTRY_VERIFY(preview->property("opened").toBool());
        QCOMPARE(item(QStringLiteral("planChanges"))->property("count").toInt(), 2);
        QCOMPARE(unreadable(item(QStringLiteral("planSummary")), QStringLiteral("2 changes in 2 files:")), QString());
        QCOMPARE(dialog_shows("previewDialog"),
                 QStringLiteral("Cancel | Apply | Apply track 3 to all files | 2 changes in 2 files: | "
                                "s01e03.mkv — #3 Audio — name: “English dub” → “English” | "
                                "s01e04.mkv — #1 Audio — name: “English dub” → “English” | "
                                "Skipped:\n• full.mkv: it has no audio track named “English dub” in “en”\n• editions.mkv: it has no audio track named “English dub” in “en”\n• dropped.mkv: it has no audio track named “English dub” in “en”\n• s01e02.mkv: it has no audio track named “English dub” in “en”"));
        QVERIFY(item(QStringLiteral("planSkipped"))->property("text").toString().contains(QStringLiteral("s01e02.mkv: it has no audio track")));
        // The default button has the focus; Enter applies.
        QTRY_VERIFY(find_button(preview->property("footer").value<QQuickItem *>(), QStringLiteral("Apply"))->hasActiveFocus());
        QTest::keyClick(window, Qt::Key_Return);
        QTRY_VERIFY(!preview->property("visible").toBool());
        QVERIFY(backend->history()->unsaved_files().contains(QStringLiteral("s01e03.mkv")));
        QVERIFY(backend->history()->unsaved_files().contains(QStringLiteral("s01e04.mkv")));
        // Chapter names to all files: previewed first, here refused with the reason; Cancel changes nothing.
        const QStringList unsaved = backend->history()->unsaved_files();
        QMetaObject::invokeMethod(window->findChild<QObject *>(QStringLiteral("chapterNamesAction")), "trigger");
        QTRY_VERIFY(preview->property("opened").toBool());
        QCOMPARE(unreadable(item(QStringLiteral("planSummary")), QStringLiteral("The active file has no chapters to copy.")), QString());
        QCOMPARE(dialog_shows("previewDialog"),
                 QStringLiteral("Cancel | Apply (off) | Chapter names and skip types to all files | "
                                "The active file has no chapters to copy."));
        QVERIFY(!item(QStringLiteral("planSkipped")));
        const QString said = backend->saves()->save_status();
        QTest::keyClick(window, Qt::Key_Return); // Apply is off: Enter does nothing
        QVERIFY(preview->property("opened").toBool());
        QCOMPARE(backend->saves()->save_status(), said);
        click(item(QStringLiteral("file_0")));
        QTRY_VERIFY(!preview->property("visible").toBool());
        QCOMPARE(backend->history()->unsaved_files(), unsaved);
        QCOMPARE(backend->active_file_name(), QStringLiteral("s01e01.mkv"));

        // Default by language: Japanese audio, previewed in the dialog, then applied.
        QMetaObject::invokeMethod(window->findChild<QObject *>(QStringLiteral("defaultAction")), "trigger");
        QObject *dialog = window->findChild<QObject *>(QStringLiteral("defaultDialog"));
        click_beside(dialog);
        QMetaObject::invokeMethod(window->findChild<QObject *>(QStringLiteral("defaultAction")), "trigger");
        QTRY_VERIFY(dialog->property("opened").toBool());
        QCOMPARE(dialog->property("language").toString(), QStringLiteral("ja"));
        // Subtitles too: the dialog asks for them by the name the backend takes.
        QQuickItem *type = find_item(dialog->property("contentItem").value<QQuickItem *>(), QStringLiteral("defaultType"));
        type->setProperty("currentIndex", 1);
        QTRY_VERIFY(dialog->property("plan").toMap().value(QStringLiteral("ok")).toBool());
        QVERIFY(!dialog->property("plan").toMap().value(QStringLiteral("changes")).toList().isEmpty());
        type->setProperty("currentIndex", 0);
        QTRY_COMPARE(dialog->property("language").toString(), QStringLiteral("ja"));
        QVERIFY(find_item(dialog->property("contentItem").value<QQuickItem *>(), QStringLiteral("planChanges"))->property("count").toInt() >= 6);
        QCOMPARE(dialog_shows("defaultDialog"),
                 QStringLiteral("Cancel | Apply | Default by language | "
                                "In every open file, the first track of this type in this language becomes the default one, and the other tracks of this type stop being default. | "
                                "Audio | Japanese — ja | 7 changes in 4 files: | full.mkv — #3 Audio — default: yes → no | "
                                "dropped.mkv — #2 Audio — default: no → yes | dropped.mkv — #3 Audio — default: yes → no | "
                                "s01e03.mkv — #2 Audio — default: no → yes | s01e03.mkv — #3 Audio — default: yes → no | "
                                "s01e04.mkv — #1 Audio — default: yes → no | s01e04.mkv — #3 Audio — default: no → yes | "
                                "Skipped:\n• editions.mkv: it has no audio track in Japanese\n• s01e01.mkv: it has no audio track in Japanese\n• s01e02.mkv: nothing to change"));
        QTest::keyClick(window, Qt::Key_Enter);
        QTRY_VERIFY(!dialog->property("visible").toBool());

        // This episode's Japanese track is Portuguese now: it is skipped, and says so.
        QVERIFY2(backend->saves()->save_status().contains(QStringLiteral("s01e01.mkv (it has no audio track in Japanese)")),
                 qPrintable(backend->saves()->save_status()));
        click(item(QStringLiteral("file_%1").arg(listed + 2)));
        QVERIFY(item_in(QStringLiteral("track_1"), QStringLiteral("trackDefault"))->property("checked").toBool());

        // A suggested flag accepted: the dialog says what was done.
        QMetaObject::invokeMethod(window->findChild<QObject *>(QStringLiteral("suggestAction")), "trigger");
        QObject *suggestions = window->findChild<QObject *>(QStringLiteral("suggestionsDialog"));
        QTRY_VERIFY(suggestions->property("opened").toBool());
        QQuickItem *content = suggestions->property("contentItem").value<QQuickItem *>();
        QTRY_VERIFY(find_item(content, QStringLiteral("accept_hearing-impaired")));
        QVERIFY(!find_item(content, QStringLiteral("noSuggestions")));
        QQuickItem *accept = find_item(content, QStringLiteral("accept_hearing-impaired"));
        QCOMPARE(unreadable(accept, QStringLiteral("Accept")), QString());
        // A screen reader says which of the Accept buttons it is.
        QCOMPARE(accessible_name(accept), QStringLiteral("Set the Hearing impaired flag on these tracks"));
        QCOMPARE(dialog_shows("suggestionsDialog"),
                 QStringLiteral("Close | Suggested flags | Forced for the tracks with Signs, Songs, Forced in their names | Accept | "
                                "4 changes in 4 files: | s01e01.mkv — #4 Subtitle — Forced: no → yes | "
                                "s01e02.mkv — #3 Subtitle — Forced: no → yes | s01e03.mkv — #5 Subtitle — Forced: no → yes | "
                                "s01e04.mkv — #5 Subtitle — Forced: no → yes | "
                                "Commentary for the tracks with Commentary, Director in their names | Accept | "
                                "2 changes in 2 files: | dropped.mkv — #3 Audio — Commentary: unset → yes | "
                                "s01e03.mkv — #4 Audio — Commentary: unset → yes | "
                                "Hearing impaired for the tracks with SDH, CC in their names | Accept | 1 change in 1 file: | "
                                "s01e04.mkv — #6 Subtitle — Hearing impaired: unset → yes"));
        // Laid out: each suggestion's button in its own row.
        QQuickItem *other = find_item(content, QStringLiteral("accept_forced"));
        QVERIFY(other);
        QTRY_VERIFY(accept->mapToScene(QPointF(0, 0)).y() != other->mapToScene(QPointF(0, 0)).y());
        click(accept);
        QTRY_VERIFY(find_item(content, QStringLiteral("suggestionDone")));
        const QString done = backend->saves()->save_status();
        QVERIFY2(done.startsWith(QStringLiteral("Set the hearing-impaired flag: 1 file changed (not saved yet).")),
                 qPrintable(done));
        QCOMPARE(unreadable(find_item(content, QStringLiteral("suggestionDone")), QStringLiteral("\u2713 ") + done), QString());
        click_beside(suggestions);
        // Opened again, it does not say again what was done the last time.
        QMetaObject::invokeMethod(window->findChild<QObject *>(QStringLiteral("suggestAction")), "trigger");
        QTRY_VERIFY(suggestions->property("opened").toBool());
        QVERIFY(!find_item(content, QStringLiteral("suggestionDone")));
        click_beside(suggestions);

        // The overview marks in words what differs: "≠" before the odd episodes and cells.
        QMetaObject::invokeMethod(window->findChild<QObject *>(QStringLiteral("overviewAction")), "trigger");
        QObject *overview = window->findChild<QObject *>(QStringLiteral("overviewDialog"));
        QTRY_VERIFY(overview->property("opened").toBool());
        int odd_rows = 0, odd_cells = 0;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 16; ++c)
                if (QQuickItem *label = item(QStringLiteral("overview_%1_%2").arg(r).arg(c));
                    label && label->property("text").toString().startsWith(QStringLiteral("\u2260 ")))
                    ++(c == 0 ? odd_rows : odd_cells);
        QVERIFY(odd_rows > 0 && odd_cells >= odd_rows);
        // Wider than the dialog: the last column is cut at its edge until scrolled to.
        QCOMPARE(dialog_shows("overviewDialog"),
                 QStringLiteral("Close | Season overview | File | Video · de · “Mine anyway” | Audio · ja · “From elsewhere” | "
                                "Audio · en · “All one” | Video · und · (no name) | Audio · und · (no name) | "
                                "Video · und · “Picture” (cut) | ≠ full.mkv | ≠ #1 | ≠ #2 · default · forced · commentary | ≠ #3 | ≠ — | "
                                "— | — | ≠ editions.mkv | — | — | — | #1 | ≠ #2 | — | ≠ dropped.mkv | — | — | — | ≠ — | — | ≠ #1 | "
                                "≠ s01e01.mkv | — | — | — | #1 | — | — | ≠ s01e02.mkv | — | — | — | #1 | — | — | ≠ s01e03.mkv | — | "
                                "— | — | #1 | — | — | ≠ s01e04.mkv | — | — | — | ≠ #4 | — | —"));
        QMetaObject::invokeMethod(overview, "close");
        QTRY_VERIFY(!overview->property("visible").toBool());

        // An Opening for an episode without chapters: a time, one click.
        click(item(QStringLiteral("file_%1").arg(listed + 1)));
        QCOMPARE(backend->active_file_name(), QStringLiteral("s01e02.mkv"));
        QVERIFY(!item(QStringLiteral("chapter_0")));
        QTRY_COMPARE(unreadable(item(QStringLiteral("noChapters")), QStringLiteral("This file has no chapters.")), QString());
        QVERIFY(item(QStringLiteral("noChapters"))->mapToScene({0, 0}).y() < item(QStringLiteral("addBar"))->mapToScene({0, 0}).y());
        type_into(item(QStringLiteral("addTime")), QStringLiteral("1:00"));
        click(item(QStringLiteral("addOpening")));
        QTRY_VERIFY(item(QStringLiteral("chapter_2")));
        QCOMPARE(item_in(QStringLiteral("chapter_1"), QStringLiteral("chapterName"))->property("text").toString(), QStringLiteral("Opening"));
        QCOMPARE(item_in(QStringLiteral("chapter_1"), QStringLiteral("chapterEnd"))->property("text").toString(), QStringLiteral("02:30.000"));
        QVERIFY(item_in(QStringLiteral("chapter_1"), QStringLiteral("players"))->property("text").toString().contains(QStringLiteral("Jellyfin: intro")));
        QCOMPARE(shows("chapterList"),
                 QStringLiteral("Edition 1 | Chapter 1 | 00:00.000 | 01:00.000 | 01:00.000 | ✕ | 90 s from start | 90 s from end | "
                                "Skip: | None | Opening | Ending | More ▾ | No player skips it by its name | Opening | 01:00.000 | "
                                "02:30.000 | 01:30.000 ≈ 90 s | ✕ | 90 s from start | 90 s from end | Skip: | Opening credits | "
                                "Opening | Ending | More ▾ | Skipped by Jellyfin: intro · mpv: opening | Chapter 3 | 02:30.000 | "
                                "03:00.000 | 00:30.000 | ✕"));
        QCOMPARE(shows("addBar"),
                 QStringLiteral("At | mm:ss.fff or start-end | Name | Add chapter (off) | Add Opening (off) | Add Ending (off)"));
        QCOMPARE(item(QStringLiteral("editionHeader"))->property("text").toString(), QStringLiteral("Edition 1"));
        // A named chapter from the add bar: Add takes a time it can use and a name.
        QQuickItem *add = item(QStringLiteral("addChapter"));
        type_into(item(QStringLiteral("addName")), QStringLiteral("Next time"));
        type_into(item(QStringLiteral("addTime")), QStringLiteral("2:50-2:55"));
        QVERIFY(!add->property("enabled").toBool()); // a span is for Opening and Ending
        type_into(item(QStringLiteral("addTime")), QStringLiteral("9:99"));
        QVERIFY(!add->property("enabled").toBool());
        QTRY_VERIFY(item(QStringLiteral("addError")));
        QCOMPARE(shows("addBar"),
                 QStringLiteral("At | 9:99 | Next time | Add chapter (off) | Add Opening (off) | Add Ending (off) | "
                                "“9:99” is not a time: minutes and seconds go up to 59."));
        QVERIFY(unreadable(item(QStringLiteral("addError")), item(QStringLiteral("addError"))->property("text").toString()).isEmpty());
        type_into(item(QStringLiteral("addTime")), QStringLiteral("2:50"));
        QTRY_VERIFY(add->property("enabled").toBool());
        QVERIFY(!item(QStringLiteral("addError")));
        click(add);
        // Each new chapter is brought into sight, below the rows shown before.
        QTRY_VERIFY(item(QStringLiteral("chapter_3")));
        window->grabWindow();
        QCOMPARE(unreadable(item_in(QStringLiteral("chapter_3"), QStringLiteral("chapterName")), QStringLiteral("Next time")), QString());
        QCOMPARE(field_text("chapter_3", "chapterStart"), QStringLiteral("02:50.000"));
        const QString cleared = QStringLiteral("At | mm:ss.fff or start-end | Name | Add chapter (off) | Add Opening (off) | Add Ending (off)");
        QCOMPARE(shows("addBar"), cleared);
        backend->history()->undo();
        QTRY_VERIFY(!item(QStringLiteral("chapter_3")));
        // An Ending over a span: the bar is cleared for the next one.
        type_into(item(QStringLiteral("addTime")), QStringLiteral("2:35-2:55"));
        QTRY_VERIFY(item(QStringLiteral("addEnding"))->property("enabled").toBool());
        click(item(QStringLiteral("addEnding")));
        QTRY_COMPARE(item(QStringLiteral("chapterList"))->property("count").toInt(), 5);
        QTRY_VERIFY(item(QStringLiteral("chapter_3")));
        window->grabWindow();
        QCOMPARE(unreadable(item_in(QStringLiteral("chapter_3"), QStringLiteral("chapterName")), QStringLiteral("Ending")), QString());
        QCOMPARE(shows("addBar"), cleared);
        backend->history()->undo();
        QTRY_COMPARE(item(QStringLiteral("chapterList"))->property("count").toInt(), 3);
        QMetaObject::invokeMethod(item(QStringLiteral("chapterList")), "positionViewAtBeginning");
        QTRY_VERIFY(item(QStringLiteral("chapter_2")));
        // A start typed out of range is refused in the field, with the reason.
        type_into(item_in(QStringLiteral("chapter_2"), QStringLiteral("chapterStart")), QStringLiteral("0:30"));
        QVERIFY(item_in(QStringLiteral("chapter_2"), QStringLiteral("startError"))->property("text").toString().contains(QStringLiteral("previous chapter's start")));
        QTest::keyClick(window, Qt::Key_Escape); // the start it had, and no error
        QTRY_VERIFY(!item_in(QStringLiteral("chapter_2"), QStringLiteral("startError")));
        QCOMPARE(field_text("chapter_2", "chapterStart"), QStringLiteral("02:30.000"));

        // Finding openings by sound: these episodes are silent, so each says it found none.
        QMetaObject::invokeMethod(window->findChild<QObject *>(QStringLiteral("findAction")), "trigger");
        QObject *find = window->findChild<QObject *>(QStringLiteral("findDialog"));
        QTRY_VERIFY(find->property("opened").toBool());
        QTRY_VERIFY_WITH_TIMEOUT(!backend->detection()->detecting(), 60000);
        QTRY_COMPARE(item(QStringLiteral("findResults"))->property("count").toInt(), static_cast<int>(backend->file_names().size()));
        QVERIFY(!item(QStringLiteral("findApply"))->property("enabled").toBool());
        QCOMPARE(dialog_shows("findDialog"),
                 QStringLiteral("Find openings and endings | Close | Mark them all (off) | "
                                "The opening and ending each episode shares with the others. “Mark them all” names them Opening and Ending, with their skip types; save to keep them. | "
                                "full.mkv | Opening: none\nEnding: none\nChapters: nothing | "
                                "no opening found: its first part shares no 15–120 s stretch with another episode; no ending found: its last part shares no 15–450 s stretch with another episode | "
                                "editions.mkv | Opening: none\nEnding: none\nChapters: nothing | "
                                "no opening found: its first part shares no 15–120 s stretch with another episode; no ending found: its last part shares no 15–450 s stretch with another episode | "
                                "dropped.mkv | Opening: none\nEnding: none\nChapters: nothing | "
                                "no opening found: its first part shares no 15–120 s stretch with another episode; no ending found: its last part shares no 15–450 s stretch with another episode | "
                                "s01e01.mkv | Opening: none\nEnding: none\nChapters: nothing | "
                                "no opening found: its first part shares no 15–120 s stretch with another episode; no ending found: its last part shares no 15–450 s stretch with another episode | "
                                "s01e02.mkv | Opening: none\nEnding: none\nChapters: nothing"));
        click(item(QStringLiteral("findCancel")));
        QTRY_VERIFY(!find->property("visible").toBool());

        // Back as it was for the tests that follow.
        for (int i = static_cast<int>(backend->file_names().size()) - 1; i >= 0; --i) {
            backend->select_file(static_cast<quint64>(i));
            if (!before.contains(backend->active_file_name()))
                backend->history()->revert_file();
            if (i >= listed)
                backend->delete_file(static_cast<quint64>(i));
        }
        QCOMPARE(backend->history()->unsaved_files(), before);
        click(item(QStringLiteral("file_1")));
    }

    // Three episodes of the generated season, one of them without an opening: the other two
    // share theirs with one episode only, so they are doubtful, say why, and start unchecked.
    void openings_are_accepted_per_episode() {
        const int listed = static_cast<int>(backend->file_names().size());
        const QStringList before = backend->history()->unsaved_files();
        const int active = backend->active_row();
        QList<QUrl> urls;
        for (const char *name : {"e01.mkv", "e02.mkv", "e04.mkv"})
            urls << QUrl::fromLocalFile(qEnvironmentVariable("PERLANE_SEASON_DIR") + QLatin1Char('/') + QLatin1StringView(name));
        backend->files()->add_urls(urls);
        QTRY_COMPARE(backend->file_names().size(), listed + 3);
        QMetaObject::invokeMethod(window->findChild<QObject *>(QStringLiteral("findAction")), "trigger");
        // Listening takes seconds: from the start, a bar in the dialog shows how far it got.
        // (Nothing that ends it can arrive before the event loop runs again.)
        QVERIFY(backend->detection()->detecting());
        window->grabWindow();
        QQuickItem *progress = item(QStringLiteral("findProgress"));
        QVERIFY(progress && progress->isVisible() && progress->width() > 100 && progress->height() >= 4);
        QVERIFY(QRectF(0, 0, window->width(), window->height()).contains(progress->mapRectToScene(QRectF(0, 0, progress->width(), progress->height()))));
        QObject *find = window->findChild<QObject *>(QStringLiteral("findDialog"));
        QTRY_VERIFY(find->property("opened").toBool());
        QTRY_VERIFY_WITH_TIMEOUT(!backend->detection()->detecting(), 120000);
        QVERIFY(!progress->isVisible());
        QQuickItem *results = item(QStringLiteral("findResults"));
        QTRY_COMPARE(results->property("count").toInt(), listed + 3);
        auto row = [&](int i) {
            QMetaObject::invokeMethod(results, "positionViewAtIndex", Q_ARG(int, i), Q_ARG(int, 4 /* Contain */));
            window->grabWindow();
            return item(QStringLiteral("found_%1").arg(i));
        };
        for (int i : {listed, listed + 1}) {
            QQuickItem *doubt = find_item(row(i), QStringLiteral("suggestionDoubt"));
            QVERIFY(doubt);
            const QString says = doubt->property("text").toString();
            QVERIFY2(says.contains(QStringLiteral("opening: only one other episode shares it")), qPrintable(says));
            QCOMPARE(unreadable(doubt, says), QString());
            QQuickItem *box = find_item(row(i), QStringLiteral("acceptSuggestion"));
            QCOMPARE(unreadable(box, QStringLiteral("Mark")), QString());
            QVERIFY(!box->property("checked").toBool());
        }
        // What was found, and by how many other episodes, in words.
        const auto found = [&](int i) {
            QQuickItem *text = find_item(row(i), QStringLiteral("foundText"));
            QString says = text ? text->property("text").toString() : QString();
            const QString why = unreadable(text, says);
            return why.isEmpty() ? says.replace(QRegularExpression(QStringLiteral("\\d\\d:\\d\\d\\.\\d{3}")), QStringLiteral("mm:ss")) : why;
        };
        QCOMPARE(found(listed), QStringLiteral("Opening: mm:ss \u2013 mm:ss  (1 other episode agrees)\n"
                                               "Ending: mm:ss \u2013 mm:ss  (2 other episodes agree)\n"
                                               "Chapters: 2 splits; \u201CPart A\u201D starts after the opening"));
        QCOMPARE(found(listed + 2), QStringLiteral("Opening: none\nEnding: mm:ss \u2013 mm:ss  (2 other episodes agree)\n"
                                                   "Chapters: one split"));
        QQuickItem *sound = find_item(row(listed + 2), QStringLiteral("acceptSuggestion"));
        QVERIFY(sound->property("checked").toBool());
        QVERIFY(row(listed + 2) && !find_item(row(listed + 2), QStringLiteral("suggestionDoubt")));
        // Taken by the keyboard: Space on the first episode's box.
        choose(find_item(row(listed), QStringLiteral("acceptSuggestion")), Qt::Key_Space);
        QTRY_VERIFY(find_item(row(listed), QStringLiteral("acceptSuggestion"))->property("checked").toBool());
        QVERIFY(backend->detection()->suggestions()[listed].toMap()[QStringLiteral("accepted")].toBool());
        click(item(QStringLiteral("findApply")));
        QTRY_VERIFY(!find->property("visible").toBool());
        QCOMPARE(backend->history()->unsaved_files(), before + QStringList({"e01.mkv", "e04.mkv"}));
        // One Undo takes the marking back in every episode.
        click(item(QStringLiteral("file_%1").arg(listed + 2)));
        QVERIFY(backend->history()->can_undo());
        backend->history()->undo();
        QTRY_COMPARE(backend->history()->unsaved_files(), before);
        for (int i = 2; i >= 0; --i)
            backend->delete_file(static_cast<quint64>(listed + i));
        QTRY_COMPARE(backend->file_names().size(), listed);
        click(item(QStringLiteral("file_%1").arg(active)));
    }

    void closing_while_a_save_runs_waits_for_it() {
        const QByteArray path = qgetenv("PATH");
        QDir().mkpath(dir.filePath(QStringLiteral("slow")));
        QFile tool(dir.filePath(QStringLiteral("slow/mkvpropedit")));
        QVERIFY(tool.open(QIODevice::WriteOnly));
        tool.write("#!/bin/sh\nsleep 1\n");
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", dir.filePath(QStringLiteral("slow")).toUtf8() + ':' + path);
        // The second time the edit is undone while its save runs: nothing is unsaved, and
        // closing still waits.
        for (const bool undone : {false, true}) {
            type_into(item_in(QStringLiteral("track_0"), QStringLiteral("trackName")), undone ? QStringLiteral("Undone") : QStringLiteral("Slow"));
            click(item(QStringLiteral("saveButton")));
            QVERIFY(backend->saves()->saving());
            QTRY_VERIFY(item(QStringLiteral("statusLine"))->property("text").toString().startsWith(QStringLiteral("Saving")));
            if (undone) {
                click(item(QStringLiteral("undoButton")));
                QTRY_VERIFY(backend->history()->unsaved_files().isEmpty());
            }
            QVERIFY(!window->close());
            QTRY_COMPARE(item(QStringLiteral("statusLine"))->property("text").toString(),
                         QStringLiteral("Waiting for the save to finish before closing\u2026"));
            QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 20000);
            QVERIFY(!backend->saves()->saving());
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
        }
        qputenv("PATH", path);
    }

    void closing_with_unsaved_edits_asks_and_can_save_all_first() {
        type_into(item_in(QStringLiteral("track_1"), QStringLiteral("trackName")), QStringLiteral("Before quitting"));
        QTRY_VERIFY(backend->history()->active_modified());
        QObject *dialog = window->findChild<QObject *>(QStringLiteral("unsavedDialog"));
        QVERIFY(dialog);
        backend->select_file(0);
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Also unsaved")));
        backend->select_file(1);
        QVERIFY(!window->close()); // refused for now: a question instead
        QTRY_VERIFY(dialog->property("opened").toBool());
        QCOMPARE(dialog_shows("unsavedDialog"), QStringLiteral("Save All | Cancel | Discard | Unsaved changes | Save these files before closing? | "
                                                               "• full.mkv\n• editions.mkv"));
        QMetaObject::invokeMethod(dialog, "reject");
        QTRY_VERIFY(!dialog->property("visible").toBool());
        backend->select_file(0);
        backend->history()->undo();
        backend->select_file(1);
        QVERIFY(window->isVisible());
        // Opening other files asks the same question before anything is dropped.
        QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY(dialog->property("opened").toBool());
        QMetaObject::invokeMethod(dialog, "reject");
        QTRY_VERIFY(!dialog->property("visible").toBool());
        QCOMPARE(backend->history()->unsaved_files(), QStringList{"editions.mkv"});
        // Removing the file asks too. (Delete in a text field edits the text.)
        click(item(QStringLiteral("removeButton")));
        QObject *discard = window->findChild<QObject *>(QStringLiteral("discardDialog"));
        QTRY_VERIFY(discard->property("opened").toBool());
        QMetaObject::invokeMethod(discard, "reject");
        QCOMPARE(backend->file_names().size(), 3);
        // Save all failing (no mkvpropedit): the window stays, and says why where the eye goes.
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", dir.filePath(QStringLiteral("nowhere")).toUtf8());
        QVERIFY(!window->close());
        QTRY_VERIFY(dialog->property("opened").toBool());
        QMetaObject::invokeMethod(dialog, "accept");
        QTRY_VERIFY(item(QStringLiteral("saveErrorBanner")));
        const QString why = backend->saves()->save_status();
        QVERIFY2(why.startsWith(QStringLiteral("Could not save editions.mkv: mkvpropedit could not be started")), qPrintable(why));
        QCOMPARE(unreadable(item(QStringLiteral("saveErrorText")), why), QString());
        QCOMPARE(unreadable(item(QStringLiteral("statusLine")), why), QString());
        QCOMPARE(shows("saveErrorBanner"),
                 QStringLiteral("Could not save editions.mkv: mkvpropedit could not be started (No such file or directory). Is mkvtoolnix installed? | "
                                "Dismiss"));
        QCOMPARE(usable_commands(window),
                 QStringLiteral("&Open… | &Add… | &Remove | &Save | Save A&ll | &Undo | Re&vert File | &Quit | &Previous | &Next | "
                                "Show &Command… | Default by &Language… | Suggested &Flags… | &Chapter Names to All Files… | "
                                "Find Openings and &Endings… | Season &Overview…"));
        QVERIFY(window->isVisible());
        QTRY_VERIFY(!dialog->property("visible").toBool());
        click(item(QStringLiteral("dismissSaveError")));
        QTRY_VERIFY(!item(QStringLiteral("saveErrorBanner")));
        qputenv("PATH", path);
        // Save all, then the window closes.
        QVERIFY(!window->close());
        QTRY_VERIFY(dialog->property("opened").toBool());
        QMetaObject::invokeMethod(dialog, "accept");
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(read_back(dir.filePath(QStringLiteral("editions.mkv")))->tracks->track_entry.at(1).name->value,
                 std::string("Before quitting"));

        // Shown again with an edit: Discard closes the window and leaves the file as it was.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QString active = backend->active_document()->path();
        const auto title_before = read_back(active)->info.title;
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Never saved")));
        QVERIFY(!window->close());
        QTRY_VERIFY(dialog->property("opened").toBool());
        QMetaObject::invokeMethod(dialog, "discarded");
        QTRY_VERIFY(!window->isVisible());
        QVERIFY(read_back(active)->info.title == title_before);
    }

    // Open with unsaved edits, answered with Save All: once saved, the chosen files replace the list.
    void open_after_saving_all_replaces_the_list() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        backend->history()->revert_file(); // what the window was closed on, discarded
        QVERIFY(backend->history()->unsaved_files().isEmpty());
        // Typed and not yet committed: still an edit to save first.
        type_over(item(QStringLiteral("titleField")), QStringLiteral("Saved before opening"));
        QVERIFY(!backend->history()->active_modified());
        const QString saved = backend->active_document()->path();
        auto portal = bus.start_portal(QStringLiteral("answer"), dir.filePath(QStringLiteral("portal-calls-2")),
                                       {QStringLiteral("file://") + dir.filePath(QStringLiteral("full.mkv"))});
        QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
        QObject *dialog = window->findChild<QObject *>(QStringLiteral("unsavedDialog"));
        QTRY_VERIFY(dialog->property("opened").toBool());
        QMetaObject::invokeMethod(dialog, "accept");
        QTRY_COMPARE(backend->file_names(), QStringList{"full.mkv"});
        QTRY_COMPARE(shows("fileList"), QStringLiteral("full.mkv"));
        QCOMPARE(read_back(saved)->info.title->value, std::string("Saved before opening"));
        // What waited for the saves ran once: the next save opens no chooser.
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Saved later")));
        QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(!backend->history()->active_modified() && !backend->saves()->saving());
        const auto chooser_calls = [&] {
            QFile calls(dir.filePath(QStringLiteral("portal-calls-2")));
            return calls.open(QIODevice::ReadOnly) ? calls.readAll().count("\n--\n") : -1;
        };
        QCOMPARE(chooser_calls(), 1);
        // Answered with Discard, the same: the chooser opens at once, and not again at the next save.
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Thrown away")));
        QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY(dialog->property("opened").toBool());
        QMetaObject::invokeMethod(dialog, "discarded");
        QTRY_COMPARE(chooser_calls(), 2);
        QTRY_VERIFY(!dialog->property("visible").toBool());
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Saved at last")));
        QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(!backend->history()->active_modified() && !backend->saves()->saving());
        QCOMPARE(chooser_calls(), 2);
    }
};

QTEST_MAIN(TestUi)
#include "tst_ui.moc"
