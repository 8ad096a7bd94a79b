// The real App.qml at scale 2 in a 1024x700 window (QT_SCALE_FACTOR=2 from the test's
// environment): nothing cut off, the Tab order, accessible names that name their row, and
// plain words for files that cannot be opened or are cut short.
#include "app.h"
#include "backend.h"
#include "media_files.h"
#include "quick_items.h"

#include <QAccessible>
#include <QFile>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

using namespace perlane;

namespace {

// The visible controls under `root` (buttons, fields, boxes), in item order.
void controls(QQuickItem *root, QList<QQuickItem *> &out) {
    for (QQuickItem *child : root->childItems()) {
        if (!child->isVisible())
            continue;
        if (child->inherits("QQuickAbstractButton") || child->inherits("QQuickTextField") || child->inherits("QQuickTextArea") ||
            child->inherits("QQuickComboBox"))
            out << child;
        else
            controls(child, out);
    }
}

// What a screen reader says for each control under `root`: its name, or a button's text.
QStringList spoken_names(QQuickItem *root) {
    QList<QQuickItem *> found;
    controls(root, found);
    QStringList names;
    for (QQuickItem *c : found)
        names << (accessible_name(c).isEmpty() && c->inherits("QQuickAbstractButton") ? c->property("text").toString() : accessible_name(c));
    return names;
}

} // namespace

class TestUiScale : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
    Backend *backend = nullptr;
    QRect opened, room;
    QSize minimum;
    bool page_scrolls = false;
    QStringList toolbar_cut; // toolbar buttons the user could not read or reach at that size

    QQuickItem *item(const QString &name) { return find_item(window->contentItem(), name); }

