// What the window draws, scene by scene, against the layout kept in tests/layout/: every text
// and control with its place, size and weight, every coloured area, where the keyboard is. A change
// in spacing, width, colour or focus that no other check names shows here as the lines that
// moved. After a change meant to alter the layout, rewrite the files with
// PERLANE_UPDATE_LAYOUT=1 and read their diff before committing it.
#include "app.h"
#include "backend.h"
#include "media_files.h"
#include "quick_items.h"

#include <QColor>
#include <QDir>
#include <QFont>
#include <QPointer>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTest>

#include <string_view>

using namespace perlane;

namespace {

// The Qt type an item is made from, without the names QML gives its own components.
QString kind_of(const QObject *o) {
    const QMetaObject *m = o->metaObject();
    while (m->superClass() && QByteArray(m->className()).contains("_QML"))
        m = m->superClass();
    return QString::fromLatin1(m->className()).remove(QStringLiteral("QQuick"));
}

QString rect_of(const QRectF &r) {
    return QStringLiteral("%1,%2 %3x%4").arg(qRound(r.x())).arg(qRound(r.y())).arg(qRound(r.width())).arg(qRound(r.height()));
}

// One line per item the user sees: texts, controls, images and filled areas, in the order
// they are painted.
// Scroll bars (they fade on their own clock) and tool tips (checked on their own) are left
// out, as are containers that draw nothing.
QStringList layout_of(QQuickItem *root, const QString &dir) {
    QQuickWindow *window = root->window();
    QStringList lines;
    QQuickItem *focus = window->activeFocusItem();
    const std::function<void(QQuickItem *, QRectF)> walk = [&](QQuickItem *item, QRectF seen) {
        if (!item->isVisible() || item->opacity() <= 0.0 || item->property("index") == QVariant(-1))
            return;
        if (item->inherits("QQuickScrollBar") || item->inherits("QQuickScrollIndicator")
            || (item->parent() && item->parent()->inherits("QQuickToolTip")))
            return;
        const QRectF r = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        if (!seen.intersects(r) && item->width() > 0 && item->height() > 0)
            return;
        const QString kind = kind_of(item);
        QString line;
        const bool texty = item->inherits("QQuickText") || item->inherits("QQuickTextInput") || item->inherits("QQuickTextEdit");
        if (texty || item->inherits("QQuickControl") || item->inherits("QQuickImage")) {
            QString text = item->property(item->inherits("QQuickComboBox") ? "displayText" : "text").toString();
            text.replace(dir, QStringLiteral("<dir>")).replace(u'\n', QStringLiteral("\\n"));
            line = kind + (item->objectName().isEmpty() ? QString() : u'#' + item->objectName()) + u' ' + rect_of(r);
            if (!text.isEmpty())
                line += QStringLiteral(" \"%1\"").arg(text);
            if (texty) {
                line += u' ' + item->property("color").value<QColor>().name(QColor::HexArgb);
                if (item->property("font").value<QFont>().bold())
                    line += QStringLiteral(" bold");
            }
            if (item->property("checked").toBool())
                line += QStringLiteral(" checked");
            if (!item->isEnabled())
                line += QStringLiteral(" off");
        } else if (item->inherits("QQuickRectangle") && r.width() >= 1 && r.height() >= 1) {
            const QColor fill = item->property("color").value<QColor>();
            // A border left as it comes (1 black) is not drawn unless set, and cannot be told apart.
            const QObject *pen = item->property("border").value<QObject *>();
            const int border = pen->property("width").toInt();
            const QColor edge = pen->property("color").value<QColor>();
            const bool drawn = border > 0 && edge.alpha() > 0 && (border != 1 || edge != Qt::black);
            if (fill.alpha() > 0 || drawn)
                line = kind + u' ' + rect_of(r) + u' ' + fill.name(QColor::HexArgb)
                    + (drawn ? QStringLiteral(" border %1 %2").arg(border).arg(edge.name(QColor::HexArgb)) : QString());
        }
        if (!line.isEmpty()) {
            if (item == focus)
                line += QStringLiteral(" FOCUS");
            lines << line;
        }
        if (item->clip())
            seen &= r;
        QList<QQuickItem *> children = item->childItems();
        if (item->parentItem() && item->parentItem()->inherits("QQuickItemView"))
            std::ranges::stable_sort(children, {}, [](QQuickItem *c) { return c->y(); });
        // Listed in the order they are painted, so what is drawn over what shows here too.
        std::ranges::stable_sort(children, {}, [](QQuickItem *c) { return c->z(); });
        for (QQuickItem *child : children)
            walk(child, seen);
    };
    walk(root, QRectF(0, 0, window->width(), window->height()));
    return lines;
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
    Backend *backend = nullptr;

    const QPoint rest{990, 690}; // where the mouse hovers nothing and opens no tool tip

    QQuickItem *item(const QString &name) { return find_item(window->contentItem(), name); }
    QObject *named(const QString &name) { return window->findChild<QObject *>(name); }

    void click(QQuickItem *on) {
        QVERIFY(on);
        window->grabWindow();
        QTest::mouseClick(window, Qt::LeftButton, {}, on->mapToScene({on->width() / 2, on->height() / 2}).toPoint());
        QTest::mouseMove(window, rest);
    }

    // The layer popups open in: a scene with one open is compared there alone, since the
    // window under it is the scene before.
    QQuickItem *overlay() {
        for (QQuickItem *i : window->contentItem()->childItems())
            if (i->inherits("QQuickOverlay"))
                return i;
        return nullptr;
    }

    QQuickItem *item_in_overlay(const QString &name) { return find_item(overlay(), name); }

    // Compares `part` (the whole window when none) as it is drawn now with the scene kept
    // under `name`.
    void compare_with(const QString &name, QQuickItem *part = nullptr) {
        window->grabWindow();
        compare_lines(name, layout_of(part ? part : window->contentItem(), dir.path()));
    }
    void compare_lines(const QString &name, const QStringList &now) {
        QFile kept(QStringLiteral(PERLANE_SOURCE_DIR "/tests/layout/") + name + QStringLiteral(".txt"));
        if (qEnvironmentVariableIsSet("PERLANE_UPDATE_LAYOUT")) {
            QVERIFY(kept.open(QIODevice::WriteOnly | QIODevice::Truncate));
            kept.write(now.join(u'\n').toUtf8() + '\n');
            return;
        }
        QVERIFY2(kept.open(QIODevice::ReadOnly), qPrintable(kept.fileName()));
        const QStringList was = QString::fromUtf8(kept.readAll()).split(u'\n', Qt::SkipEmptyParts);
        if (now == was)
            return;
        QStringList diff;
        for (const QString &l : was)
            if (!now.contains(l))
                diff << QStringLiteral("- ") + l;
        for (const QString &l : now)
            if (!was.contains(l))
                diff << QStringLiteral("+ ") + l;
        if (diff.isEmpty())
            diff << QStringLiteral("(the same lines in another order)");
        QFAIL(qPrintable(QStringLiteral("%1 differs from what is kept:\n").arg(name) + diff.mid(0, 30).join(u'\n')));
    }

    void open_popup(QObject *popup) {
        QVERIFY(popup);
        QTRY_VERIFY(popup->property("opened").toBool());
    }
    void close_popup(QObject *popup) {
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(!popup->property("visible").toBool());
    }
    void trigger(const QString &action, const QString &dialog) {
        QVERIFY(QMetaObject::invokeMethod(named(action), "trigger"));
        open_popup(named(dialog));
    }

private Q_SLOTS:
    void initTestCase() {
        perlane::Settings().store(QStringLiteral("size"), QSizeF(1000, 700));
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        engine = std::make_unique<QQmlApplicationEngine>();
        register_qml_types();
        engine->load(QStringLiteral(PERLANE_QML_DIR "/App.qml"));
        QCOMPARE(engine->rootObjects().size(), 1);
        window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
        backend = window->findChild<Backend *>(QStringLiteral("backend"));
        QVERIFY(backend);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->size(), QSize(1000, 700));
        QTest::mouseMove(window, rest);
        compare_with(QStringLiteral("empty"));
        backend->load_choices({copy_media(dir, QStringLiteral("full.mkv"), QStringLiteral("full.mkv")),
                               copy_media(dir, QStringLiteral("editions.mkv"), QStringLiteral("editions.mkv"))});
        QTRY_VERIFY(item(QStringLiteral("file_1")));
        QTRY_VERIFY(item(QStringLiteral("chapter_1")));
    }

