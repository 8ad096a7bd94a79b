#pragma once
// Finding the window's items the way the tests that drive App.qml need.
#include <QQuickItem>

// The first visible item named `name` under `root` (itself included).
inline QQuickItem *find_item(QQuickItem *root, const QString &name) {
    if (!root)
        return nullptr;
    if (root->objectName() == name && root->isVisible())
        return root;
    for (QQuickItem *child : root->childItems())
        if (QQuickItem *found = find_item(child, name))
            return found;
    return nullptr;
}

#include <QAccessible>
#include <QFontMetricsF>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QQuickWindow>
#include <QTest>

#include <cmath>
#include <optional>

// Why a user would not read `text` on `item`; empty when they would: the item is shown,
// lies inside the window and every view that clips it, is at least one line of its font
// high and shows that text.
inline QString unreadable(QQuickItem *item, const QString &text) {
    if (!item)
        return QStringLiteral("no such item is visible");
    if (!item->isVisible() || item->opacity() <= 0.0)
        return QStringLiteral("%1 is hidden").arg(item->objectName());
    const QRectF r = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    const QRectF window(0, 0, item->window()->width(), item->window()->height());
    if (!window.contains(r))
        return QStringLiteral("%1 at %2,%3 %4x%5 is not inside the %6x%7 window")
            .arg(item->objectName()).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).arg(window.width()).arg(window.height());
    for (QQuickItem *a = item->parentItem(); a; a = a->parentItem()) {
        const QRectF view = a->mapRectToScene(QRectF(0, 0, a->width(), a->height()));
        if (a->clip() && !view.contains(r))
            return QStringLiteral("%1 is cut off by %2").arg(item->objectName(), a->objectName());
    }
    const QFontMetricsF font(item->property("font").value<QFont>());
    if (item->height() + 0.5 < font.height())
        return QStringLiteral("%1 is %2 high, less than a line (%3)").arg(item->objectName()).arg(item->height()).arg(font.height());
    if (item->property("text").toString() != text)
        return QStringLiteral("%1 shows \u201C%2\u201D").arg(item->objectName(), item->property("text").toString());
    return {};
}

// How a text runs past its own width (it neither wraps nor is elided there); empty when it
// stays within it.
inline QString runs_over(QQuickItem *text) {
    const qreal wide = text->property("contentWidth").toReal();
    return wide <= text->width() + 0.5 ? QString() : QStringLiteral("%1 is %2 wide in %3").arg(text->objectName()).arg(wide).arg(text->width());
}

// What a screen reader says for `item`.
inline QString accessible_name(QQuickItem *item) {
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(item);
    return a ? a->text(QAccessible::Name) : QString();
}

#include <algorithm>
#include <functional>

// What the window shows, one line per item that shows text, in the order of the item tree:
// the text, with "[x]"/"[ ]" for a check box, "(cut)" when it does not fit and "(off)" when it
// cannot be used. Items that are hidden, transparent or outside the window are left out, and a
// button's own label is not listed again under it.
// `area` (in the window) limits it to what is drawn there.
inline QStringList shown_texts(QQuickItem *root, std::optional<QRectF> area = std::nullopt) {
    QStringList lines;
    const std::function<void(QQuickItem *, const QString &, QRectF)> walk = [&](QQuickItem *item, const QString &above, QRectF seen) {
        // A delegate the view has let go of (index -1) is kept, undrawn, for reuse.
        if (!item->isVisible() || item->opacity() <= 0.0 || item->property("index") == QVariant(-1))
            return;
        const QRectF r = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        const QString text = item->property(item->inherits("QQuickComboBox") ? "displayText" : "text").toString();
        if (!text.isEmpty() && text != above && seen.intersects(r)) {
            QString line = text;
            if (item->inherits("QQuickCheckBox"))
                line = (item->property("checked").toBool() ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) + text;
            // Elided, past its lines, running out of its own box, or cut at the side (a row
            // half scrolled out at the top or bottom is no fault).
            const bool overflows = item->inherits("QQuickText") && item->property("contentWidth").toReal() > item->width() + 0.5;
            if (item->property("truncated").toBool() || overflows || r.left() < seen.left() - 0.5 || r.right() > seen.right() + 0.5)
                line += QStringLiteral(" (cut)");
            if (!item->isEnabled())
                line += QStringLiteral(" (off)");
            lines << line;
        }
        if (item->clip())
            seen &= r;
        QList<QQuickItem *> children = item->childItems();
        if (item->parentItem() && item->parentItem()->inherits("QQuickItemView")) // a view's rows, top to bottom
            std::ranges::stable_sort(children, {}, [](QQuickItem *c) { return c->y(); });
        for (QQuickItem *child : children)
            walk(child, text.isEmpty() ? above : text, seen);
    };
    const QRectF window(0, 0, root->window()->width(), root->window()->height());
    walk(root, {}, area ? window & *area : window);
    return lines;
}

// What `part` shows, on one line, once the window has laid out what just changed.
inline QString shown_line(QQuickItem *part) {
    if (!part)
        return QStringLiteral("(not shown)");
    part->window()->grabWindow();
    return shown_texts(part).join(QStringLiteral(" | "));
}

// How far a text's colour stands out from the window's, as WCAG measures contrast: 1 when
// it cannot be told apart, 21 for black on white. A see-through colour is blended first.
inline double contrast_with_window(QQuickItem *text) {
    const QColor back = text->window()->color(), fore = text->property("color").value<QColor>();
    const auto luminance = [](double r, double g, double b) {
        const auto linear = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
    };
    const double a = fore.alphaF();
    const auto over = [a](double f, double b) { return f * a + b * (1 - a); };
    const double lf = luminance(over(fore.redF(), back.redF()), over(fore.greenF(), back.greenF()), over(fore.blueF(), back.blueF()));
    const double lb = luminance(back.redF(), back.greenF(), back.blueF());
    return (std::max(lf, lb) + 0.05) / (std::min(lf, lb) + 0.05);
}

// Clicks the middle of `target` as the user would, once it is laid out and in sight.
inline void click_centre(QQuickItem *target) {
    QVERIFY(target && target->window());
    QQuickWindow *window = target->window();
    window->grabWindow(); // lays out what changed (a banner that just appeared moves what is below)
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QVERIFY2(QRectF(0, 0, window->width(), window->height()).contains(centre), qPrintable(target->objectName() + " is out of sight"));
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

// Types `text` as key presses carrying it, one character at a time, as a keyboard does.
inline void type_text(QQuickWindow *window, const QString &text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(window, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(window, &release);
    }
}

// The window's commands that can be used now, menus and toolbar alike.
inline QString usable_commands(QQuickWindow *window) {
    QStringList usable;
    for (QObject *o : window->findChildren<QObject *>())
        if (o->inherits("QQuickAction") && o->property("enabled").toBool())
            usable << o->property("text").toString();
    return usable.join(QStringLiteral(" | "));
}
