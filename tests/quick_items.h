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
