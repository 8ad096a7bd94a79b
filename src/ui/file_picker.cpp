#include "file_picker.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QUrl>

namespace perlane {

namespace portal {

// The a(sa(us)) filter list of the FileChooser portal.
struct Pattern {
    uint type = 0; // 0: glob
    QString pattern;
};
struct Filter {
    QString name;
    QList<Pattern> patterns;
};

QDBusArgument &operator<<(QDBusArgument &arg, const Pattern &p) {
    arg.beginStructure();
    arg << p.type << p.pattern;
    arg.endStructure();
    return arg;
}
const QDBusArgument &operator>>(const QDBusArgument &arg, Pattern &p) {
    arg.beginStructure();
    arg >> p.type >> p.pattern;
    arg.endStructure();
    return arg;
}
QDBusArgument &operator<<(QDBusArgument &arg, const Filter &f) {
    arg.beginStructure();
    arg << f.name << f.patterns;
    arg.endStructure();
    return arg;
}
const QDBusArgument &operator>>(const QDBusArgument &arg, Filter &f) {
    arg.beginStructure();
    arg >> f.name >> f.patterns;
    arg.endStructure();
    return arg;
}

} // namespace portal
} // namespace perlane

Q_DECLARE_METATYPE(perlane::portal::Pattern)
Q_DECLARE_METATYPE(perlane::portal::Filter)

