// perlane-batch: the season jobs over a whole library, without a display.
#include "jobs.h"
#include "languages.h"
#include "library.h"
#include "progress.h"
#include "reading.h"
#include "scan.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTextStream>
#include <QThread>

#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

using namespace perlane;
using namespace perlane::batch;

namespace {

int signal_pipe[2] = {-1, -1};

void on_signal(int signal) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto n = ::write(signal_pipe[1], &byte, 1);
}

int usage(const QString &why) {
    std::fprintf(stderr, "perlane-batch: %s\nTry 'perlane-batch --help'.\n", qPrintable(why));
    return 2;
}

int scan(Library &library, bool json, int jobs, Progress &progress, QTextStream &out) {
    std::size_t seasons = 0, episodes = 0, failed = 0;
    while (const auto s = library.next()) {
        for (const Problem &p : library.take_problems()) {
            progress.say(p.path + QStringLiteral(": ") + p.reason);
            failed += p.failed;
        }
        progress.step(s->folder, {}, QStringLiteral("reading"));
        const Episodes e = read_season(*s, jobs);
        for (std::size_t i = 0; i < e.docs.size() + e.unreadable.size(); ++i)
            progress.file_done();
        ++seasons;
        episodes += e.docs.size();
        failed += e.unreadable.size();
        progress.clear();
        if (json)
            out << QJsonDocument(season_json(s->folder, e)).toJson(QJsonDocument::Compact) << '\n';
        else
            out << season_text(s->folder, e) << '\n';
        out.flush();
    }
    for (const Problem &p : library.take_problems()) {
        progress.say(p.path + QStringLiteral(": ") + p.reason);
        failed += p.failed;
    }
    progress.finish();
    // On stderr: the standard output stays one JSON document per season.
    std::fprintf(stderr, "%zu %s in %zu %s; %zu %s could not be read.\n", episodes, episodes == 1 ? "episode" : "episodes", seasons,
                 seasons == 1 ? "season" : "seasons", failed, failed == 1 ? "file or folder" : "files or folders");
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("perlane-batch"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The season jobs of perlane over a whole library, without a display. Each folder's Matroska files are a season.\n\n"
        "Commands:\n"
        "  scan                 tracks, chapters and what differs, per season\n"
        "  default-language     make the tracks in --audio (and --subtitles) languages default\n"
        "  flags --suggested    set the flags the tracks' names suggest\n"
        "  mark-openings        find openings and endings by their sound and mark them\n"
        "  undo-last-save       put each file back as it was before its last save\n\n"
        "Changing commands only print their plan unless --apply is given."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("scan, default-language, flags, mark-openings or undo-last-save"));
    parser.addPositionalArgument(QStringLiteral("paths"), QStringLiteral("Files or folders, searched recursively."), QStringLiteral("PATH..."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("scan: one JSON document per season, one per line."));
    const QCommandLineOption audio(QStringLiteral("audio"), QStringLiteral("default-language: the audio language."), QStringLiteral("LANG"));
    const QCommandLineOption subtitles(QStringLiteral("subtitles"), QStringLiteral("default-language: the subtitles' language."), QStringLiteral("LANG"));
    const QCommandLineOption suggested(QStringLiteral("suggested"), QStringLiteral("flags: the flags the tracks' names suggest."));
    const QCommandLineOption doubtful(QStringLiteral("include-doubtful"), QStringLiteral("mark-openings: mark doubtful findings too."));
    const QCommandLineOption apply(QStringLiteral("apply"), QStringLiteral("Save the changes (without it nothing is changed)."));
    const QCommandLineOption jobs(QStringList{QStringLiteral("j"), QStringLiteral("jobs")},
                                  QStringLiteral("Files read and parts decoded at once (default: the number of cores)."), QStringLiteral("N"));
    parser.addOptions({json, audio, subtitles, suggested, doubtful, apply, jobs});
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usage(QStringLiteral("no command given."));
    const QString command = args.takeFirst();
    if (args.isEmpty())
        return usage(QStringLiteral("no file or folder given."));

    Options options;
    options.apply = parser.isSet(apply);
    options.include_doubtful = parser.isSet(doubtful);
    options.jobs = QThread::idealThreadCount();
    if (parser.isSet(jobs)) {
        bool ok = false;
        options.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || options.jobs < 1 || options.jobs > 256)
            return usage(QStringLiteral("-j takes a number of jobs from 1 to 256."));
    }
    const auto only_for = [&](const QCommandLineOption &o, const QString &cmd) {
        return parser.isSet(o) && command != cmd ? std::optional(usage(QStringLiteral("--%1 is for %2.").arg(o.names().constLast(), cmd)))
                                                 : std::nullopt;
    };
    for (const auto &[o, cmd] : {std::pair{&json, "scan"}, {&audio, "default-language"}, {&subtitles, "default-language"},
                                 {&suggested, "flags"}, {&doubtful, "mark-openings"}})
        if (const auto bad = only_for(*o, QString::fromLatin1(cmd)))
            return *bad;
    if (command == QStringLiteral("scan") && parser.isSet(apply))
        return usage(QStringLiteral("scan changes nothing: --apply is for the changing commands."));
    if (command == QStringLiteral("default-language")) {
        options.command = Command::DefaultLanguage;
        options.audio = parser.value(audio);
        options.subtitles = parser.value(subtitles);
        if (options.audio.isEmpty())
            return usage(QStringLiteral("default-language needs --audio LANG."));
        for (const QString &l : {options.audio, options.subtitles})
            if (!l.isEmpty())
                if (const auto checked = languages::check(l); !checked)
                    return usage(checked.error());
    } else if (command == QStringLiteral("flags")) {
        options.command = Command::Flags;
        if (!parser.isSet(suggested))
            return usage(QStringLiteral("flags needs --suggested."));
    } else if (command == QStringLiteral("mark-openings")) {
        options.command = Command::MarkOpenings;
    } else if (command == QStringLiteral("undo-last-save")) {
        options.command = Command::UndoLastSave;
    } else if (command != QStringLiteral("scan")) {
        return usage(QStringLiteral("unknown command \u201C%1\u201D.").arg(command));
    }

    QTextStream out(stdout);
    Progress progress(stderr);
    progress.set_total(count_files(args));
    Library library(args);
    if (command == QStringLiteral("scan"))
        return scan(library, parser.isSet(json), options.jobs, progress, out);

    Runner runner(options, progress, out);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_pipe) == 0) {
        struct sigaction sa {};
        sa.sa_handler = on_signal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &sa, nullptr);
        ::sigaction(SIGTERM, &sa, nullptr);
    }
    QSocketNotifier notifier(signal_pipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [&] {
        char byte = 0;
        if (::read(signal_pipe[0], &byte, 1) == 1)
            runner.interrupt(byte);
    });
    return runner.run(library);
}
