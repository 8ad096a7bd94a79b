#include "opening_finder.h"

#include "document.h"
#include "part_sound.h"
#include "season.h"

#include <QRegularExpression>
#include <QThread>
#include <QtEndian>

#include <cmath>

namespace perlane {

namespace {

std::size_t points(double seconds) { return static_cast<std::size_t>(std::ceil(seconds / intro::point_seconds)); }

void note(QStringList &notes, const QString &text) {
    if (!notes.contains(text))
        notes << text;
}

QString last_line(const QByteArray &text) {
    const QList<QByteArray> lines = text.trimmed().split('\n');
    return lines.isEmpty() ? QString() : QString::fromUtf8(lines.back()).trimmed();
}

// A stretch within this many points of a part's edge runs to it (the last point or two
// may differ where the part was cut).
constexpr std::size_t edge_points = 3;
// A boundary this close to the file's start or end is put there: the first and last
// points stand for sound half a reach inside.
constexpr double file_edge_seconds = 2.0;
// A shared stretch may run on past the song into a short piece every episode has too (a
// "next episode" sting after a breath): a pause this near a boundary ends the song there,
// unless the song has pauses of its own.
constexpr double pause_reach_seconds = 5.0, pause_margin_seconds = 0.3;

// `from` and `to` (seconds in the part) moved to the pauses that part the song from what
// joins it.
void cut_at_pauses(const OpeningFinder::Prints &p, double &from, double &to) {
    const auto found = intro::pauses(p.levels);
    const double a = from - p.start, b = to - p.start;
    const intro::Pause *before = nullptr, *after = nullptr;
    for (const intro::Pause &x : found) {
        if (x.to >= a + pause_margin_seconds && x.to <= a + pause_reach_seconds)
            before = &x; // the last one near the start
        else if (!after && x.from >= b - pause_reach_seconds && x.from <= b - pause_margin_seconds)
            after = &x; // the first one near the end
        else if (x.to > a && x.from < b)
            return; // a pause in the song's middle: it has rests, and they part nothing
    }
    if (before)
        from = p.start + before->to;
    if (after)
        to = p.start + after->from;
}

std::vector<std::optional<FoundPart>> found(const std::vector<OpeningFinder::Prints> &parts, double min_s, double max_s,
                                            bool head) {
    // Reach: a stretch of points runs a little past the sound it stands for.
    intro::MatchRules rules;
    rules.min_points = points(min_s) - points(intro::point_reach_seconds);
    rules.max_points = points(max_s) + points(intro::point_reach_seconds);
    std::vector<std::vector<std::uint32_t>> prints;
    for (const auto &p : parts)
        prints.push_back(p.points);
    const auto agreed = intro::agree(prints, rules, points(2.0));
    const auto comparable = std::ranges::count_if(parts, [](const auto &p) { return !p.points.empty(); });
    std::vector<std::optional<FoundPart>> out(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!agreed[i])
            continue;
        const auto &[span, votes, partners] = *agreed[i];
        const OpeningFinder::Prints &p = parts[i];
        double from = p.start + intro::begin_seconds(span.begin);
        double to = p.start + intro::end_seconds(span.end);
        const bool at_start = span.begin <= edge_points, at_end = span.end + edge_points >= p.points.size();
        cut_at_pauses(p, from, to);
        // The points' reach blurs where the song stops: a step in loudness within it is the edge.
        if (const double d = intro::loudness_step(p.levels, to - p.start - intro::point_reach_seconds, to - p.start + 0.3, false); d >= 0)
            to = p.start + d;
        if (const double u = intro::loudness_step(p.levels, from - p.start - 0.3, from - p.start + intro::point_reach_seconds, true); u >= 0)
            from = p.start + u;
        // The head starts at the file's start; a tail that runs to the file's end ends there.
        if (head && at_start && from < file_edge_seconds)
            from = 0;
        if (!head && p.to_end && at_end && p.end - to < file_edge_seconds)
            to = p.end;
        if (to - from < min_s - 0.5 || to - from > max_s + 0.5)
            continue;
        FoundPart f{from, to, votes, static_cast<double>(votes) / static_cast<double>(std::max<std::size_t>(1, partners)),
                    head ? at_end : at_start, {}};
        if (votes < 2 && comparable > 2)
            f.doubts << QStringLiteral("only one other episode shares it");
        else if (f.confidence < 0.5)
            f.doubts << QStringLiteral("most episodes that share sound with it place it elsewhere");
        out[i] = std::move(f);
    }
    return out;
}

} // namespace

