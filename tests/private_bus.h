#pragma once
// A private D-Bus session bus for tests, without service activation, and the fake portal.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

class PrivateBus {
public:
    // Starts dbus-daemon with a configuration of its own in `dir`; false on failure.
    bool start(const QString &dir) {
        const QString config = dir + QStringLiteral("/bus.conf");
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        // No service directories: nothing but the fake portal can answer (the machine's
        // real portal would otherwise be started on demand).
        f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                "<auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                "<allow own=\"*\"/></policy></busconfig>\n");
        f.close();
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config,
                                                       QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!daemon_.waitForReadyRead(10000))
            return false;
        address_ = daemon_.readLine().trimmed();
        return !address_.isEmpty();
    }
    ~PrivateBus() {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    QByteArray address() const { return address_; }

    static void stop(QProcess *p) {
        p->kill();
        p->waitForFinished();
        delete p;
    }
    using Portal = std::unique_ptr<QProcess, decltype(&stop)>;

    // Starts the fake portal in `mode`, answering with `uris` and recording calls in
    // `record`; returns once it owns the portal's name.
    Portal start_portal(const QString &mode, const QString &record, const QStringList &uris = {}) {
        QDBusConnection probe = QDBusConnection::connectToBus(QString::fromUtf8(address_), QStringLiteral("probe"));
        const auto registered = [&] {
            return probe.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.portal.Desktop")).value();
        };
        for (int i = 0; i < 250 && registered(); ++i) // the previous one may still be leaving
            QTest::qWait(20);
        Portal portal(new QProcess, &stop);
        portal->setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address_));
        portal->setProcessEnvironment(env);
        portal->start(QStringLiteral(FAKE_PORTAL), QStringList{mode, record} + uris);
        for (int i = 0; i < 250 && !registered(); ++i)
            QTest::qWait(20);
        return portal;
    }

private:
    QProcess daemon_;
    QByteArray address_;
};
