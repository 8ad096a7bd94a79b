#include "settings.h"

#include <QKeySequence>
#include <QSettings>

namespace perlane {

QString Settings::shortcut_text(const QVariant &shortcut) const {
    const QKeySequence keys = shortcut.typeId() == QMetaType::QString
                                  ? QKeySequence(shortcut.toString())
                                  : QKeySequence(static_cast<QKeySequence::StandardKey>(shortcut.toInt()));
    return keys.toString(QKeySequence::NativeText);
}


QVariant Settings::stored(const QString &key) const { return QSettings(QStringLiteral("perlane"), QStringLiteral("perlane")).value(QStringLiteral("window/") + key); }

void Settings::store(const QString &key, const QVariant &value) { QSettings(QStringLiteral("perlane"), QStringLiteral("perlane")).setValue(QStringLiteral("window/") + key, value); }


} // namespace perlane