OpeningFinder::OpeningFinder(QObject *parent) : QObject(parent) {}

OpeningFinder::~OpeningFinder() {
    cancel();
    pool_.waitForDone();
}

double OpeningFinder::progress() const {
    if (!running_)
        return done_ ? 1.0 : 0.0;
    // Decoding is most of the work; the matching is the last tenth.
    return parts_total_ == 0 ? 0.9 : 0.9 * static_cast<double>(parts_done_) / static_cast<double>(parts_total_);
}

void OpeningFinder::cancel() {
    ++generation_;
    waiting_.clear();
    for (auto &[process, part] : busy_) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
        process->deleteLater();
    }
    busy_.clear();
    const bool was = running_;
    running_ = false;
    done_ = false;
    if (was)
        Q_EMIT progress_changed();
}

SearchParts search_parts(double length) {
    const double head = std::min(600.0, std::max(0.25 * length, std::min(length / 2, 180.0)));
    const double tail = std::min({360.0, std::max(0.3 * length, std::min(length / 2, 180.0)), length - head});
    return {head, length - tail};
}

EpisodeInput episode_input(const Document &doc) {
    // The default audio track, else the first.
    std::optional<std::size_t> first, chosen;
    int first_channels = 2, chosen_channels = 2;
    std::size_t n = 0;
    for (const reader::TrackEntry &t : doc.tracks()) {
        if (t.track_type.value != season::audio_type)
            continue;
        const int channels = t.audio ? static_cast<int>(std::min<std::uint64_t>(t.audio->channels.value, 64)) : 2;
        if (!first) {
            first = n;
            first_channels = channels;
        }
        if (!chosen && t.flag_default.value) {
            chosen = n;
            chosen_channels = channels;
        }
        ++n;
    }
    const auto end = doc.segment_end();
    return {doc.path(), doc.name(), chosen ? chosen : first, end ? std::optional(static_cast<double>(*end) / 1e9) : std::nullopt,
            chosen ? chosen_channels : first_channels};
}

void OpeningFinder::start(std::vector<EpisodeInput> episodes) {
    cancel();
    episodes_ = std::move(episodes);
    const std::size_t n = episodes_.size();
    heads_.assign(n, {});
    tails_.assign(n, {});
    parts_.assign(n, {});
    notes_.assign(n, {});
    followed_on_ = false;
    parts_total_ = parts_done_ = analysing_ = 0;
    std::size_t with_audio = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const EpisodeInput &e = episodes_[i];
        if (!e.audio) {
            note(notes_[i], QStringLiteral("it has no audio track"));
            continue;
        }
        if (e.seconds && *e.seconds < shortest_searched) {
            note(notes_[i], QStringLiteral("it is too short to search (under a minute)"));
            continue;
        }
        ++with_audio;
        if (e.seconds) {
            parts_[i] = search_parts(*e.seconds);
            waiting_.push_back({i, true, 0, parts_[i].head});
            if (parts_[i].tail_start < *e.seconds)
                waiting_.push_back({i, false, parts_[i].tail_start, *e.seconds - parts_[i].tail_start});
        } else {
            parts_[i] = {600, 600};
            waiting_.push_back({i, true, 0, parts_[i].head});
            note(notes_[i], QStringLiteral("its length is unknown, so its ending is not looked for"));
        }
    }
    running_ = true;
    if (with_audio < 2) {
        // Nothing to compare with: no suggestion can rest on one episode.
        waiting_.clear();
        for (auto &notes : notes_)
            note(notes, QStringLiteral("at least two episodes with audio must be open to compare them"));
        QMetaObject::invokeMethod(this, [this, gen = generation_] { if (gen == generation_) all_parts_done(); },
                                  Qt::QueuedConnection);
        return;
    }
    parts_total_ = waiting_.size();
    Q_EMIT progress_changed();
    launch();
}

