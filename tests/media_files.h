#pragma once
// The real files the tests work on (made by make_media.sh), private writable copies of
// them, and stand-ins for mkvpropedit.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

inline QString media(const QString &name) {
    return qEnvironmentVariable("PERLANE_MEDIA_DIR") + QLatin1Char('/') + name;
}

// A writable copy of media file `from`, as `to` in `dir` (replacing an earlier one).
inline QString copy_media(const QTemporaryDir &dir, const QString &from, const QString &to) {
    const QString path = dir.filePath(to);
    QFile::remove(path);
    if (!QFile::copy(media(from), path))
        qFatal("copy of %s failed", qPrintable(from));
    QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

// Puts a shell script named `tool` first on PATH (after `path_env`, the PATH to restore).
inline void stand_in_tool(const QTemporaryDir &dir, const QByteArray &path_env, const QByteArray &script,
                          const QString &tool = QStringLiteral("mkvpropedit")) {
    QDir().mkpath(dir.filePath(QStringLiteral("bin")));
    QFile f(dir.filePath(QStringLiteral("bin/") + tool));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the stand-in");
    f.write("#!/bin/sh\n" + script + "\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
    qputenv("PATH", dir.filePath(QStringLiteral("bin")).toUtf8() + ':' + path_env);
}

// A test's own folder for copies and stand-ins; the PATH it had is put back by restore_path.
struct MediaWork {
    QTemporaryDir dir;
    QByteArray path_env = qgetenv("PATH");
    QString copy(const QString &from, const QString &to) { return copy_media(dir, from, to); }
    void stand_in(const QByteArray &script) { stand_in_tool(dir, path_env, script); }
    void restore_path() { qputenv("PATH", path_env); }
};
