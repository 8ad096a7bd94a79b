#include "app.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>

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

    // The documents load from the working directory, each as a root document.
    for (const char *document : {"App.qml", "FileEntry.qml", "TrackEntry.qml", "ChapterEntry.qml"})
        engine->load(QString::fromLatin1(document));

    QGuiApplication::exec();
    engine.reset(); // the QML objects and the data they hold go before the application
    app.reset();
    return 0;
}