void OpeningFinder::set_lanes(int lanes) {
    lanes_ = std::max(0, lanes);
    pool_.setMaxThreadCount(lanes_ > 0 ? lanes_ : QThread::idealThreadCount());
}

void OpeningFinder::launch() {
    const auto lanes = static_cast<std::size_t>(std::max(1, lanes_ > 0 ? lanes_ : QThread::idealThreadCount()));
    while (busy_.size() < lanes && !waiting_.empty()) {
        const Part part = waiting_.front();
        waiting_.pop_front();
        auto *process = new QProcess(this);
        const EpisodeInput &e = episodes_[part.episode];
        // Seeking before the input: only the part is read and decoded.
        QStringList arguments{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                              QStringLiteral("-ss"), QString::number(part.start, 'f', 3),
                              QStringLiteral("-t"), QString::number(part.length, 'f', 3),
                              QStringLiteral("-i"), e.path,
                              QStringLiteral("-map"), QStringLiteral("0:a:%1").arg(*e.audio)};
        // The music of a surround mix is at the front; the centre is talk, and the back may
        // lag the front (blended in, it smears the sound).
        if (e.channels > 2)
            arguments << QStringLiteral("-af") << QStringLiteral("pan=mono|c0=0.5*c0+0.5*c1");
        // Mono at the fingerprint's own rate: nothing decoded is thrown away later.
        arguments << QStringLiteral("-ac") << QStringLiteral("1") << QStringLiteral("-ar") << QString::number(intro::sound_rate)
                  << QStringLiteral("-f") << QStringLiteral("s16le") << QStringLiteral("-");
        connect(process, &QProcess::finished, this, [this, process, part] { part_done(process, part); });
        // A program that cannot start says so from inside start(): answered later, once.
        connect(process, &QProcess::errorOccurred, this, [this, process, part](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                QMetaObject::invokeMethod(this, [this, process, part] { part_done(process, part); }, Qt::QueuedConnection);
        });
        busy_.emplace_back(process, part);
        process->start(QStringLiteral("ffmpeg"), arguments, QIODevice::ReadOnly);
    }
}

