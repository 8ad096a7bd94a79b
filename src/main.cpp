#include "app.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>

#include <memory>

int main(int argc, char **argv) {
    auto app = std::make_unique<QGuiApplication>(argc, argv);
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
