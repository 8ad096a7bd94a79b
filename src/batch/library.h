#pragma once
// The seasons of a media library: every folder's Matroska files (found by their EBML
// header, whatever their names; a file named as Matroska that is not one is reported), one
// folder after another, so that a library of any size is walked with only one folder's
// names in memory.
#include <QString>
#include <QStringList>

#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace perlane::batch {

struct Problem {
    QString path;
    QString reason;
    bool failed = true; // false: only a note (a link back into a folder already searched)
};

struct Season {
    QString folder;
    QStringList files;             // in natural order ("Episode 2" before "Episode 10")
    std::vector<Problem> problems; // files of the folder that cannot be read
};

class Library {
public:
    explicit Library(const QStringList &paths);
    // The next folder with Matroska files (or problems), none when the walk is over.
    std::optional<Season> next();
    // What could not be searched: paths that do not exist, folders that cannot be listed,
    // links that lead back into a folder already searched.
    std::vector<Problem> take_problems() { return std::exchange(problems_, {}); }

private:
    void add_root(const QString &path);
    std::optional<Season> list(const QString &folder);
    // Puts the file into the season, or its problem; `named` on the command line: a file
    // that is not Matroska is a problem too.
    void take(const QString &file, Season &into, bool named);

    std::vector<QString> folders_; // to walk, last first
    std::vector<Season> given_;    // files named on the command line, by folder
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen_folders_, seen_files_;
    std::vector<Problem> problems_;
};

// How many Matroska files the paths hold (their first bytes only), and files named as one:
// the progress's total.
std::size_t count_files(const QStringList &paths);

// Whether the file starts with an EBML header; why not, when it cannot be read.
std::optional<QString> unreadable_or_not_matroska(const QString &path, bool &matroska);

} // namespace perlane::batch
