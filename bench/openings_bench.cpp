// Finds the openings and endings of a generated season (tests/make_season.sh) the way the
// window does, and reports the time (decoding vs matching) and the accuracy against the
// season's truth.txt.
// Usage: perlane-openings-bench SEASON_DIR
#include "opening_finder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cmath>
#include <cstdio>

using namespace perlane;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: perlane-openings-bench SEASON_DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QStringList names = dir.entryList({QStringLiteral("e*.mkv")}, QDir::Files, QDir::Name);
    std::vector<EpisodeInput> inputs;
    for (const QString &n : names) {
        // The season's episodes have one audio track; their length is set below from the
        // truth (each ends 30 s after its ending song).
        inputs.push_back({dir.filePath(n), n, 0, std::nullopt});
    }
    QFile truth(dir.filePath(QStringLiteral("truth.txt")));
    if (!truth.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no truth.txt in %s\n", argv[1]);
        return 2;
    }
    struct Truth { double from = -1, to = -1, end_from = 0, end_to = 0; };
    std::vector<Truth> expected;
    for (const QByteArray &line : truth.readAll().split('\n')) {
        const QList<QByteArray> w = line.split(' ');
        if (w.size() < 7)
            continue;
        expected.push_back({w[2] == "-" ? -1 : w[2].toDouble(), w[3] == "-" ? -1 : w[3].toDouble(), w[5].toDouble(), w[6].toDouble()});
    }
    for (std::size_t i = 0; i < inputs.size() && i < expected.size(); ++i)
        inputs[i].seconds = expected[i].end_to + 30;

    OpeningFinder finder;
    std::vector<EpisodeFindings> found;
    QObject::connect(&finder, &OpeningFinder::finished, [&](const std::vector<EpisodeFindings> &f) {
        found = f;
        app.quit();
    });
    finder.start(inputs);
    app.exec();

    double worst = 0;
    int missed = 0, wrong = 0;
    for (std::size_t i = 0; i < found.size() && i < expected.size(); ++i) {
        const Truth &t = expected[i];
        const auto &f = found[i];
        auto off = [&](double a, double b) { worst = std::max(worst, std::abs(a - b)); };
        if (t.from >= 0 && f.opening) {
            off(f.opening->from, t.from);
            off(f.opening->to, t.to);
        } else if (t.from >= 0) {
            ++missed;
        } else if (f.opening) {
            ++wrong;
        }
        if (f.ending) {
            off(f.ending->from, t.end_from);
            off(f.ending->to, t.end_to);
        } else {
            ++missed;
        }
        std::printf("%s  opening %s  ending %s\n", qPrintable(names[static_cast<qsizetype>(i)]),
                    f.opening ? qPrintable(QStringLiteral("%1-%2").arg(f.opening->from, 0, 'f', 2).arg(f.opening->to, 0, 'f', 2)) : "none",
                    f.ending ? qPrintable(QStringLiteral("%1-%2").arg(f.ending->from, 0, 'f', 2).arg(f.ending->to, 0, 'f', 2)) : "none");
    }
    const auto timing = finder.timing();
    std::printf("episodes %zu, cores %d: decoding %.2f s, matching %.3f s, total %.2f s\n", inputs.size(),
                QThread::idealThreadCount(), timing.decoding / 1000.0, timing.matching / 1000.0,
                (timing.decoding + timing.matching) / 1000.0);
    std::printf("largest boundary error %.2f s; missed %d; suggested where there is none %d\n", worst, missed, wrong);
    return missed == 0 && wrong == 0 && worst <= 1.0 ? 0 : 1;
}
