#include "paths.h"

#include <QFile>

namespace perlane {

namespace {
QString shown(const QByteArray &bytes) { return QString::fromLocal8Bit(bytes); }
} // namespace

Choice path_from_bytes(const QByteArray &bytes) {
    if (bytes.isEmpty())
        return std::unexpected(QStringLiteral("an empty file name"));
    if (bytes.contains('\0'))
        return std::unexpected(QStringLiteral("%1: the name contains a NUL byte").arg(shown(bytes)));
    const QString path = QFile::decodeName(bytes);
    if (QFile::encodeName(path) != bytes)
        return std::unexpected(
            QStringLiteral("%1: the file name is not valid text in this system's encoding; rename the file to open it")
                .arg(shown(bytes)));
    return path;
}

Choice path_from_uri(const QByteArray &uri) {
    static const QByteArray scheme = "file://";
    if (!uri.toLower().startsWith(scheme))
        return std::unexpected(QStringLiteral("%1: not a local file").arg(QString::fromUtf8(uri)));
    QByteArray rest = uri.mid(scheme.size());
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0)
        return std::unexpected(QStringLiteral("%1: not a local file").arg(QString::fromUtf8(uri)));
    const QByteArray host = rest.left(slash).toLower();
    if (!host.isEmpty() && host != "localhost")
        return std::unexpected(QStringLiteral("%1: the file is on another computer").arg(QString::fromUtf8(uri)));
    rest = rest.mid(slash);
    // A NUL ends a path in the system: the rest of the name would silently be dropped.
    if (rest.contains("%00"))
        return std::unexpected(QStringLiteral("%1: the name contains a NUL byte").arg(QString::fromUtf8(uri)));
    return path_from_bytes(QByteArray::fromPercentEncoding(rest));
}

} // namespace perlane