    void the_window() {
        compare_with(QStringLiteral("window"));
        // Edited: the markers, the undo buttons and the chapter row's warning.
        backend->set_track_name(backend->track_edits()->active_title(), 2, QStringLiteral("Renamed"));
        backend->set_chapter_name(0, 1, QStringLiteral("Intro"));
        compare_with(QStringLiteral("window-edited"));
        backend->history()->revert_file();
        backend->select_file(1);
        QTRY_VERIFY(find_item(item(QStringLiteral("file_1")), QStringLiteral("fileLabel")));
        compare_with(QStringLiteral("window-second-file"));
        backend->select_file(0);
        window->resize(640, 480);
        QTRY_COMPARE(window->width(), 640);
        compare_with(QStringLiteral("window-narrow"));
        window->resize(1000, 700);
        QTRY_COMPARE(window->width(), 1000);
    }

    void the_menus() {
        for (const QString &title : {QStringLiteral("&File"), QStringLiteral("&Edit"), QStringLiteral("Se&ason"), QStringLiteral("&Go")}) {
            QObject *menu = nullptr;
            for (QObject *m : window->findChildren<QObject *>())
                if (m->inherits("QQuickMenu") && m->property("title").toString() == title)
                    menu = m;
            QVERIFY(QMetaObject::invokeMethod(menu, "open"));
            open_popup(menu);
            compare_with(QStringLiteral("menu-") + QString(title).remove(u'&').toLower(), overlay());
            close_popup(menu);
        }
        QQuickItem *more = find_item(item(QStringLiteral("chapter_1")), QStringLiteral("moreRoles"));
        click(more);
        QObject *roles = more->findChild<QObject *>();
        for (QObject *m : more->findChildren<QObject *>())
            if (m->inherits("QQuickMenu"))
                roles = m;
        open_popup(roles);
        compare_with(QStringLiteral("menu-chapter-roles"), overlay());
        close_popup(roles);
    }