namespace perlane {

namespace {

const QString portal_service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portal_path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString request_interface = QStringLiteral("org.freedesktop.portal.Request");
const QString filter_name = QStringLiteral("mkv");
const QString extension = QStringLiteral("mkv");

// One connection per request, made from the environment at the time of the call, so a
// changed DBUS_SESSION_BUS_ADDRESS (a test's private bus) is honoured.
class Bus {
public:
    Bus() : name_(QStringLiteral("perlane-picker-%1").arg(QRandomGenerator::global()->generate64())),
            connection_(connect(name_)) {}
    ~Bus() { QDBusConnection::disconnectFromBus(name_); }
    QDBusConnection &connection() { return connection_; }

private:
    static QDBusConnection connect(const QString &name) {
        // The address is read now (the bus library would cache it for the process).
        const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        if (address.isEmpty())
            return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        return QDBusConnection::connectToBus(address, name);
    }
    QString name_;
    QDBusConnection connection_;
};

// Why the wait ended.
enum class Outcome { Waiting, Answered, Malformed };

std::optional<std::vector<Choice>> parse_response(const QDBusMessage &message, Outcome &outcome) {
    const QList<QVariant> args = message.arguments();
    outcome = Outcome::Malformed;
    if (args.size() != 2 || args[0].metaType() != QMetaType::fromType<uint>() ||
        !args[1].canConvert<QDBusArgument>())
        return std::nullopt;
    const uint code = args[0].toUInt();
    QVariantMap results;
    const QDBusArgument map_arg = args[1].value<QDBusArgument>();
    if (map_arg.currentSignature() != QLatin1String("a{sv}"))
        return std::nullopt;
    map_arg >> results;
    outcome = Outcome::Answered;
    if (code != 0)
        return std::vector<Choice>{}; // cancelled or ended otherwise
    const QVariant uris = results.value(QStringLiteral("uris"));
    if (uris.metaType() != QMetaType::fromType<QStringList>()) {
        outcome = Outcome::Malformed;
        return std::nullopt;
    }
    std::vector<Choice> paths;
    for (const QString &uri : uris.toStringList())
        paths.push_back(path_from_uri(uri.toUtf8()));
    return paths;
}

// Receives the Request's Response signal for one portal call.
class ResponseWaiter : public QObject {
    Q_OBJECT
public:
    Outcome outcome = Outcome::Waiting;
    std::optional<std::vector<Choice>> result;
    QEventLoop loop;

public Q_SLOTS:
    void response(const QDBusMessage &message) {
        if (outcome != Outcome::Waiting)
            return;
        result = parse_response(message, outcome);
        loop.quit();
    }
    void portal_gone() {
        if (outcome != Outcome::Waiting)
            return;
        outcome = Outcome::Malformed;
        loop.quit();
    }
};

bool subscribe(QDBusConnection &dbus, const QString &path, ResponseWaiter *waiter) {
    return dbus.connect(portal_service, path, request_interface, QStringLiteral("Response"), waiter,
                        SLOT(response(QDBusMessage)));
}

void unsubscribe(QDBusConnection &dbus, const QString &path, ResponseWaiter *waiter) {
    dbus.disconnect(portal_service, path, request_interface, QStringLiteral("Response"), waiter,
                    SLOT(response(QDBusMessage)));
}

// The portal's answer, or nothing when the portal cannot be used (then zenity is tried).
std::optional<std::vector<Choice>> ask_portal() {
    static const bool registered = [] {
        qDBusRegisterMetaType<portal::Pattern>();
        qDBusRegisterMetaType<portal::Filter>();
        qDBusRegisterMetaType<QList<portal::Pattern>>();
        qDBusRegisterMetaType<QList<portal::Filter>>();
        return true;
    }();
    Q_UNUSED(registered);

    Bus bus;
    QDBusConnection &dbus = bus.connection();
    if (!dbus.isConnected())
        return std::nullopt;

    const QString token =
        QStringLiteral("perlane%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    QString sender = dbus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    QString request = QStringLiteral("%1/request/%2/%3").arg(portal_path, sender, token);

    ResponseWaiter waiter;
    // Subscribe before calling: the answer may come before the call returns.
    if (!subscribe(dbus, request, &waiter))
        return std::nullopt;
    QDBusServiceWatcher watcher(portal_service, dbus, QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &waiter,
                     &ResponseWaiter::portal_gone);

    const QList<portal::Filter> filters{
        {filter_name, {portal::Pattern{0, QStringLiteral("*.") + extension}}}};
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("accept_label"), QString());
    options.insert(QStringLiteral("multiple"), true);
    options.insert(QStringLiteral("filters"), QVariant::fromValue(filters));
    QDBusMessage call = QDBusMessage::createMethodCall(
        portal_service, portal_path, QStringLiteral("org.freedesktop.portal.FileChooser"),
        QStringLiteral("OpenFile"));
    call << QString() << QString() << options;
    // The call returns at once with the request's path; the choice comes as a signal.
    const QDBusMessage reply = dbus.call(call, QDBus::Block, 30000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1 ||
        reply.arguments()[0].metaType() != QMetaType::fromType<QDBusObjectPath>()) {
        unsubscribe(dbus, request, &waiter);
        return std::nullopt;
    }
    const QString handle = reply.arguments()[0].value<QDBusObjectPath>().path();
    if (handle != request) {
        // Older portals choose their own path: follow it.
        unsubscribe(dbus, request, &waiter);
        request = handle;
        if (!subscribe(dbus, request, &waiter))
            return std::nullopt;
    }
    // The window stays live while the chooser is open; the caller guards against re-entry.
    if (waiter.outcome == Outcome::Waiting)
        waiter.loop.exec();
    unsubscribe(dbus, request, &waiter);
    if (waiter.outcome != Outcome::Answered)
        return std::nullopt;
    return waiter.result;
}

// zenity's answer: a list (empty when cancelled), or nothing when it cannot run.
std::optional<std::vector<Choice>> ask_zenity() {
    QProcess zenity;
    zenity.setProgram(QStringLiteral("zenity"));
    zenity.setArguments({QStringLiteral("--no-markup"), QStringLiteral("--file-selection"),
                         QStringLiteral("--multiple"), QStringLiteral("--file-filter"),
                         filter_name + QStringLiteral(" | *.") + extension});
    zenity.setStandardInputFile(QProcess::nullDevice());
    QEventLoop loop;
    bool failed_to_start = false;
    QObject::connect(&zenity, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&zenity, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failed_to_start = true;
            loop.quit();
        }
    });
    zenity.start();
    // Waiting in an event loop keeps the window repainting while the dialog is open.
    if (!failed_to_start && zenity.state() != QProcess::NotRunning)
        loop.exec();
    if (zenity.state() != QProcess::NotRunning) {
        // The loop ended without an answer: the program is ending (a signal asked it to quit),
        // which is no choice, not a cancelled one.
        zenity.kill();
        zenity.waitForFinished(2000);
        return std::nullopt;
    }
    if (failed_to_start || zenity.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    if (zenity.exitCode() == 1)
        return std::vector<Choice>{}; // cancelled
    if (zenity.exitCode() != 0)
        return std::nullopt;
    // Names stay bytes until each is checked: decoding all at once could change one.
    QByteArray out = zenity.readAllStandardOutput();
    if (out.endsWith('\n'))
        out.chop(1);
    std::vector<Choice> paths;
    if (!out.isEmpty())
        for (const QByteArray &name : out.split('|'))
            paths.push_back(path_from_bytes(name));
    return paths;
}

class DesktopPicker : public FilePicker {
public:
    std::optional<std::vector<Choice>> pick_files() override {
        if (auto chosen = ask_portal())
            return chosen;
        return ask_zenity();
    }
};

} // namespace

std::unique_ptr<FilePicker> make_desktop_picker() { return std::make_unique<DesktopPicker>(); }

} // namespace perlane

#include "file_picker.moc"
