// The file chooser: the portal on a private session bus (with a fake portal service),
// and the zenity fallback (with a recording stand-in on PATH).
#include "app.h"
#include "backend.h"
#include "file_picker.h"
#include "private_bus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <unistd.h>

using namespace perlane;

namespace {

QString read_all(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void write_script(const QString &path, const QByteArray &text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class TestPicker : public QObject {
    Q_OBJECT

    PrivateBus bus;
    QByteArray bus_address;
    QTemporaryDir dir;
    QString record;
    QByteArray original_path;

    PrivateBus::Portal start_portal(const QString &mode, const QStringList &uris = {}) {
        return bus.start_portal(mode, record, uris);
    }

    void use_private_bus() { qputenv("DBUS_SESSION_BUS_ADDRESS", bus_address); }
    void use_no_bus() {
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=") + dir.path().toUtf8() + "/no-bus");
    }
    // A zenity stand-in that records its arguments and answers as told.
    void fake_zenity(const QByteArray &output, int status) {
        write_script(dir.path() + QStringLiteral("/bin/zenity"),
                     "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                         dir.path().toUtf8() + "/zenity-args\"\nprintf '%s' '" + output + "'\nexit " +
                         QByteArray::number(status) + "\n");
    }

    // The desktop chooser's answer, a refused name as "refused: " and the reason.
    static std::optional<QStringList> picked() {
        const auto chosen = make_desktop_picker()->pick_files();
        if (!chosen)
            return std::nullopt;
        QStringList out;
        for (const Choice &c : *chosen)
            out << (c ? *c : QStringLiteral("refused: ") + c.error());
        return out;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QDir().mkpath(dir.path() + QStringLiteral("/bin"));
        record = dir.path() + QStringLiteral("/portal-calls");
        QVERIFY(bus.start(dir.path()));
        bus_address = bus.address();
        original_path = qgetenv("PATH");
        // Only our stand-ins and the basic tools: no real zenity.
        qputenv("PATH", dir.path().toUtf8() + "/bin:/usr/bin:/bin");
        ::unlink(QFile::encodeName(dir.path() + QStringLiteral("/bin/zenity")).constData());
    }
    void cleanupTestCase() { qputenv("PATH", original_path); }
    void init() { QFile::remove(record); }

    void portal_gets_the_request_and_three_files_come_back_in_order() {
        use_private_bus();
        auto portal = start_portal(QStringLiteral("answer"),
                                   {QStringLiteral("file:///tmp/one.mkv"), QStringLiteral("file:///tmp/two.mkv"),
                                    QStringLiteral("file:///tmp/three.mkv")});
        QCOMPARE(picked(), std::optional(QStringList{"/tmp/one.mkv", "/tmp/two.mkv", "/tmp/three.mkv"}));
        const QStringList lines = read_all(record).split(QLatin1Char('\n'));
        QCOMPARE(lines.mid(0, 9),
                 (QStringList{"interface=org.freedesktop.portal.FileChooser", "signature=ssa{sv}", "parent=",
                              "title=", "accept_label=s:", "filters=a(sa(us)):mkv[0,*.mkv;]",
                              lines.value(6), "multiple=b:true", "--"}));
        QVERIFY2(lines.value(6).startsWith(QStringLiteral("handle_token=s:perlane")), qPrintable(lines.value(6)));
    }

    // Cancelled (1), or the chooser ended some other way (2): nothing chosen, no fallback asked.
    void cancel_gives_an_empty_list() {
        fake_zenity("/tmp/z.mkv", 0);
        for (const char *mode : {"cancel", "ended"}) {
            use_private_bus();
            auto portal = start_portal(QString::fromLatin1(mode));
            QCOMPARE(picked(), std::optional(QStringList{}));
        }
    }

    // Every URI gives exactly its file or a reason: never another file.
    void uris_are_decoded_exactly_or_refused() {
        use_private_bus();
        auto portal = start_portal(QStringLiteral("answer"),
                                   {QStringLiteral("sftp://host/x.mkv"), QStringLiteral("file:///tmp/a%20b.mkv"),
                                    QStringLiteral("file://localhost/tmp/c.mkv"), QStringLiteral("file://other/tmp/d.mkv"),
                                    QStringLiteral("file:///tmp/e.mkv%00.txt"), QStringLiteral("file:///tmp/caf%E9.mkv"),
                                    QStringLiteral("file:///tmp/caf%C3%A9.mkv")});
        QCOMPARE(picked(), std::optional(QStringList{
                               "refused: sftp://host/x.mkv: not a local file", "/tmp/a b.mkv", "/tmp/c.mkv",
                               "refused: file://other/tmp/d.mkv: the file is on another computer",
                               "refused: file:///tmp/e.mkv%00.txt: the name contains a NUL byte",
                               "refused: /tmp/caf\uFFFD.mkv: the file name is not valid text in this system's "
                               "encoding; rename the file to open it",
                               "/tmp/caf\u00E9.mkv"}));
    }

    // Followed to a request path of the portal's own; taken when the portal ends right after it.
    void an_answer_is_taken_wherever_and_whenever_it_comes() {
        fake_zenity("/tmp/z.mkv", 0);
        for (const char *mode : {"otherpath", "answerend"}) {
            use_private_bus();
            auto portal = start_portal(QString::fromLatin1(mode), {QStringLiteral("file:///tmp/x.mkv")});
            QCOMPARE(picked(), std::optional(QStringList{"/tmp/x.mkv"}));
        }
    }

    void malformed_answers_and_errors_fall_back_to_zenity() {
        fake_zenity("/tmp/z.mkv", 0);
        for (const char *mode : {"malformed", "error", "vanish"}) {
            use_private_bus();
            auto portal = start_portal(QString::fromLatin1(mode));
            QCOMPARE(picked(), std::optional(QStringList{"/tmp/z.mkv"}));
        }
        // No portal on the bus at all.
        use_private_bus();
        QCOMPARE(picked(), std::optional(QStringList{"/tmp/z.mkv"}));
    }

    void without_a_bus_zenity_is_asked_directly() {
        use_no_bus();
        fake_zenity("/tmp/a.mkv|/tmp/b c.mkv\n", 0);
        QCOMPARE(picked(), std::optional(QStringList{"/tmp/a.mkv", "/tmp/b c.mkv"}));
        QCOMPARE(read_all(dir.path() + QStringLiteral("/zenity-args")),
                 QStringLiteral("--no-markup\n--file-selection\n--multiple\n--file-filter\nmkv | *.mkv\n"));
        fake_zenity("", 1); // cancelled
        QCOMPARE(picked(), std::optional(QStringList{}));
        fake_zenity("", 5); // failed otherwise
        QCOMPARE(picked(), std::nullopt);
    }

    // Told to end while the chooser is open (SIGTERM at logout): no choice was made, so
    // nothing may be taken as a cancel (which empties the list on Open).
    void ending_while_the_chooser_is_open_chooses_nothing() {
        use_no_bus();
        const QString open = dir.path() + QStringLiteral("/zenity-open");
        write_script(dir.path() + QStringLiteral("/bin/zenity"),
                     "#!/bin/sh\ntouch \"" + QFile::encodeName(open) + "\"\nexec sleep 60\n");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"), dir.path() + QStringLiteral("/bin:/usr/bin:/bin"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("child_pick_until_ended")});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(open), 30000);
        ::kill(static_cast<pid_t>(child.processId()), SIGTERM);
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), QStringLiteral("no selection\n"));
        QFile::remove(open);
    }

    void without_a_bus_and_without_zenity_nothing_is_chosen_silently() {
        use_no_bus();
        QFile::remove(dir.path() + QStringLiteral("/bin/zenity"));
        // Run in a child process so that its whole output can be seen.
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"), dir.path() + QStringLiteral("/bin"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("child_pick")});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(child.readAll()), QStringLiteral("no selection\n"));
    }

    void backend_opens_and_adds_the_chosen_real_files() {
        use_private_bus();
        const QString media = qEnvironmentVariable("PERLANE_MEDIA_DIR");
        auto portal = start_portal(QStringLiteral("answer"),
                                   {QStringLiteral("file://") + media + QStringLiteral("/full.mkv"),
                                    QStringLiteral("file://") + media + QStringLiteral("/scale.mkv")});
        Backend backend;
        backend.open_files();
        QCOMPARE(backend.file_names(), (QStringList{"full.mkv", "scale.mkv"}));
        QCOMPARE(backend.active_file_name(), QStringLiteral("full.mkv"));
        // A second request while the chooser is open is not taken.
        QTimer::singleShot(20, &backend, [&] { backend.add_files(); });
        backend.add_files();
        QCOMPARE(backend.file_names().size(), 2); // the same files again: selected, not listed twice
        QCOMPARE(backend.active_file_name(), QStringLiteral("scale.mkv"));
        QCOMPARE(read_all(record).count(QStringLiteral("--\n")), 2);
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "child_pick") == 0) {
        const auto chosen = make_desktop_picker()->pick_files();
        std::printf("%s\n", chosen ? "selection" : "no selection");
        return 0;
    }
    if (argc == 2 && qstrcmp(argv[1], "child_pick_until_ended") == 0) {
        perlane::quit_on_termination_signals();
        QTimer::singleShot(0, &app, [] {
            const auto chosen = make_desktop_picker()->pick_files();
            std::printf("%s\n", chosen ? "selection" : "no selection");
            std::fflush(stdout);
        });
        return app.exec();
    }
    TestPicker test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_picker.moc"
