// perlane-screenshot: the real window with real files open, saved as a PNG.
//   perlane-screenshot QML_DIR OUTPUT.png FILE...
// Loads App.qml from QML_DIR, adds the files as "Add" would, and grabs the window.
// Fails when the picture comes out blank. PERLANE_SCREENSHOT_DARK=1 gives the window a
// dark palette (as a dark desktop would); PERLANE_SCREENSHOT_SIZE=WxH sets its size;
// PERLANE_SCREENSHOT_FIND=1 shows the openings and endings found in the files.
#include "app.h"
#include "backend.h"

#include <QGuiApplication>
#include <QImage>
#include <QQmlContext>
#include <QQmlExpression>
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
    if (qEnvironmentVariableIntValue("PERLANE_SCREENSHOT_DARK") == 1) {
        // What a dark desktop hands the window: its palette, which every control follows.
        QQmlExpression dark(engine.rootContext(), window,
                            QStringLiteral("palette.window = '#2b2b2b'; palette.windowText = '#eeeeee'; palette.base = '#1e1e1e';"
                                           "palette.alternateBase = '#333333'; palette.text = '#eeeeee'; palette.button = '#3a3a3a';"
                                           "palette.buttonText = '#eeeeee'; palette.highlight = '#3584e4'; palette.highlightedText = '#ffffff';"
                                           "palette.placeholderText = '#9a9a9a'; palette.mid = '#555555'; palette.light = '#4a4a4a';"
                                           "palette.dark = '#202020'; palette.midlight = '#444444'; palette.shadow = '#000000';"
                                           "palette.disabled.buttonText = '#7a7a7a'; palette.disabled.windowText = '#7a7a7a';"
                                           "palette.disabled.text = '#7a7a7a'"));
        dark.evaluate();
        if (dark.hasError())
            std::fprintf(stderr, "%s\n", qPrintable(dark.error().toString()));
    }
    QSize size(1100, 620);
    if (const QStringList wh = qEnvironmentVariable("PERLANE_SCREENSHOT_SIZE").split(QLatin1Char('x')); wh.size() == 2)
        size = QSize(wh[0].toInt(), wh[1].toInt());
    window->resize(size);
    for (const QString &path : args.mid(3))
        if (const auto why = backend->add_file(path))
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(*why));
    // PERLANE_SCREENSHOT_FAILED_SAVE=1: an edit saved with no mkvpropedit on PATH, so that
    // the picture shows how a failed save is told.
    if (qEnvironmentVariableIntValue("PERLANE_SCREENSHOT_FAILED_SAVE") == 1) {
        qputenv("PATH", "/nonexistent");
        backend->track_edits()->set_title(QStringLiteral("Edited title"));
        backend->save_file();
    }
    int status = 1;
    const auto grab = [&] {
        const QImage image = window->grabWindow();
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 4)
            for (int x = 0; x < image.width(); x += 4)
                colours.insert(image.pixel(x, y));
        if (colours.size() < 8)
            std::fprintf(stderr, "the picture is blank (%lld colours)\n", static_cast<long long>(colours.size()));
        else if (image.save(args[2]))
            status = 0;
        QCoreApplication::exit(0); // not quit(): a window with unsaved edits would ask first
    };
    // PERLANE_SCREENSHOT_FIND=1: "Find Openings and Endings…" run over the files, its
    // findings on screen.
    if (qEnvironmentVariableIntValue("PERLANE_SCREENSHOT_FIND") == 1) {
        QObject::connect(backend->detection(), &perlane::Detection::detection_finished, [&] { QTimer::singleShot(500, grab); });
        QTimer::singleShot(300, [&] {
            if (auto *find = window->findChild<QObject *>(QStringLiteral("findAction")))
                QMetaObject::invokeMethod(find, "trigger");
        });
    } else {
        QTimer::singleShot(800, grab);
    }
    QGuiApplication::exec();
    return status;
}
