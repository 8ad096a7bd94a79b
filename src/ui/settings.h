#pragma once
// The window's own settings (size, splitter), kept between runs, and shortcuts as the
// desktop writes them.
#include <QObject>
#include <QVariant>

namespace perlane {

class Settings : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // "Ctrl+S", from a key sequence text or a standard key.
    Q_INVOKABLE QString shortcut_text(const QVariant &shortcut) const;
    Q_INVOKABLE QVariant stored(const QString &key) const;
    Q_INVOKABLE void store(const QString &key, const QVariant &value);
};

} // namespace perlane
