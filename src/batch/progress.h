#pragma once
// Progress on stderr: on a terminal one line redrawn in place (a bar, the season, the file
// and the time left); otherwise plain lines, one per step, for logs.
#include <QElapsedTimer>
#include <QString>

#include <cstdio>

namespace perlane::batch {

class Progress {
public:
    explicit Progress(std::FILE *to);
    // How many files the run will go through (counted before; a guess when files vanish).
    void set_total(std::size_t files) { total_ = files; }
    // `file` of `season` is being worked on: `what` it is doing ("reading", "saving").
    void step(const QString &season, const QString &file, const QString &what);
    void file_done() { ++done_; }
    // A line that stays (the terminal's bar is cleared first and drawn again after).
    void say(const QString &line);
    // Takes the terminal's bar away before other output is written to the same screen;
    // the next step draws it again.
    void clear();
    void finish() { clear(); }

private:
    void draw();
    std::FILE *to_;
    bool terminal_;
    std::size_t total_ = 0, done_ = 0;
    QString season_, file_, what_;
    QElapsedTimer clock_;
    bool drawn_ = false;
};

} // namespace perlane::batch
