#include "app.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>

#include <cstdio>

#include <memory>

int main(int argc, char **argv) {
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    // Qt has taken its own options out of argv: what is left names files to open, as bytes
    // (a name that is not valid text must not turn into another file's name).
    QList<QByteArray> files;
    for (int i = 1; i < argc; ++i)
        files << QByteArray(argv[i]);
    perlane::set_startup_files(std::move(files));
    QGuiApplication::setApplicationName(QStringLiteral("perlane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("perlane"));
    // A desktop look unless the user asked for another style.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_STYLE"))
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
    perlane::quit_on_termination_signals();
    auto engine = std::make_unique<QQmlApplicationEngine>();
    perlane::register_qml_types();

    // The documents load from the working directory when the window's document is there (a
    // checkout, a build folder), else from beside the program; each as a root document. A
    // document that does not load is said on standard error with the engine's reasons;
    // without the window's there is nothing to use, so the program ends with a failure.
    const QString from = QFileInfo::exists(QStringLiteral("App.qml"))
                             ? QString()
                             : QCoreApplication::applicationDirPath() + QLatin1Char('/');
    QList<QQmlError> errors;
    QObject::connect(engine.get(), &QQmlEngine::warnings, [&](const QList<QQmlError> &w) { errors << w; });
    for (const char *document : {"App.qml", "FileEntry.qml", "TrackEntry.qml", "ChapterEntry.qml"}) {
        const QString path = from + QString::fromLatin1(document);
        const auto before = engine->rootObjects().size();
        errors.clear();
        engine->load(path);
        if (engine->rootObjects().size() > before)
            continue;
        QStringList why;
        if (!QFileInfo::exists(path))
            why << QStringLiteral("there is no such file");
        for (const QQmlError &e : errors)
            why << e.toString();
        std::fprintf(stderr, "perlane: could not load %s: %s\n", qPrintable(QFileInfo(path).absoluteFilePath()),
                     qPrintable(why.isEmpty() ? QStringLiteral("it made no object") : why.join(QStringLiteral("; "))));
        if (qstrcmp(document, "App.qml") == 0) {
            engine.reset();
            app.reset();
            return 1;
        }
    }

    QGuiApplication::exec();
    engine.reset(); // the QML objects and the data they hold go before the application
    app.reset();
    return 0;
}