private Q_SLOTS:
    void initTestCase() {
        QCOMPARE(qgetenv("QT_SCALE_FACTOR"), QByteArray("2"));
        // A file cut short (its clusters end early), and one that is no Matroska file.
        QFile full(media("full.mkv")), cut(dir.filePath(QStringLiteral("cut.mkv"))), text(dir.filePath(QStringLiteral("notes.mkv")));
        QVERIFY(full.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly) && text.open(QIODevice::WriteOnly));
        cut.write(full.read(full.size() * 3 / 5));
        text.write("Shopping list: eggs, milk\n");
        cut.close();
        text.close();

        // A size kept from a larger screen.
        perlane::Settings().store(QStringLiteral("size"), QSizeF(1600, 981));

        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        engine = std::make_unique<QQmlApplicationEngine>();
        register_qml_types();
        engine->load(QStringLiteral(PERLANE_QML_DIR "/App.qml"));
        QCOMPARE(engine->rootObjects().size(), 1);
        window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
        backend = window->findChild<Backend *>(QStringLiteral("backend"));
        QVERIFY(backend);
        QTRY_VERIFY(window->isExposed());
        opened = window->geometry();
        minimum = window->minimumSize();
        room = window->screen()->availableGeometry();
        page_scrolls = item(QStringLiteral("page"))->property("interactive").toBool();
        window->grabWindow();
        for (const char *name : {"openButton", "addButton", "removeButton", "prevButton", "nextButton", "saveButton",
                                 "saveAllButton", "undoButton", "redoButton"}) {
            QQuickItem *button = item(QString::fromLatin1(name));
            if (const QString why = unreadable(button, button ? button->property("text").toString() : QString()); !why.isEmpty())
                toolbar_cut << QString::fromLatin1(name) + QStringLiteral(": ") + why;
        }
        // The rest is checked in a window as large as the layout is made for.
        window->resize(1024, 700);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->devicePixelRatio(), 2.0);
        backend->load_choices({media("full.mkv"), cut.fileName(), text.fileName()});
        QTRY_VERIFY(find_item(window->contentItem(), QStringLiteral("file_1")));
    }

    // The screen has room for 512x350 at this scale: the window opens within it, whatever
    // size was kept, asks for no more, and its content scrolls instead.
    void the_window_fits_a_small_screen() {
        QCOMPARE(room, QRect(0, 0, 512, 350));
        QVERIFY2(minimum.width() <= room.width() && minimum.height() <= room.height(),
                 qPrintable(QStringLiteral("minimum %1x%2").arg(minimum.width()).arg(minimum.height())));
        QVERIFY2(room.contains(opened), qPrintable(QStringLiteral("opened at %1,%2 %3x%4").arg(opened.x()).arg(opened.y())
                                                    .arg(opened.width()).arg(opened.height())));
        QVERIFY(page_scrolls);

        QVERIFY2(toolbar_cut.isEmpty(), qPrintable(toolbar_cut.join(QLatin1Char('\n'))));
    }

    void plain_words_for_files_that_cannot_be_opened() {
        QTRY_VERIFY(item(QStringLiteral("errorText")));
        QCOMPARE(item(QStringLiteral("errorText"))->property("text").toString(),
                 QStringLiteral("Could not open:\nnotes.mkv: This is not a Matroska file."));
        QVERIFY(!item(QStringLiteral("errorDetails")));
        window->grabWindow();
        QTest::mouseClick(window, Qt::LeftButton, {}, item(QStringLiteral("detailsButton"))->mapToScene({5, 5}).toPoint());
        QTRY_VERIFY(item(QStringLiteral("errorDetails")));
        QVERIFY(item(QStringLiteral("errorDetails"))->property("text").toString().startsWith(QStringLiteral("notes.mkv: ")));
        backend->files()->dismiss_load_errors();

        // However long a name, its details wrap inside the window.
        const QString long_name = dir.filePath(QString(150, u'n') + QStringLiteral(".mkv"));
        QVERIFY(QFile::copy(dir.filePath(QStringLiteral("notes.mkv")), long_name));
        backend->load_choices({long_name});
        QTRY_VERIFY(item(QStringLiteral("detailsButton")));
        window->grabWindow();
        if (!item(QStringLiteral("errorDetails")))
            QTest::mouseClick(window, Qt::LeftButton, {}, item(QStringLiteral("detailsButton"))->mapToScene({5, 5}).toPoint());
        QTRY_VERIFY(item(QStringLiteral("errorDetails")));
        window->grabWindow();
        for (QQuickItem *words : {item(QStringLiteral("errorText")), item(QStringLiteral("errorDetails"))}) {
            const QString shown = words->property("text").toString();
            QVERIFY(shown.contains(QString(150, u'n')));
            QVERIFY2(unreadable(words, shown).isEmpty(), qPrintable(unreadable(words, shown)));
            QCOMPARE(runs_over(words), QString());
        }
        backend->files()->dismiss_load_errors();
    }

    void a_file_cut_short_opens_with_a_warning() {
        QVERIFY(!item(QStringLiteral("warningBanner"))); // full.mkv is whole
        backend->select_file(1);
        QTRY_VERIFY(item(QStringLiteral("warningBanner")));
        QCOMPARE(usable_commands(window),
                 QStringLiteral("&Open… | &Add… | &Remove | &Save | &Quit | &Previous | Show &Command… | Default by &Language… | "
                                "Suggested &Flags… | &Chapter Names to All Files… | Find Openings and &Endings… | Season &Overview…"));
        QQuickItem *warning = item(QStringLiteral("warningText"));
        QVERIFY2(warning->property("text").toString().contains(QStringLiteral("cut short")), qPrintable(warning->property("text").toString()));
        // Its words wrap inside the window, each line within the banner.
        window->grabWindow();
        QCOMPARE(unreadable(warning, warning->property("text").toString()), QString());
        QCOMPARE(runs_over(warning), QString());
        backend->select_file(0);
        QTRY_VERIFY(!item(QStringLiteral("warningBanner")));
        // With nothing saved yet, the status bar says how many files are open.
        QTRY_COMPARE(unreadable(item(QStringLiteral("statusLine")), QStringLiteral("2 files open")), QString());
        backend->delete_file(1);
        QTRY_COMPARE(unreadable(item(QStringLiteral("statusLine")), QStringLiteral("1 file open")), QString());
        QCOMPARE(usable_commands(window),
                 QStringLiteral("&Open… | &Add… | &Remove | &Save | &Quit | Show &Command… | Default by &Language… | "
                                "Suggested &Flags… | Season &Overview…"));
        backend->set_track_name(backend->track_edits()->active_title(), 2, QStringLiteral("Alone"));
        QCOMPARE(shown_line(item(QStringLiteral("track_1"))),
                 QStringLiteral("#2 | Audio | Alone | [ ] Default | ja | … | Japanese | Flags…"));
        backend->history()->undo();
        // Default by language for this one file, then for a language picked from all of them.
        QObject *dialog = window->findChild<QObject *>(QStringLiteral("defaultDialog"));
        QMetaObject::invokeMethod(window->findChild<QObject *>(QStringLiteral("defaultAction")), "trigger");
        QTRY_VERIFY(dialog->property("opened").toBool());
        QQuickItem *shown = dialog->property("contentItem").value<QQuickItem *>();
        QCOMPARE(shown_line(shown),
                 QStringLiteral("In every open file, the first track of this type in this language becomes the default one, and the other tracks of this type stop being default. | "
                                "Audio | Japanese — ja | 2 changes in 1 file: | full.mkv — #2 Audio — default: no → yes | "
                                "full.mkv — #3 Audio — default: yes → no"));
        QQuickItem *language = find_item(shown, QStringLiteral("defaultLanguage"));
        QVERIFY(QMetaObject::invokeMethod(language, "forceActiveFocus"));
        QTRY_VERIFY(language->hasActiveFocus());
        QTest::keyClick(window, Qt::Key_Down);
        QTest::keyClick(window, Qt::Key_Down); // "Other language…"
        QTRY_VERIFY(item(QStringLiteral("languageSearch")));
        type_text(window, QStringLiteral("french"));
        QTest::keyClick(window, Qt::Key_Return);
        QTRY_VERIFY(!item(QStringLiteral("languageSearch")));
        QCOMPARE(shown_line(shown),
                 QStringLiteral("In every open file, the first track of this type in this language becomes the default one, and the other tracks of this type stop being default. | "
                                "Audio | French — fre | No open file has an audio track in French. | "
                                "Skipped:\n• full.mkv: it has no audio track in French"));
        // A language with a long name, in a small window: the refusal wraps within the dialog.
        window->resize(512, 350);
        const auto restore = qScopeGuard([&] { // also after a failed check, for the tests that follow
            QMetaObject::invokeMethod(dialog, "reject");
            window->resize(1024, 700);
        });
        QTRY_COMPARE(window->width(), 512);
        QVERIFY(QMetaObject::invokeMethod(language, "forceActiveFocus"));
        QTRY_VERIFY(language->hasActiveFocus());
        QTest::keyClick(window, Qt::Key_Down); // "Other language…" again
        QTRY_VERIFY(item(QStringLiteral("languageSearch")));
        type_text(window, QStringLiteral("interlingua"));
        QTest::keyClick(window, Qt::Key_Return);
        QTRY_VERIFY(!item(QStringLiteral("languageSearch")));
        QQuickItem *summary = find_item(shown, QStringLiteral("planSummary"));
        QVERIFY(summary);
        QTRY_COMPARE(summary->property("text").toString(),
                     QStringLiteral("No open file has an audio track in Interlingua (International Auxiliary Language Association)."));
        QTRY_COMPARE(runs_over(summary), QString());
        QCOMPARE(unreadable(summary, summary->property("text").toString()), QString());
        QMetaObject::invokeMethod(dialog, "reject");
        QTRY_VERIFY(!dialog->property("visible").toBool());
        window->resize(1024, 700);
        QTRY_COMPARE(window->width(), 1024);
    }

    void every_button_of_a_chapter_row_can_be_reached() {
        auto *list = item(QStringLiteral("chapterList"));
        QVERIFY(list);
        QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, 0), Q_ARG(int, 1 /* Beginning */));
        // The list lays itself out after the move: wait until its first row is in the window.
        QQuickItem *row = nullptr;
        QRectF shown;
        QTRY_VERIFY([&] {
            row = item(QStringLiteral("chapter_0"));
            shown = list->mapRectToScene(QRectF(0, 0, list->width(), list->height())).intersected(QRectF(0, 0, window->width(), window->height()));
            return row && shown.intersects(row->mapRectToScene(QRectF(0, 0, row->width(), row->height())));
        }());
        QList<QQuickItem *> found;
        controls(row, found);
        QVERIFY(found.size() >= 9);
        // Each inside the view and its own row's frame, none drawn over another.
        const QRectF frame = row->mapRectToScene(QRectF(0, 0, row->width(), row->height()));
        QList<QRectF> placed;
        for (QQuickItem *c : found) {
            const QRectF r = c->mapRectToScene(QRectF(0, 0, c->width(), c->height()));
            QVERIFY2(shown.contains(r) && frame.contains(r), qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 outside %6x%7 or its row (%8 wide)")
                                                       .arg(accessible_name(c)).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                                                       .arg(shown.width()).arg(shown.height()).arg(frame.width())));
            for (const QRectF &other : placed)
                QVERIFY2(!r.intersects(other), qPrintable(accessible_name(c) + QStringLiteral(" overlaps another control")));
            placed << r;
        }
    }

    void tab_visits_the_files_then_the_tracks_then_the_chapters() {
        QQuickItem *files = item(QStringLiteral("fileList"));
        files->forceActiveFocus(Qt::TabFocusReason);
        QStringList seen;
        for (int i = 0; i < 60; ++i) {
            QQuickItem *now = window->activeFocusItem();
            QString where;
            for (QQuickItem *p = now; p; p = p->parentItem())
                if (p->objectName() == QStringLiteral("fileList")) {
                    now = p;
                    break;
                } else if (p->objectName().startsWith(QStringLiteral("track_")) || p->objectName().startsWith(QStringLiteral("chapter_"))) {
                    where = p->objectName() + QLatin1Char('/');
                    break;
                }
            seen << where + (now ? now->objectName() : QString());
            QTest::keyClick(window, Qt::Key_Tab);
        }
        const auto first = [&](const QString &name) { return seen.indexOf(name); };
        QCOMPARE(seen.first(), QStringLiteral("fileList"));
        QVERIFY2(first(QStringLiteral("track_0/trackName")) > 0, qPrintable(seen.join(u' ')));
        QVERIFY(first(QStringLiteral("track_0/trackName")) < first(QStringLiteral("track_0/trackDefault")));
        QVERIFY(first(QStringLiteral("track_0/trackDefault")) < first(QStringLiteral("track_0/trackLanguage")));
        QVERIFY(first(QStringLiteral("track_0/trackLanguage")) < first(QStringLiteral("track_1/trackName")));
        QVERIFY(first(QStringLiteral("track_2/trackName")) < first(QStringLiteral("chapter_0/chapterName")));
        QVERIFY2(first(QStringLiteral("chapter_0/chapterName")) < first(QStringLiteral("chapter_0/chapterStart")), qPrintable(seen.join(u' ')));
        QVERIFY(first(QStringLiteral("chapter_0/chapterStart")) < first(QStringLiteral("chapter_1/chapterName")));
        // Passing through the fields changes nothing and says nothing.
        QVERIFY(!backend->history()->active_modified());
        QCOMPARE(unreadable(item(QStringLiteral("statusLine")), QStringLiteral("1 file open")), QString());
    }

    void every_control_says_which_row_it_belongs_to() {
        for (const auto &[row, says] : {std::pair{"track_1", "track 2, Audio, Japanese"}, std::pair{"chapter_1", "chapter 2, Opening"}}) {
            QList<QQuickItem *> found;
            controls(item(QString::fromLatin1(row)), found);
            QStringList names;
            for (QQuickItem *c : found)
                names << accessible_name(c);
            QVERIFY2(names.size() >= 5, qPrintable(names.join(u'|')));
            QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
            for (const QString &n : names)
                QVERIFY2(n.contains(QLatin1StringView(says)), qPrintable(n));
        }
        // The likely opening is said in words, not only shown in colour.
        QQuickItem *length = find_item(item(QStringLiteral("chapter_1")), QStringLiteral("chapterLength"));
        QVERIFY(length->property("text").toString().endsWith(QStringLiteral("\u2248 90 s")));
        QVERIFY(accessible_name(length).contains(QStringLiteral("about 90 seconds")));
    }

    // The outcome of a save is in sight at scale 2 too: a failure in the banner and the
    // status bar, with the tool's own words one click away.
    void a_failed_save_is_in_sight() {
        backend->select_file(0);
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Renamed")));
        QTemporaryDir failing;
        const QByteArray path = qgetenv("PATH");
        stand_in_tool(failing, path, "echo 'The file is being analyzed.'\necho '/media/library/Some.Show.S01E01.1080p.WEB-DL.x264-GROUP.mkv'\n"
                                     "echo 'Error: the file could not be opened for writing.'\nexit 2");
        backend->save_file();
        QTRY_VERIFY(!backend->saves()->saving());
        qputenv("PATH", path);
        const QString why = backend->saves()->save_status();
        QVERIFY2(why.startsWith(QStringLiteral("Saving full.mkv failed: Error: the file could not be opened for writing.")), qPrintable(why));
        QTRY_COMPARE(unreadable(item(QStringLiteral("saveErrorText")), why), QString());
        QCOMPARE(unreadable(item(QStringLiteral("statusLine")), why), QString());
        click_centre(item(QStringLiteral("toolOutputButton"))); // lays out the banner that just appeared first
        QTRY_VERIFY(item(QStringLiteral("toolOutput")));
        const QString output = QStringLiteral("The file is being analyzed.\n/media/library/Some.Show.S01E01.1080p.WEB-DL.x264-GROUP.mkv\n"
                                              "Error: the file could not be opened for writing.");
        QCOMPARE(unreadable(item(QStringLiteral("toolOutput")), output), QString());
        // On the small screen too: the banner's words wrap, the status line ends in "…".
        window->resize(512, 350);
        QTRY_COMPARE(window->width(), 512);
        QTRY_COMPARE(unreadable(item(QStringLiteral("saveErrorText")), why), QString());
        QCOMPARE(unreadable(item(QStringLiteral("statusLine")), why), QString());
        QVERIFY(item(QStringLiteral("statusLine"))->property("truncated").toBool());
        QTRY_COMPARE(runs_over(item(QStringLiteral("toolOutput"))), QString()); // a long path wraps anywhere
        QCOMPARE(unreadable(item(QStringLiteral("toolOutput")), output), QString());
        // The page scrolls under the bars: nothing of it is drawn over the status bar.
        QQuickItem *bar = item(QStringLiteral("statusBar"));
        const QStringList over = shown_texts(item(QStringLiteral("page")), bar->mapRectToScene(QRectF(0, 0, bar->width(), bar->height())));
        QVERIFY2(over.isEmpty(), qPrintable(over.join(QLatin1Char('\n'))));
        window->resize(1024, 700);
        QTRY_COMPARE(window->width(), 1024);
        // Dismissed, and the next failure shows its words again with the output one click away.
        click_centre(item(QStringLiteral("dismissSaveError")));
        QTRY_VERIFY(!item(QStringLiteral("saveErrorBanner")));
        stand_in_tool(failing, path, "echo 'Error: still not writable.'\nexit 2");
        backend->save_file();
        QTRY_VERIFY(!backend->saves()->saving());
        qputenv("PATH", path);
        QTRY_VERIFY(item(QStringLiteral("saveErrorBanner")));
        QCOMPARE(unreadable(item(QStringLiteral("toolOutputButton")), QStringLiteral("Tool output")), QString());
        QVERIFY(!item(QStringLiteral("toolOutput")));
        click_centre(item(QStringLiteral("dismissSaveError")));
        QTRY_VERIFY(!item(QStringLiteral("saveErrorBanner")));
        backend->history()->revert_file();
    }

    // A chapter time that is not one, in the small window: its reason wraps within the add bar,
    // which can be scrolled to even below a banner about files that could not be added.
    void a_wrong_time_is_said_within_the_add_bar() {
        backend->select_file(0);
        QQuickItem *page = item(QStringLiteral("page"));
        QVERIFY(page);
        backend->files()->add_urls({QUrl::fromLocalFile(dir.filePath(QStringLiteral("notes.mkv")))});
        window->resize(512, 350);
        const auto restore = qScopeGuard([&] {
            backend->files()->dismiss_load_errors();
            page->setProperty("contentX", 0);
            page->setProperty("contentY", 0);
            window->resize(1024, 700);
        });
        QTRY_VERIFY(item(QStringLiteral("errorBanner")));
        QTRY_COMPARE(window->width(), 512);
        QQuickItem *time = item(QStringLiteral("addTime"));
        QVERIFY(time);
        QVERIFY(QMetaObject::invokeMethod(time, "forceActiveFocus"));
        QTRY_VERIFY(time->hasActiveFocus());
        type_text(window, QStringLiteral("soon"));
        QTRY_VERIFY(item(QStringLiteral("addError")));
        QQuickItem *error = item(QStringLiteral("addError")), *bar = item(QStringLiteral("addBar"));
        const QString why = QStringLiteral("\u201Csoon\u201D is not a time: write mm:ss.fff or h:mm:ss.fff, for example 01:30.000.");
        // Scrolled to, as the user would: the page is wider and taller than this window. The bar
        // moves while the error row is laid out, so the scroll follows it.
        const auto scrolled_to_error = [&] {
            const QRectF at = bar->mapRectToItem(page->property("contentItem").value<QQuickItem *>(), QRectF(0, 0, bar->width(), bar->height()));
            page->setProperty("contentX", std::min(at.x(), page->property("contentWidth").toReal() - page->width()));
            page->setProperty("contentY", std::min(at.y(), page->property("contentHeight").toReal() - page->height()));
            return unreadable(error, why);
        };
        QTRY_COMPARE(scrolled_to_error(), QString());
        QCOMPARE(runs_over(error), QString());
        QVERIFY(bar->mapRectToScene(QRectF(0, 0, bar->width(), bar->height()))
                    .contains(error->mapRectToScene(QRectF(0, 0, error->width(), error->height()))));
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(window, Qt::Key_Delete);
        QTRY_VERIFY(!item(QStringLiteral("addError")));
    }

    // In the window too, each control a screen reader reaches has a name of its own.
    void every_control_of_the_window_has_a_name_of_its_own() {
        window->grabWindow();
        const QStringList names = spoken_names(window->contentItem());
        QVERIFY(names.size() > 20);
        QStringList twice;
        for (const QString &n : names)
            if (n.isEmpty() || names.count(n) > 1)
                twice << n;
        QVERIFY2(twice.isEmpty(), qPrintable(twice.join(u'|')));
    }

    // On the small screen every dialog lies inside the window, and each of its controls has
    // a name of its own for a screen reader.
    void every_dialog_fits_a_small_window() {
        window->resize(512, 350);
        QTRY_COMPARE(window->width(), 512);
        const QRectF inside(0, 0, window->width(), window->height());
        for (const char *name : {"discardDialog", "unsavedDialog", "reloadDialog", "previewDialog", "defaultDialog",
                                 "suggestionsDialog", "overviewDialog", "findDialog", "commandDialog"}) {
            QObject *dialog = window->findChild<QObject *>(QLatin1StringView(name));
            QVERIFY2(dialog, name);
            QMetaObject::invokeMethod(dialog, "open");
            QTRY_VERIFY2(dialog->property("opened").toBool(), name);
            window->grabWindow();
            QQuickItem *content = dialog->property("contentItem").value<QQuickItem *>(), *frame = content->parentItem();
            const QRectF at = frame->mapRectToScene(QRectF(0, 0, frame->width(), frame->height()));
            QVERIFY2(inside.contains(at), qPrintable(QStringLiteral("%1 at %2,%3 %4x%5").arg(QLatin1StringView(name))
                                                        .arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height())));
            const QStringList names = spoken_names(content);
            QVERIFY2(!names.contains(QString()) && QSet<QString>(names.begin(), names.end()).size() == names.size(),
                     qPrintable(QLatin1StringView(name) + QLatin1Char(' ') + names.join(u'|')));
            QMetaObject::invokeMethod(dialog, "close");
            QTRY_VERIFY2(!dialog->property("visible").toBool(), name);
        }
        window->resize(1024, 700);
        QTRY_COMPARE(window->width(), 1024);
    }

    void the_layout_is_kept_for_the_next_start() {
        // The file list widened by dragging its edge (the splitter's thin handle right after it).
        QQuickItem *files = item(QStringLiteral("fileList"));
        const qreal was = files->width();
        const QPoint edge = files->mapToScene({files->width() + 1, files->height() / 2}).toPoint(), to = edge + QPoint(60, 0);
        QTest::mouseMove(window, edge); // the handle takes the press it is hovered by
        QTest::mousePress(window, Qt::LeftButton, {}, edge);
        QTest::mouseMove(window, edge + QPoint(30, 0));
        QTest::mouseMove(window, to);
        QTest::mouseRelease(window, Qt::LeftButton, {}, to);
        QTRY_VERIFY2(files->width() > was + 40, qPrintable(QString::number(files->width())));
        QMetaObject::invokeMethod(window, "keepLayout");
        QCOMPARE(backend->settings()->stored(QStringLiteral("size")).toSize(), QSize(1024, 700));

        // The next window opens with the list as wide as it was left.
        QQmlApplicationEngine next;
        next.load(QStringLiteral(PERLANE_QML_DIR "/App.qml"));
        QCOMPARE(next.rootObjects().size(), 1);
        auto *again = qobject_cast<QQuickWindow *>(next.rootObjects().first());
        again->findChild<Backend *>(QStringLiteral("backend"))->load_choices({media("full.mkv")});
        QTRY_VERIFY(find_item(again->contentItem(), QStringLiteral("file_0")));
        QQuickItem *kept = find_item(again->contentItem(), QStringLiteral("fileList"));
        QTRY_COMPARE(kept->width(), files->width());
    }

    // More files than the list has room for: the one the keys open is scrolled into sight.
    void the_active_file_is_kept_in_sight() {
        const quint64 first = static_cast<quint64>(backend->file_names().size());
        std::vector<Choice> more;
        for (int i = 0; i < 20; ++i) {
            const QString copy = dir.filePath(QStringLiteral("more %1.mkv").arg(i));
            QVERIFY(QFile::copy(media("full.mkv"), copy));
            more.push_back(copy);
        }
        backend->load_choices(more);
        window->resize(1024, 450);
        const auto restore = qScopeGuard([&] {
            while (static_cast<quint64>(backend->file_names().size()) > first)
                backend->delete_file(first);
            backend->select_file(0);
            window->resize(1024, 700);
        });
        const auto label = [&](quint64 row) {
            QQuickItem *entry = item(QStringLiteral("file_%1").arg(row));
            return entry ? find_item(entry, QStringLiteral("fileLabel")) : nullptr;
        };
        QQuickItem *files = item(QStringLiteral("fileList"));
        QTRY_VERIFY2(files->property("contentHeight").toReal() > files->height() * 1.2,
                     qPrintable(QStringLiteral("the rows take %1 of %2").arg(files->property("contentHeight").toReal()).arg(files->height())));
        files->forceActiveFocus(Qt::TabFocusReason);
        QTest::keyClick(window, Qt::Key_End);
        QTRY_COMPARE(unreadable(label(first + more.size() - 1), QStringLiteral("more 19.mkv")), QString());
        QTest::keyClick(window, Qt::Key_Home);
        QTRY_COMPARE(unreadable(label(0), QStringLiteral("full.mkv")), QString());
    }

    // Wide enough but too short: the wheel still scrolls the page down to what is cut off.
    void a_window_too_short_scrolls_with_the_wheel() {
        QQuickItem *page = item(QStringLiteral("page")), *title = item(QStringLiteral("titleField"));
        QVERIFY(page && title);
        window->resize(1024, 260);
        const auto restore = qScopeGuard([&] {
            page->setProperty("contentY", 0);
            window->resize(1024, 700);
            QTRY_COMPARE(page->height(), page->property("contentHeight").toReal());
        });
        QTRY_COMPARE(page->width(), 1024.0);
        QTRY_VERIFY(page->property("contentHeight").toReal() > page->height());
        QCOMPARE(page->property("contentWidth").toReal(), page->width());
        const QPointF at = title->mapToScene(QPointF(title->width() / 2, title->height() / 2));
        QWheelEvent wheel(at, window->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window, &wheel);
        QTRY_VERIFY(page->property("contentY").toReal() > 0);
    }

    void cleanupTestCase() { engine.reset(); }
};

QTEST_MAIN(TestUiScale)
#include "tst_ui_scale.moc"