    void the_track_popups() {
        QQuickItem *track = item(QStringLiteral("track_1"));
        click(find_item(track, QStringLiteral("trackFlags")));
        QObject *flags = track->findChild<QObject *>(QStringLiteral("flagsPopup"));
        open_popup(flags);
        compare_with(QStringLiteral("flags"), overlay());
        close_popup(flags);
        click(find_item(track, QStringLiteral("pickLanguage")));
        open_popup(named(QStringLiteral("languagePicker")));
        QTRY_VERIFY(item(QStringLiteral("languageSearch")));
        compare_with(QStringLiteral("language-picker"), overlay());
        close_popup(named(QStringLiteral("languagePicker")));
    }

    void the_dialogs() {
        for (const auto &[action, dialog] : {std::pair{"commandAction", "commandDialog"}, std::pair{"defaultAction", "defaultDialog"},
                                              std::pair{"suggestAction", "suggestionsDialog"}, std::pair{"chapterNamesAction", "previewDialog"},
                                              std::pair{"overviewAction", "overviewDialog"}}) {
            trigger(QString::fromLatin1(action), QString::fromLatin1(dialog));
            compare_with(QString::fromLatin1(dialog), overlay());
            if (dialog == std::string_view("suggestionsDialog")) { // and once one is accepted
                click(item_in_overlay(QStringLiteral("accept_commentary")));
                QTRY_VERIFY(item_in_overlay(QStringLiteral("suggestionDone")));
                compare_with(QStringLiteral("suggestionsDialog-accepted"), overlay());
                backend->history()->undo();
            }
            close_popup(named(QString::fromLatin1(dialog)));
        }
        trigger(QStringLiteral("findAction"), QStringLiteral("findDialog"));
        QTRY_VERIFY_WITH_TIMEOUT(!backend->detection()->detecting(), 60000);
        compare_with(QStringLiteral("findDialog"), overlay());
        QVERIFY(QMetaObject::invokeMethod(named(QStringLiteral("findDialog")), "reject"));
        QTRY_VERIFY(!named(QStringLiteral("findDialog"))->property("visible").toBool());
    }

