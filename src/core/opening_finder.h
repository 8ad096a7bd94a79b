#pragma once
// Finds the opening and the ending of every episode of a season by their sound: the
// audio fingerprint (ffmpeg's Chromaprint muxer) of each episode's first part and last
// part, matched across the episodes. ffmpeg runs as separate processes, as many at once as
// there are cores, each decoding only its part; the matching runs off the calling thread.
#include "chapters.h"
#include "intro_match.h"

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QThreadPool>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace perlane {

class Document;

struct EpisodeInput {
    QString path;
    QString name;
    std::optional<std::size_t> audio; // which audio stream (ffmpeg's 0:a:N); none without audio
    std::optional<double> seconds;    // the episode's length, when known
    int channels = 2;                 // of that stream
};
// What the finder is to read of a file: its default audio track (else its first), its length.
EpisodeInput episode_input(const Document &doc);

struct FoundPart {
    double from = 0, to = 0; // seconds
    std::size_t votes = 0;   // other episodes that share it
    double confidence = 0;   // votes out of the other episodes that share a stretch of this part with it
    bool at_edge = false;    // it runs to the inner edge of the part searched: it may go on past it
    QStringList doubts;      // why it may be wrong, for people; empty when it is sound
};

struct EpisodeFindings {
    std::optional<FoundPart> opening, ending;
    QStringList notes; // why something is missing, for people
};

// Openings are 15 to 120 s, endings 15 to 450 s. Where each is looked for: the head is a
// quarter of the episode, at least 3 minutes (half of a shorter one), at most 10; the tail
// is the last 30 %, at least 3 minutes (half), at most 6, and never reaches into the head.
// A song that runs to the inner edge of its part is followed on by reading up to 4 more
// minutes of it (at most up to the other part).
struct SearchParts {
    double head = 0;         // seconds from the start
    double tail_start = 0;   // to the end; tail_start == length: no tail
};
SearchParts search_parts(double length);
inline constexpr double shortest_searched = 60, follow_on_seconds = 240;

class OpeningFinder : public QObject {
    Q_OBJECT
public:
    explicit OpeningFinder(QObject *parent = nullptr);
    ~OpeningFinder() override;

    // Starts over with these episodes; `finished` follows unless cancelled.
    void start(std::vector<EpisodeInput> episodes);
    void cancel();
    // How many parts are decoded and fingerprinted at once (0: as many as there are cores).
    void set_lanes(int lanes);
    bool running() const { return running_; }
    double progress() const;

    // One part's fingerprint: its points, where it starts, and whether it runs to the file's end.
    struct Prints {
        std::vector<std::uint32_t> points;
        std::vector<float> levels; // loudness, for the pauses a boundary may be put at
        double start = 0, end = 0; // seconds
        bool to_end = false;       // `end` is the file's end
    };
    // The matching alone, on fingerprints already made (head and tail per episode; no points
    // when missing).
    static std::vector<EpisodeFindings> match(const std::vector<Prints> &heads, const std::vector<Prints> &tails);

Q_SIGNALS:
    void progress_changed();
    void finished(const std::vector<EpisodeFindings> &findings);

private:
    struct Part {
        std::size_t episode;
        bool head;
        double start, length;
    };
    void launch();
    void part_done(QProcess *process, const Part &part);
    void part_counted();
    void all_parts_done();
    void matched(std::vector<EpisodeFindings> findings);

    std::vector<EpisodeInput> episodes_;
    std::deque<Part> waiting_;
    std::vector<std::pair<QProcess *, Part>> busy_;
    std::vector<Prints> heads_, tails_;
    std::vector<SearchParts> parts_;
    bool followed_on_ = false; // the second round, reading further where a song ran past its part
    std::vector<QStringList> notes_;
    std::size_t parts_total_ = 0, parts_done_ = 0;
    std::size_t analysing_ = 0; // parts decoded whose fingerprint is being made
    bool running_ = false;
    bool done_ = false; // the last run finished (not cancelled)
    int lanes_ = 0;
    int generation_ = 0; // a cancel or a new start makes older replies stale
    QThreadPool pool_;   // fingerprints and the matching; waited for when the finder goes
};

// Where a found boundary is put among the file's chapters: on the nearest chapter boundary
// within the finder's own error, or within `named_tolerance` on the boundary of a chapter
// whose name or skip type says it is the opening (or the ending), else where it was found.
enum class SongKind { Opening, Ending };
// Whether a chapter's name says it is the opening (the ending): "Opening", "OP", "Ending",
// "ED", "Credits"…; not "Intro", which often names the cold open before the song.
bool names_song(const QString &name, SongKind kind);
std::uint64_t snap_to_chapters(std::uint64_t ns, const std::vector<ChapterRow> &rows, SongKind kind,
                               std::uint64_t tolerance, std::uint64_t named_tolerance);

} // namespace perlane
