// Finds the openings and endings of generated seasons (tests/make_seasons.py,
// tests/make_season.sh) the way the window does, and reports per season the time (wall, and
// CPU with ffmpeg's included) and the accuracy against the season's truth.json.
// Usage: perlane-openings-bench SEASON_DIR...
#include "document.h"
#include "opening_finder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>

using namespace perlane;

namespace {

double cpu_seconds() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        total += static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

struct Outcome {
    double worst = 0; // seconds, the largest boundary error
    int missed = 0, invented = 0, out_of_goal = 0;
};

// One season: each boundary against the truth; the goal is ±1 s (a song's start under
// talk: the episode's "start_tolerance").
Outcome run(QCoreApplication &app, const QDir &dir) {
    QFile file(dir.filePath(QStringLiteral("truth.json")));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no truth.json in %s\n", qPrintable(dir.path()));
        std::exit(2);
    }
    const QJsonArray truth = QJsonDocument::fromJson(file.readAll()).object()[QStringLiteral("episodes")].toArray();
    std::vector<EpisodeInput> inputs;
    for (const QJsonValue &t : truth) {
        const QString path = dir.filePath(t[QStringLiteral("file")].toString());
        auto doc = Document::load(path);
        if (!doc) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(doc.error().plain));
            std::exit(2);
        }
        inputs.push_back(episode_input(**doc));
    }
    OpeningFinder finder;
    std::vector<EpisodeFindings> found;
    QObject::connect(&finder, &OpeningFinder::finished, [&](const std::vector<EpisodeFindings> &f) {
        found = f;
        app.quit();
    });
    QElapsedTimer wall;
    wall.start();
    const double cpu = cpu_seconds();
    finder.start(inputs);
    app.exec();
    const double took = static_cast<double>(wall.elapsed()) / 1000, used = cpu_seconds() - cpu;

    Outcome o;
    for (qsizetype i = 0; i < truth.size() && static_cast<std::size_t>(i) < found.size(); ++i) {
        const QJsonObject t = truth[i].toObject();
        const auto &f = found[static_cast<std::size_t>(i)];
        QString line = t[QStringLiteral("file")].toString();
        for (const auto &[key, part] : {std::pair{"opening", &f.opening}, {"ending", &f.ending}}) {
            const QJsonArray want = t[QLatin1StringView(key)].toArray();
            line += QStringLiteral("  %1 ").arg(QLatin1StringView(key));
            line += *part ? QStringLiteral("%1-%2").arg((*part)->from, 0, 'f', 2).arg((*part)->to, 0, 'f', 2) : QStringLiteral("none");
            if (want.isEmpty()) {
                o.invented += part->has_value();
                line += *part ? QStringLiteral(" (there is none)") : QString();
                continue;
            }
            line += QStringLiteral(" (true %1-%2)").arg(want[0].toDouble(), 0, 'f', 2).arg(want[1].toDouble(), 0, 'f', 2);
            if (!*part) {
                ++o.missed;
                continue;
            }
            const double start_goal = t[QStringLiteral("start_tolerance")].toDouble(1.0);
            const double a = std::abs((*part)->from - want[0].toDouble()), b = std::abs((*part)->to - want[1].toDouble());
            o.worst = std::max({o.worst, a, b});
            o.out_of_goal += (a > (QLatin1StringView(key) == QLatin1StringView("opening") ? start_goal : 1.0)) + (b > 1.0);
            if (!(*part)->doubts.isEmpty())
                line += QStringLiteral(" [doubt: %1]").arg((*part)->doubts.join(QStringLiteral("; ")));
        }
        std::printf("  %s\n", qPrintable(line));
    }
    std::printf("| %s | %lld | %.2f s | %.2f s | %.2f s | %d / %d | %d |\n", qPrintable(dir.dirName()),
                static_cast<long long>(truth.size()), took, used, o.worst, o.missed, o.invented, o.out_of_goal);
    std::fflush(stdout);
    return o;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: perlane-openings-bench SEASON_DIR...\n");
        return 2;
    }
    std::printf("cores %d\n| season | episodes | wall | CPU (ffmpeg included) | largest error | missed / invented | "
                "boundaries out of goal |\n|---|---|---|---|---|---|---|\n",
                QThread::idealThreadCount());
    bool all_good = true;
    for (int i = 1; i < argc; ++i) {
        const Outcome o = run(app, QDir(QString::fromLocal8Bit(argv[i])));
        all_good = all_good && o.missed == 0 && o.invented == 0 && o.out_of_goal == 0;
    }
    return all_good ? 0 : 1;
}