    // The banners over the panes, and the questions asked before dropping edits.
    void the_banners_and_questions() {
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Edited")));
        click(item(QStringLiteral("removeButton")));
        open_popup(named(QStringLiteral("discardDialog")));
        compare_with(QStringLiteral("discardDialog"), overlay());
        close_popup(named(QStringLiteral("discardDialog")));
        window->close();
        open_popup(named(QStringLiteral("unsavedDialog")));
        compare_with(QStringLiteral("unsavedDialog"), overlay());
        close_popup(named(QStringLiteral("unsavedDialog")));

        // Another program changes the file.
        QCOMPARE(QProcess::execute(QStringLiteral("mkvpropedit"), {QStringLiteral("-q"), dir.filePath(QStringLiteral("full.mkv")),
                                                                  QStringLiteral("--edit"), QStringLiteral("info"),
                                                                  QStringLiteral("--set"), QStringLiteral("title=From elsewhere")}),
                 0);
        QTRY_VERIFY(item(QStringLiteral("diskBanner")));
        compare_with(QStringLiteral("window-changed-on-disk"));
        click(item(QStringLiteral("reloadButton")));
        open_popup(named(QStringLiteral("reloadDialog")));
        compare_with(QStringLiteral("reloadDialog"), overlay());
        QVERIFY(QMetaObject::invokeMethod(named(QStringLiteral("reloadDialog")), "discarded"));
        QTRY_VERIFY(!backend->saves()->changed_on_disk());

        // A save that fails, and files that cannot be opened.
        QVERIFY(backend->track_edits()->set_title(QStringLiteral("Edited")));
        const QByteArray path = qgetenv("PATH");
        stand_in_tool(dir, path, "echo 'Error: the file could not be opened for writing.'\nexit 2");
        backend->save_file();
        QTRY_VERIFY(item(QStringLiteral("saveErrorBanner")));
        qputenv("PATH", path);
        QFile text(dir.filePath(QStringLiteral("notes.mkv")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Shopping list: eggs, milk\n");
        text.close();
        backend->load_choices({text.fileName()});
        QTRY_VERIFY(item(QStringLiteral("errorText")));
        compare_with(QStringLiteral("window-banners"));
        backend->files()->dismiss_load_errors();
        backend->history()->revert_file();
    }

    // Every tool tip, shown by resting the mouse on its item: where it opens and what it says.
    void the_tool_tips() {
        // With a name too long for its field and an opening renamed so that players miss it, their own
        // tips come too.
        backend->set_track_name(backend->track_edits()->active_title(), 2, QStringLiteral("Stereo, the original Japanese mix of the broadcast as it was first aired on television, uncut and unchanged"));
        backend->set_chapter_name(0, 1, QStringLiteral("Theme song"));
        QVERIFY(backend->chapter_edits()->set_chapter_skip_type(0, 1, 1 /* opening credits */));
        // A start being typed wrong shows its reason, and no tip over it.
        QQuickItem *start = find_item(item(QStringLiteral("chapter_1")), QStringLiteral("chapterStart"));
        QVERIFY(start);
        click(start);
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        type_text(window, QStringLiteral("99:99"));
        QTRY_VERIFY(find_item(item(QStringLiteral("chapter_1")), QStringLiteral("startError"))); // found only when shown
        QStringList tips;
        const auto shown_tip = [&](QObject *attached) -> QString {
            auto *tip = attached->property("toolTip").value<QObject *>();
            if (!tip || !QTest::qWaitFor([&] { return tip->property("opened").toBool(); }))
                return QStringLiteral("not shown");
            auto *box = tip->property("contentItem").value<QQuickItem *>();
            const QRectF r = box->mapRectToScene(QRectF(0, 0, box->width(), box->height()));
            return rect_of(r) + QStringLiteral(" \"") + tip->property("text").toString() + u'"'
                + (unreadable(box, tip->property("text").toString()).isEmpty() ? QString() : QStringLiteral(" unreadable"));
        };
        // Guarded: after an earlier failure a delegate may go while the tips are visited.
        QList<QPointer<QQuickItem>> all{window->contentItem()};
        for (qsizetype i = 0; i < all.size(); ++i)
            for (QQuickItem *c : all[i]->childItems())
                if (c->isVisible() && c->property("index") != QVariant(-1))
                    all << c;
        for (QQuickItem *on : all) {
            if (!on)
                continue;
            QObject *attached = nullptr;
            for (QObject *o : on->children())
                if (o->inherits("QQuickToolTipAttached"))
                    attached = o;
            window->grabWindow();
            const QPointF centre = on->mapToScene({on->width() / 2, on->height() / 2});
            bool in_sight = QRectF(0, 0, window->width(), window->height()).contains(centre);
            for (QQuickItem *a = on->parentItem(); a; a = a->parentItem())
                in_sight = in_sight && (!a->clip() || a->mapRectToScene(QRectF(0, 0, a->width(), a->height())).contains(centre));
            if (!attached || !in_sight)
                continue;
            QTest::mouseMove(window, centre.toPoint());
            QString where = on->objectName();
            for (QQuickItem *p = on->parentItem(); p; p = p->parentItem())
                if (p->objectName().contains(u'_'))
                    where = p->objectName() + u'/' + where;
            // A tip about to show (after its delay) is already placed on its item.
            auto *tip = attached->property("toolTip").value<QObject *>();
            const bool coming = tip->property("parent").value<QQuickItem *>() == on;
            tips << where + QStringLiteral(": ") + (coming ? shown_tip(attached) : QStringLiteral("none"));
            QTest::mouseMove(window, rest);
            QTRY_VERIFY(!tip->property("visible").toBool());
        }
        start->forceActiveFocus();
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_COMPARE(start->property("text").toString(), QStringLiteral("00:10.000"));
        // A file's full name shows for the keyboard too.
        item(QStringLiteral("fileList"))->forceActiveFocus(Qt::TabFocusReason);
        QObject *attached = nullptr;
        for (QObject *o : item(QStringLiteral("file_0"))->children())
            if (o->inherits("QQuickToolTipAttached"))
                attached = o;
        QVERIFY(attached);
        tips << QStringLiteral("file_0 by keyboard: ") + shown_tip(attached);
        compare_lines(QStringLiteral("tool-tips"), tips);
        backend->history()->revert_file();
    }

    // A plan longer than its box scrolls inside it, clear of the words under it; and it is
    // made afresh at each opening (the dialog was open before these files came).
    void a_long_plan() {
        std::vector<Choice> more;
        for (int i = 1; i <= 10; ++i)
            more.push_back(copy_media(dir, QStringLiteral("full.mkv"), QStringLiteral("e%1.mkv").arg(i, 2, 10, QLatin1Char('0'))));
        backend->load_choices(more);
        QTRY_COMPARE(backend->file_names().size(), 12);
        trigger(QStringLiteral("defaultAction"), QStringLiteral("defaultDialog"));
        compare_with(QStringLiteral("defaultDialog-long"), overlay());
        close_popup(named(QStringLiteral("defaultDialog")));
    }

    void cleanupTestCase() { engine.reset(); }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
