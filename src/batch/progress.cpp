#include "progress.h"

#include <QFileInfo>

#include <algorithm>

#include <sys/ioctl.h>
#include <unistd.h>

namespace perlane::batch {

namespace {

int columns(int fd) {
    winsize w{};
    return ::ioctl(fd, TIOCGWINSZ, &w) == 0 && w.ws_col > 20 ? w.ws_col : 80;
}

QString left_text(qint64 ms) {
    const qint64 s = (ms + 999) / 1000;
    if (s < 60)
        return QStringLiteral("%1 s left").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min left").arg((s + 59) / 60);
    return QStringLiteral("%1 h %2 min left").arg(s / 3600).arg((s % 3600 + 59) / 60);
}

} // namespace

Progress::Progress(std::FILE *to) : to_(to), terminal_(::isatty(::fileno(to)) == 1) { clock_.start(); }

void Progress::step(const QString &season, const QString &file, const QString &what) {
    const bool new_season = season != season_;
    season_ = season;
    file_ = file;
    what_ = what;
    if (terminal_) {
        draw();
    } else {
        if (new_season)
            std::fprintf(to_, "%s\n", qPrintable(season));
        if (!file.isEmpty() || !new_season)
            std::fprintf(to_, "  %s\n", qPrintable((what + QLatin1Char(' ') + QFileInfo(file).fileName()).trimmed()));
        std::fflush(to_);
    }
}

void Progress::say(const QString &line) {
    clear();
    std::fprintf(to_, "%s\n", qPrintable(line));
    if (terminal_ && !season_.isEmpty())
        draw();
    std::fflush(to_);
}

void Progress::draw() {
    const std::size_t total = std::max(total_, done_);
    const double part = total ? static_cast<double>(done_) / static_cast<double>(total) : 0;
    constexpr int bar = 20;
    const int filled = static_cast<int>(part * bar);
    QString line = QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(bar - filled, QLatin1Char('-')) +
                   QStringLiteral("] %1/%2 ").arg(done_).arg(total);
    if (done_ > 0 && total > done_)
        line += left_text(clock_.elapsed() * static_cast<qint64>(total - done_) / static_cast<qint64>(done_)) + QStringLiteral(" \u00B7 ");
    line += QFileInfo(season_).fileName() + QStringLiteral(" \u00B7 ") + what_ + QLatin1Char(' ') + QFileInfo(file_).fileName();
    const int width = columns(::fileno(to_)) - 1;
    if (line.size() > width)
        line = line.left(width - 1) + QChar(0x2026);
    std::fprintf(to_, "\r\033[K%s", qPrintable(line));
    std::fflush(to_);
    drawn_ = true;
}

void Progress::clear() {
    if (!terminal_ || !drawn_)
        return; // called before every line of the report: nothing to do most of the time
    std::fprintf(to_, "\r\033[K");
    std::fflush(to_);
    drawn_ = false;
}

} // namespace perlane::batch