void OpeningFinder::part_done(QProcess *process, const Part &part) {
    const auto it = std::ranges::find(busy_, process, &std::pair<QProcess *, Part>::first);
    if (it == busy_.end())
        return; // reported already
    busy_.erase(it);
    QStringList &notes = notes_[part.episode];
    process->deleteLater();
    if (process->error() == QProcess::FailedToStart) {
        note(notes, QStringLiteral("ffmpeg could not be started (install the ffmpeg package)"));
    } else if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
        const QString why = last_line(process->readAllStandardError());
        note(notes, QStringLiteral("its audio could not be read") + (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    } else {
        // The fingerprint and the loudness, off this thread; the next part decodes meanwhile.
        ++analysing_;
        pool_.start([this, gen = generation_, part, raw = process->readAllStandardOutput()] {
            auto sound = intro::analyse({reinterpret_cast<const std::int16_t *>(raw.constData()),
                                         static_cast<std::size_t>(raw.size()) / 2});
            QMetaObject::invokeMethod(this, [this, gen, part, sound = std::move(sound)]() mutable {
                if (gen != generation_)
                    return;
                --analysing_;
                if (sound.points.empty())
                    note(notes_[part.episode], QStringLiteral("its audio gave no fingerprint (too short or silent)"));
                const EpisodeInput &e = episodes_[part.episode];
                (part.head ? heads_ : tails_)[part.episode] = Prints{std::move(sound.points), std::move(sound.levels), part.start,
                                                                     part.start + part.length, !part.head && e.seconds.has_value()};
                part_counted();
            }, Qt::QueuedConnection);
        });
        launch();
        return;
    }
    launch();
    part_counted();
}

void OpeningFinder::part_counted() {
    ++parts_done_;
    Q_EMIT progress_changed();
    if (busy_.empty() && waiting_.empty() && analysing_ == 0 && parts_done_ == parts_total_)
        all_parts_done();
}

void OpeningFinder::all_parts_done() {
    pool_.start([this, gen = generation_, heads = heads_, tails = tails_] {
        auto findings = match(heads, tails);
        QMetaObject::invokeMethod(this, [this, gen, findings = std::move(findings)]() mutable {
            if (gen != generation_)
                return; // cancelled, or started over
            matched(std::move(findings));
        }, Qt::QueuedConnection);
    });
}

void OpeningFinder::matched(std::vector<EpisodeFindings> findings) {
    // A song that ran to the inner edge of its part: read further, once, and match again.
    // Every episode's part grows, as a stretch ends where either side of a pair was cut.
    if (!followed_on_) {
        followed_on_ = true;
        const auto cut = [&](auto member) {
            return std::ranges::any_of(findings, [&](const EpisodeFindings &f) { return (f.*member) && (f.*member)->at_edge; });
        };
        const bool heads = cut(&EpisodeFindings::opening), tails = cut(&EpisodeFindings::ending);
        for (std::size_t i = 0; i < findings.size(); ++i) {
            const EpisodeInput &e = episodes_[i];
            const double room = parts_[i].tail_start - parts_[i].head;
            if (!e.audio || !e.seconds || heads_[i].points.empty() || room < 1)
                continue;
            if (heads) {
                parts_[i].head += std::min(follow_on_seconds, tails ? room / 2 : room);
                waiting_.push_back({i, true, 0, parts_[i].head});
            }
            if (tails && !tails_[i].points.empty()) {
                parts_[i].tail_start -= std::min(follow_on_seconds, heads ? room / 2 : room);
                waiting_.push_back({i, false, parts_[i].tail_start, *e.seconds - parts_[i].tail_start});
            }
        }
        if (!waiting_.empty()) {
            parts_total_ += waiting_.size();
            Q_EMIT progress_changed();
            launch();
            return;
        }
    }
    for (std::size_t i = 0; i < findings.size() && i < notes_.size(); ++i) {
        for (auto *part : {&findings[i].opening, &findings[i].ending})
            if (*part && (*part)->at_edge)
                (*part)->doubts << QStringLiteral("it runs to the edge of the part searched and may go on past it");
        if (!findings[i].opening && !heads_[i].points.empty())
            note(notes_[i], QStringLiteral("no opening found: its first part shares no 15\u2013120 s stretch with another episode"));
        if (!findings[i].ending && !tails_[i].points.empty())
            note(notes_[i], QStringLiteral("no ending found: its last part shares no 15\u2013450 s stretch with another episode"));
        findings[i].notes = notes_[i];
    }
    running_ = false;
    done_ = true;
    Q_EMIT progress_changed();
    Q_EMIT finished(findings);
}

std::vector<EpisodeFindings> OpeningFinder::match(const std::vector<Prints> &heads, const std::vector<Prints> &tails) {
    const auto openings = found(heads, 15, 120, true);
    const auto endings = found(tails, 15, 450, false);
    std::vector<EpisodeFindings> out(heads.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i].opening = openings[i];
        out[i].ending = i < endings.size() ? endings[i] : std::nullopt;
    }
    return out;
}

bool names_song(const QString &name, SongKind kind) {
    static const QRegularExpression opening(QStringLiteral("\\b(opening|op)\\b"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression ending(QStringLiteral("\\b(ending|end credits|credits|ed)\\b"), QRegularExpression::CaseInsensitiveOption);
    return name.contains(kind == SongKind::Opening ? opening : ending);
}

std::uint64_t snap_to_chapters(std::uint64_t ns, const std::vector<ChapterRow> &rows, SongKind kind,
                               std::uint64_t tolerance, std::uint64_t named_tolerance) {
    const auto says = [&](const ChapterRow &r) {
        return r.skip_type == (kind == SongKind::Opening ? 1u : 2u) || names_song(r.name, kind);
    };
    std::uint64_t best = ns, distance = UINT64_MAX;
    for (const ChapterRow &r : rows) {
        const std::uint64_t within = says(r) ? named_tolerance : tolerance;
        for (std::uint64_t b : {r.start, r.end}) {
            const std::uint64_t d = b > ns ? b - ns : ns - b;
            if (d <= within && d < distance) {
                distance = d;
                best = b;
            }
        }
    }
    return best;
}

} // namespace perlane
