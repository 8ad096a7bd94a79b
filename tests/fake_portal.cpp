// A stand-in for the desktop portal's FileChooser on a private session bus.
//   fake_portal MODE RECORD_FILE [URI...]
// Answers OpenFile as a real portal does (a request path, then the Request's Response
// signal) and writes the call's arguments, with their D-Bus signatures, to RECORD_FILE.
// MODE: answer (code 0 with the URIs), cancel (code 1), otherpath (replies with a request
// path of its own), malformed (a Response without results), error (an error reply).
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QTimer>

namespace {

QString describe(const QVariant &v) {
    if (v.canConvert<QDBusArgument>()) {
        const QDBusArgument arg = v.value<QDBusArgument>();
        QString text = arg.currentSignature() + QLatin1Char(':');
        // a(sa(us)): the filters
        if (arg.currentSignature() == QLatin1String("a(sa(us))")) {
            arg.beginArray();
            while (!arg.atEnd()) {
                QString name;
                arg.beginStructure();
                arg >> name;
                text += name + QLatin1Char('[');
                arg.beginArray();
                while (!arg.atEnd()) {
                    uint type;
                    QString pattern;
                    arg.beginStructure();
                    arg >> type >> pattern;
                    arg.endStructure();
                    text += QString::number(type) + QLatin1Char(',') + pattern + QLatin1Char(';');
                }
                arg.endArray();
                arg.endStructure();
                text += QLatin1Char(']');
            }
            arg.endArray();
        }
        return text;
    }
    QString sig;
    switch (v.metaType().id()) {
    case QMetaType::QString: sig = QStringLiteral("s"); break;
    case QMetaType::Bool: sig = QStringLiteral("b"); break;
    case QMetaType::UInt: sig = QStringLiteral("u"); break;
    default: sig = QString::fromLatin1(v.metaType().name()); break;
    }
    return sig + QLatin1Char(':') + v.toString();
}

class Portal : public QDBusVirtualObject {
public:
    Portal(QString mode, QString record, QStringList uris)
        : mode_(std::move(mode)), record_(std::move(record)), uris_(std::move(uris)) {}

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override {
        if (message.member() != QLatin1String("OpenFile"))
            return false;
        QStringList lines;
        lines << QStringLiteral("interface=") + message.interface();
        lines << QStringLiteral("signature=") + message.signature();
        const auto args = message.arguments();
        lines << QStringLiteral("parent=") + args.value(0).toString();
        lines << QStringLiteral("title=") + args.value(1).toString();
        QString token;
        const QDBusArgument options = args.value(2).value<QDBusArgument>();
        options.beginMap();
        QStringList keys;
        while (!options.atEnd()) {
            QString key;
            QDBusVariant value;
            options.beginMapEntry();
            options >> key >> value;
            options.endMapEntry();
            if (key == QLatin1String("handle_token"))
                token = value.variant().toString();
            keys << key + QLatin1Char('=') + describe(value.variant());
        }
        options.endMap();
        keys.sort();
        lines << keys;
        QFile out(record_);
        if (out.open(QIODevice::Append)) {
            out.write((lines.join(QLatin1Char('\n')) + QStringLiteral("\n--\n")).toUtf8());
            out.close();
        }
        if (mode_ == QLatin1String("error")) {
            connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                                     QStringLiteral("no chooser")));
            return true;
        }
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
        if (mode_ == QLatin1String("otherpath"))
            path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/elsewhere").arg(sender);
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
        if (mode_ == QLatin1String("vanish")) { // the portal ends before answering
            QTimer::singleShot(100, qApp, &QCoreApplication::quit);
            return true;
        }
        // The answer comes later, as the user would give it.
        QDBusConnection bus = connection;
        QTimer::singleShot(100, [bus, path, this]() mutable {
            QDBusMessage signal = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"),
                                                             QStringLiteral("Response"));
            if (mode_ == QLatin1String("malformed")) {
                signal << uint(0);
            } else {
                QVariantMap results;
                const uint code = mode_ == QLatin1String("cancel") ? 1 : mode_ == QLatin1String("ended") ? 2 : 0;
                if (code == 0)
                    results.insert(QStringLiteral("uris"), uris_);
                signal << code << results;
            }
            bus.send(signal);
            // Ends right after answering: the bus says the name is gone just behind the answer.
            if (mode_ == QLatin1String("answerend"))
                bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        });
        return true;
    }

private:
    QString mode_, record_;
    QStringList uris_;
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    QDBusConnection bus = QDBusConnection::sessionBus();
    Portal portal(args[1], args[2], args.mid(3));
    if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal) ||
        !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")))
        return 3;
    return app.exec();
}
