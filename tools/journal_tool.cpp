// perlane-journal: the journals perlane keeps of its saves, from the command line.
//   perlane-journal list              every journal: file, state, size
//   perlane-journal restore JOURNAL   puts the file back to the bytes it had before that save
// For the case the window could not finish on its own (the file was moved, the disk was
// full); the window itself restores failed saves and takes saves back.
#include "file_lock.h"
#include "journal.h"

#include <QCoreApplication>

#include <cstdio>

using perlane::Journal;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 2 && args[1] == QStringLiteral("list")) {
        for (const Journal &j : Journal::all())
            std::printf("%s\t%s\t%s\t%llu bytes\n", qPrintable(j.journal_path()), qPrintable(j.path()),
                        j.undoing() ? "undo cut short" : j.after() ? "saved" : j.failed() ? "failed" : "unfinished",
                        static_cast<unsigned long long>(j.data_size()));
        for (const QString &bad : Journal::damaged())
            std::printf("%s\tdamaged\n", qPrintable(bad));
        return 0;
    }
    if (args.size() == 3 && args[1] == QStringLiteral("restore")) {
        const auto j = Journal::open(args[2]);
        if (!j) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(args[2]), qPrintable(j.error()));
            return 1;
        }
        auto lock = perlane::FileLock::take(j->path());
        if (!lock) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(j->path()), qPrintable(lock.error().why));
            return 1;
        }
        // Asked for by hand: the file is put back whatever the window would decide, but never
        // from a journal that does not verify, nor over another file's content.
        if (const auto restored = j->restore(lock->fd()); !restored) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(j->path()), qPrintable(restored.error()));
            return 1;
        }
        j->remove();
        std::printf("%s is back as it was before that save.\n", qPrintable(j->path()));
        return 0;
    }
    std::fprintf(stderr, "usage: perlane-journal list | perlane-journal restore JOURNAL\n");
    return 2;
}
