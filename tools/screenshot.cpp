// perlane-screenshot: the real window with real files open, saved as a PNG.
//   perlane-screenshot QML_DIR OUTPUT.png FILE...
// Loads App.qml from QML_DIR, adds the files as "Add" would, and grabs the window.
// Fails when the picture comes out blank.
#include "app.h"
#include "backend.h"

#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSet>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: perlane-screenshot QML_DIR OUTPUT.png FILE...\n");
        return 2;
    }
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QQmlApplicationEngine engine;
    perlane::register_qml_types();
    engine.load(args[1] + QStringLiteral("/App.qml"));
    if (engine.rootObjects().isEmpty())
        return 1;
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    auto *backend = window ? window->findChild<perlane::Backend *>(QStringLiteral("backend")) : nullptr;
    if (!backend)
        return 1;
    window->resize(1100, 620);
    for (const QString &path : args.mid(3))
        if (const auto why = backend->add_file(path))
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(*why));
    int status = 1;
    QTimer::singleShot(800, [&] {
        const QImage image = window->grabWindow();
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 4)
            for (int x = 0; x < image.width(); x += 4)
                colours.insert(image.pixel(x, y));
        if (colours.size() < 8)
            std::fprintf(stderr, "the picture is blank (%lld colours)\n", static_cast<long long>(colours.size()));
        else if (image.save(args[2]))
            status = 0;
        QGuiApplication::quit();
    });
    QGuiApplication::exec();
    return status;
}
