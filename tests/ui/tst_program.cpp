// The real program binary and the real QML documents under the offscreen platform.
#include "app.h"

#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString write_file(const QString &dir, const QString &name, const QByteArray &text) {
    QFile f(dir + QLatin1Char('/') + name);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(f.fileName()));
    f.write(text);
    return f.fileName();
}

struct Run {
    int status = -1;
    QString out;
};

Run run_program(const QString &dir, int wait_ms = 20000) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(PERLANE_BINARY), {});
    if (!p.waitForFinished(wait_ms)) {
        p.kill();
        p.waitForFinished();
        return {-1, QString::fromUtf8(p.readAll())};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2,
            QString::fromUtf8(p.readAll())};
}

// A small App.qml that exercises the module and prints what it saw.
const QByteArray probe_app = R"(
import QtQml
import perlane 0.2
QtObject {
    property Backend backend: Backend { TrackList { id: tl } }
    property ChapterList cl: ChapterList {}
    property Backend bare: Backend {}
    Component.onCompleted: {
        console.log("bare-tracks", bare.tracks === null, "bare-chapters", bare.chapters === null)
        console.log("default-property", backend.tracks === tl)
        backend.chapters = cl
        console.log("chapters", backend.chapters === cl, "rows", tl.rowCount(), cl.rowCount())
        var seen = 0
        backend.file_names_changed.connect(function() { seen++ })
        backend.file_names = ["a.mkv"]
        backend.file_names = ["a.mkv"]
        console.log("names", backend.file_names.length, "notified", seen)
        console.log("next", backend.next_file(), "prev", backend.prev_file())
        backend.select_file(3)
        backend.delete_file(7)
        backend.set_track_name("x", 1, "n")
        backend.set_chapter_name(0, 0, "c")
        backend.save_file()
        console.log("active", JSON.stringify(backend.active_file_name), backend.files.active_index)
        Qt.quit()
    }
}
)";

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void probe_app_sees_the_module() {
        QTemporaryDir dir;
        write_file(dir.path(), QStringLiteral("App.qml"), probe_app);
        const Run r = run_program(dir.path());
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QStringLiteral("bare-tracks true bare-chapters true")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("default-property true")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("chapters true rows 0 0")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("names 1 notified 1")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("next -1 prev -1")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("active \"\" -1")), qPrintable(r.out));
    }

    // Qt takes its own options; every other argument names a file to open, as bytes.
    void files_named_on_the_command_line_open() {
        QTemporaryDir dir;
        write_file(dir.path(), QStringLiteral("App.qml"), R"(
import QtQml
import perlane
QtObject {
    property Backend backend: Backend {}
    property Backend second: Backend {}
    Component.onCompleted: {
        console.log("names", JSON.stringify(backend.file_names), "errors", backend.files.load_errors.length,
                    backend.files.load_errors.join("|"), "second", second.file_names.length)
        Qt.quit()
    }
}
)");
        const QString episode = qEnvironmentVariable("PERLANE_MEDIA_DIR") + QStringLiteral("/full.mkv");
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"),
                                            QStringLiteral("exec \"$0\" -platform offscreen \"$1\" \"$(printf 'caf\\351.mkv')\""),
                                            QStringLiteral(PERLANE_BINARY), episode});
        QVERIFY(p.waitForFinished(20000));
        const QString out = QString::fromUtf8(p.readAll());
        QVERIFY2(out.contains(QStringLiteral("names [\"full.mkv\"] errors 1 caf")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral(" second 0")), qPrintable(out)); // the files are handed out once
        QVERIFY2(out.contains(QStringLiteral("not valid text")), qPrintable(out));
        // One file alone opens too.
        p.start(QStringLiteral(PERLANE_BINARY), {QStringLiteral("-platform"), QStringLiteral("offscreen"), episode});
        QVERIFY(p.waitForFinished(20000));
        const QString alone = QString::fromUtf8(p.readAll());
        QVERIFY2(alone.contains(QStringLiteral("names [\"full.mkv\"] errors 0")), qPrintable(alone));
    }

    void module_versions() {
        for (const auto &[import, ok] : {std::pair{"import perlane", true},
                                         std::pair{"import perlane 0.2", true},
                                         std::pair{"import perlane 1.0", false}}) {
            QTemporaryDir dir;
            write_file(dir.path(), QStringLiteral("App.qml"),
                       QByteArray("import QtQml\n") + import +
                           "\nQtObject { property var b: Backend {}\n"
                           "Component.onCompleted: { console.log('loaded'); Qt.quit() } }\n");
            if (ok) {
                const Run r = run_program(dir.path());
                QCOMPARE(r.status, 0);
                QVERIFY2(r.out.contains(QStringLiteral("loaded")), qPrintable(r.out));
            } else {
                // The window's document fails: the program says so and why, and ends.
                const Run r = run_program(dir.path());
                QCOMPARE(r.status, 1);
                QVERIFY2(r.out.contains(QStringLiteral("perlane: could not load ") + dir.filePath(QStringLiteral("App.qml"))) &&
                             r.out.contains(QStringLiteral("module \"perlane\" version 1.0 is not installed")) &&
                             !r.out.contains(QStringLiteral("loaded")),
                         qPrintable(r.out));
            }
        }
    }

    // Started from any folder, the documents beside the program are used; without them
    // anywhere, it says which could not be loaded and why, and ends with a failure.
    void documents_load_from_beside_the_program_else_it_says_why() {
        QTemporaryDir elsewhere, lone;
        QProcess p;
        p.setWorkingDirectory(elsewhere.path());
        p.start(QStringLiteral(PERLANE_BINARY), {});
        QVERIFY(p.waitForStarted());
        QVERIFY(!p.waitForFinished(1500)); // the window is up
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(!p.readAllStandardError().contains("could not load"), "documents beside the program not found");

        const QString copy = lone.filePath(QStringLiteral("perlane"));
        QVERIFY(QFile::copy(QStringLiteral(PERLANE_BINARY), copy));
        p.start(copy, {});
        QVERIFY(p.waitForFinished(20000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral("perlane: could not load ") + lone.filePath(QStringLiteral("App.qml")) +
                              QStringLiteral(": there is no such file")),
                 qPrintable(err));
    }

    // The shipped documents load, each as a root document, without a single warning.
    void real_documents_load_cleanly() {
        static QStringList warnings;
        warnings.clear();
        const auto previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &msg) {
                if (type != QtDebugMsg && type != QtInfoMsg)
                    warnings << msg;
            });
        {
            QQuickStyle::setStyle(QStringLiteral("Fusion"));
            QQmlApplicationEngine engine;
            perlane::register_qml_types();
            const QString dir = QStringLiteral(PERLANE_QML_DIR) + QLatin1Char('/');
            for (const char *doc : {"App.qml", "FileEntry.qml", "TrackEntry.qml", "ChapterEntry.qml"})
                engine.load(dir + QString::fromLatin1(doc));
            QCOMPARE(engine.rootObjects().size(), 4);
            QList<QQuickWindow *> windows;
            for (QObject *o : engine.rootObjects())
                if (auto *w = qobject_cast<QQuickWindow *>(o))
                    windows << w;
            QCOMPARE(windows.size(), 1);
            // A first frame laid out and drawn: what its bindings warn about is said by now.
            QVERIFY(QTest::qWaitForWindowExposed(windows[0]));
            windows[0]->grabWindow();
            QCoreApplication::processEvents();
        }
        qInstallMessageHandler(previous);
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
