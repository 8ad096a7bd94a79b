// perlane-journal-bench FILE [RUNS]: what a save's journal costs beside the save itself.
// Per run: the journal of FILE is written (layout read, ranges copied, flushed), then
// mkvpropedit renames track 1 with a name long enough to move Tracks to the end of the
// file, then the journal puts the file back (so FILE ends as it started). Prints the
// journal's size and the median times as a Markdown table.
#include "file_lock.h"
#include "journal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace perlane;

namespace {
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: perlane-journal-bench FILE [RUNS]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    std::vector<double> layout_ms, journal_ms, tool_ms, restore_ms;
    std::uint64_t journal_bytes = 0;
    for (int i = 0; i < runs; ++i) {
        auto lock = FileLock::take(path);
        if (!lock) {
            std::fprintf(stderr, "%s\n", qPrintable(lock.error().why));
            return 1;
        }
        QElapsedTimer t;
        t.start();
        auto file = reader::File::open(QFile::encodeName(path).toStdString());
        auto layout = file ? reader::read_layout(*file) : std::unexpected(file.error());
        if (!layout) {
            std::fprintf(stderr, "%s\n", layout.error().message().c_str());
            return 1;
        }
        layout_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        auto journal = Journal::write(lock->fd(), path, *lock->identity(), journal_ranges(*layout));
        if (!journal) {
            std::fprintf(stderr, "%s\n", qPrintable(journal.error()));
            return 1;
        }
        journal_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        journal_bytes = journal->data_size();

        t.restart();
        QProcess tool;
        tool.start(QStringLiteral("mkvpropedit"), {path, QStringLiteral("--edit"), QStringLiteral("track:1"),
                                                   QStringLiteral("--set"), QStringLiteral("name=") + QString(4000, QLatin1Char('x'))});
        tool.waitForFinished(-1);
        tool_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        if (tool.exitCode() >= 2) {
            std::fprintf(stderr, "mkvpropedit failed: %s\n", tool.readAll().constData());
            journal->restore();
            return 1;
        }

        t.restart();
        if (const auto restored = journal->restore(); !restored) {
            std::fprintf(stderr, "restore failed: %s; journal kept in %s\n", qPrintable(restored.error()),
                         qPrintable(journal->journal_path()));
            state.setAutoRemove(false);
            return 1;
        }
        restore_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        journal->remove();
    }
    std::printf("| file size | journal | layout read | journal written (with layout) | mkvpropedit | put back |\n"
                "|---|---|---|---|---|---|\n");
    std::printf("| %llu bytes | %llu bytes | %.2f ms | %.2f ms | %.2f ms | %.2f ms |\n",
                static_cast<unsigned long long>(QFile(path).size()), static_cast<unsigned long long>(journal_bytes),
                median(layout_ms), median(journal_ms), median(tool_ms), median(restore_ms));
    return 0;
}
