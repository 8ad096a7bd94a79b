#pragma once
// Finds the opening and the ending of every episode of a season by their sound: the
// audio fingerprint (ffmpeg's Chromaprint muxer) of each episode's first part and last
// part, matched across the episodes. ffmpeg runs as separate processes, as many at once as
// there are cores, each decoding only its part; the matching runs off the calling thread.
#include "chapters.h"
#include "intro_match.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QThreadPool>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace perlane {

struct EpisodeInput {
    QString path;
    QString name;
    std::optional<std::size_t> audio; // which audio stream (ffmpeg's 0:a:N); none without audio
    std::optional<double> seconds;    // the episode's length, when known
};

struct FoundPart {
    double from = 0, to = 0; // seconds
    std::size_t votes = 0;   // other episodes that share it
    double confidence = 0;   // votes out of the other episodes that could be compared
};

struct EpisodeFindings {
    std::optional<FoundPart> opening, ending;
    QStringList notes; // why something is missing, for people
};

// Openings are 15 to 120 s, within the first quarter of an episode (at most 10 minutes);
// endings 15 to 450 s, within its last 6 minutes.
inline constexpr double head_share = 0.25, head_max_seconds = 600, tail_seconds = 360;

class OpeningFinder : public QObject {
    Q_OBJECT
public:
    explicit OpeningFinder(QObject *parent = nullptr);
    ~OpeningFinder() override;

    // Starts over with these episodes; `finished` follows unless cancelled.
    void start(std::vector<EpisodeInput> episodes);
    void cancel();
    bool running() const { return running_; }
    double progress() const;
    // Where the last finished run's time went, in milliseconds.
    struct Timing {
        qint64 decoding = 0; // from the start until every fingerprint was in
        qint64 matching = 0;
    };
    Timing timing() const { return timing_; }

    // The matching alone, on fingerprints already made (head and tail per episode; empty
    // when missing), with the start of each tail in seconds.
    static std::vector<EpisodeFindings> match(const std::vector<std::vector<std::uint32_t>> &heads,
                                              const std::vector<std::vector<std::uint32_t>> &tails,
                                              const std::vector<double> &tail_starts);

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
    void all_parts_done();

    std::vector<EpisodeInput> episodes_;
    std::deque<Part> waiting_;
    std::vector<std::pair<QProcess *, Part>> busy_;
    std::vector<std::vector<std::uint32_t>> heads_, tails_;
    std::vector<double> tail_starts_;
    std::vector<QStringList> notes_;
    std::size_t parts_total_ = 0, parts_done_ = 0;
    bool running_ = false;
    bool done_ = false; // the last run finished (not cancelled)
    QElapsedTimer clock_;
    Timing timing_;
    int generation_ = 0; // a cancel or a new start makes older replies stale
    QThreadPool pool_;   // the matching; waited for when the finder goes
};

// The nearest chapter boundary (a start or an end) within `tolerance` of `ns`, else `ns`.
std::uint64_t snap_to_chapters(std::uint64_t ns, const std::vector<ChapterRow> &rows, std::uint64_t tolerance);

} // namespace perlane
