#include "opening_finder.h"

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

std::vector<std::optional<FoundPart>> found(const std::vector<std::vector<std::uint32_t>> &parts, double min_s,
                                            double max_s, const std::vector<double> &offsets) {
    // Reach: a stretch of points runs a little past the sound it stands for.
    const intro::MatchRules rules{6, 8, points(min_s) - points(intro::point_reach_seconds),
                                  points(max_s) + points(intro::point_reach_seconds)};
    const auto agreed = intro::agree(parts, rules, points(2.0));
    const auto comparable = static_cast<double>(std::ranges::count_if(parts, [](const auto &p) { return !p.empty(); }));
    std::vector<std::optional<FoundPart>> out(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!agreed[i])
            continue;
        const double from = offsets[i] + intro::begin_seconds(agreed[i]->span.begin);
        const double to = offsets[i] + intro::end_seconds(agreed[i]->span.end);
        if (to - from < min_s - 0.5 || to - from > max_s + 0.5)
            continue;
        out[i] = FoundPart{from, to, agreed[i]->votes, static_cast<double>(agreed[i]->votes) / std::max(1.0, comparable - 1)};
    }
    return out;
}

} // namespace

OpeningFinder::OpeningFinder(QObject *parent) : QObject(parent) { pool_.setMaxThreadCount(1); }

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

void OpeningFinder::start(std::vector<EpisodeInput> episodes) {
    cancel();
    episodes_ = std::move(episodes);
    const std::size_t n = episodes_.size();
    heads_.assign(n, {});
    tails_.assign(n, {});
    tail_starts_.assign(n, 0);
    notes_.assign(n, {});
    parts_total_ = parts_done_ = 0;
    timing_ = {};
    clock_.start();
    std::size_t with_audio = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const EpisodeInput &e = episodes_[i];
        if (!e.audio) {
            note(notes_[i], QStringLiteral("it has no audio track"));
            continue;
        }
        ++with_audio;
        const double head = e.seconds ? std::min(*e.seconds * head_share, head_max_seconds) : head_max_seconds;
        waiting_.push_back({i, true, 0, head});
        if (e.seconds) {
            tail_starts_[i] = std::max(0.0, *e.seconds - tail_seconds);
            waiting_.push_back({i, false, tail_starts_[i], *e.seconds - tail_starts_[i]});
        } else {
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

void OpeningFinder::launch() {
    const auto lanes = static_cast<std::size_t>(std::max(1, QThread::idealThreadCount()));
    while (busy_.size() < lanes && !waiting_.empty()) {
        const Part part = waiting_.front();
        waiting_.pop_front();
        auto *process = new QProcess(this);
        const EpisodeInput &e = episodes_[part.episode];
        // Seeking before the input: only the part is read and decoded.
        const QStringList arguments{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                    QStringLiteral("-ss"), QString::number(part.start, 'f', 3),
                                    QStringLiteral("-t"), QString::number(part.length, 'f', 3),
                                    QStringLiteral("-i"), e.path,
                                    QStringLiteral("-map"), QStringLiteral("0:a:%1").arg(*e.audio),
                                    QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("chromaprint"),
                                    QStringLiteral("-fp_format"), QStringLiteral("raw"), QStringLiteral("-")};
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
    if (process->error() == QProcess::FailedToStart) {
        note(notes, QStringLiteral("ffmpeg could not be started (install the ffmpeg package)"));
    } else if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
        const QString why = last_line(process->readAllStandardError());
        note(notes, QStringLiteral("its audio could not be read") + (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    } else {
        const QByteArray raw = process->readAllStandardOutput();
        std::vector<std::uint32_t> values(static_cast<std::size_t>(raw.size()) / 4);
        for (std::size_t k = 0; k < values.size(); ++k)
            values[k] = qFromLittleEndian<std::uint32_t>(raw.constData() + 4 * k);
        if (values.empty())
            note(notes, QStringLiteral("its audio gave no fingerprint (too short or silent)"));
        (part.head ? heads_ : tails_)[part.episode] = std::move(values);
    }
    process->deleteLater();
    ++parts_done_;
    Q_EMIT progress_changed();
    launch();
    if (busy_.empty() && waiting_.empty() && parts_done_ == parts_total_)
        all_parts_done();
}

void OpeningFinder::all_parts_done() {
    timing_.decoding = clock_.elapsed();
    pool_.start([this, gen = generation_, heads = heads_, tails = tails_, starts = tail_starts_] {
        QElapsedTimer matching;
        matching.start();
        auto findings = match(heads, tails, starts);
        const qint64 took = matching.elapsed();
        QMetaObject::invokeMethod(this, [this, gen, took, findings = std::move(findings)]() mutable {
            if (gen != generation_)
                return; // cancelled, or started over
            timing_.matching = took;
            for (std::size_t i = 0; i < findings.size() && i < notes_.size(); ++i) {
                if (!findings[i].opening && !heads_[i].empty())
                    note(notes_[i], QStringLiteral("no opening found: its first part shares no 15\u2013120 s stretch with another episode"));
                if (!findings[i].ending && !tails_[i].empty())
                    note(notes_[i], QStringLiteral("no ending found: its last part shares no 15\u2013450 s stretch with another episode"));
                findings[i].notes = notes_[i];
            }
            running_ = false;
            done_ = true;
            Q_EMIT progress_changed();
            Q_EMIT finished(findings);
        }, Qt::QueuedConnection);
    });
}

std::vector<EpisodeFindings> OpeningFinder::match(const std::vector<std::vector<std::uint32_t>> &heads,
                                                  const std::vector<std::vector<std::uint32_t>> &tails,
                                                  const std::vector<double> &tail_starts) {
    const auto openings = found(heads, 15, 120, std::vector<double>(heads.size(), 0.0));
    const auto endings = found(tails, 15, 450, tail_starts);
    std::vector<EpisodeFindings> out(heads.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i].opening = openings[i];
        out[i].ending = endings[i];
    }
    return out;
}

std::uint64_t snap_to_chapters(std::uint64_t ns, const std::vector<ChapterRow> &rows, std::uint64_t tolerance) {
    std::uint64_t best = ns, distance = tolerance + 1;
    for (const ChapterRow &r : rows)
        for (std::uint64_t b : {r.start, r.end}) {
            const std::uint64_t d = b > ns ? b - ns : ns - b;
            if (d < distance) {
                distance = d;
                best = b;
            }
        }
    return best;
}

} // namespace perlane
