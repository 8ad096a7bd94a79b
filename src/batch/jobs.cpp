#include "jobs.h"

#include "editing_marks.h"
#include "file_lock.h"
#include "opening_finder.h"
#include "suggestions.h"

#include <QFileInfo>
#include <QEventLoop>

#include <algorithm>
#include <csignal>

namespace perlane::batch {

namespace {

// Runs the event loop until `done` holds, checked whenever `sender` sends `signal`.
template <typename Sender, typename Signal>
void wait_for(Sender *sender, Signal signal, const std::function<bool()> &done, std::function<void()> &on_interrupt) {
    if (done())
        return;
    QEventLoop loop;
    const auto c = QObject::connect(sender, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    on_interrupt = [&loop] { loop.quit(); };
    loop.exec();
    on_interrupt = {};
    QObject::disconnect(c);
}

} // namespace

Runner::Runner(const Options &options, Progress &progress, QTextStream &out)
    : options_(options), progress_(progress), out_(out) {
    // What recovery found (saves cut short by an earlier run or by the window) is said first.
    QObject::connect(&session_.journals(), &Journals::status, &session_, [this](const QString &text, bool) {
        this->out() << text << '\n';
        out_.flush();
    });
}

QTextStream &Runner::out() {
    progress_.clear();
    return out_;
}

void Runner::interrupt(int signal) {
    if (interrupted_)
        return;
    interrupted_ = signal;
    progress_.say(QStringLiteral("Interrupted: the running save finishes, nothing new starts."));
    if (on_interrupt_ && !session_.saves().saving())
        on_interrupt_();
}

int Runner::run(Library &library) {
    // Saves that never ended (here or in the window) are settled before any file is read.
    session_.journals().ensure_recovered();
    std::function<void()> stop;
    wait_for(&session_.journals(), &Journals::settled, [this] { return !session_.journals().waiting(); }, stop);
    std::size_t seasons = 0;
    while (!interrupted_) {
        const auto s = library.next();
        for (const Problem &p : library.take_problems()) {
            out() << p.path << ": " << p.reason << '\n';
            if (p.failed)
                outcome_.failed.push_back(p);
        }
        if (!s)
            break;
        ++seasons;
        season(*s);
        out_.flush();
    }
    progress_.finish();
    print_summary(seasons);
    if (interrupted_)
        return 128 + interrupted_;
    return outcome_.failed.empty() ? 0 : 1;
}

std::optional<QString> Runner::hands_off(const Document &doc) {
    if (EditingMarks::held(doc.identity()))
        return QStringLiteral("it is open in perlane with unsaved edits");
    if (auto lock = FileLock::take(doc.path()); !lock)
        return lock.error().busy ? QStringLiteral("it is being saved by another program") : lock.error().why;
    return std::nullopt;
}

void Runner::season(const Season &s) {
    progress_.step(s.folder, {}, QStringLiteral("reading"));
    Episodes e = read_season(s, options_.jobs);
    out() << s.folder << '\n';
    for (const Problem &p : e.unreadable) {
        out() << "  " << QFileInfo(p.path).fileName() << ": not read: " << p.reason << '\n';
        outcome_.failed.push_back(p);
        progress_.file_done();
    }
    if (e.docs.empty())
        return;
    session_.close_all();
    for (const auto &doc : e.docs)
        session_.add(doc);
    std::map<const Document *, QString> left;
    season::Documents eligible;
    for (const auto &doc : e.docs) {
        if (auto why = hands_off(*doc))
            left[doc.get()] = *why;
        else
            eligible.push_back(doc);
    }
    const auto reasons = options_.command == Command::MarkOpenings ? plan_openings(e.docs, eligible) : plan(eligible);

    std::vector<std::shared_ptr<Document>> planned;
    for (const auto &doc : e.docs) {
        const QString name = QFileInfo(doc->path()).fileName();
        const auto reason = reasons.find(doc.get());
        if (const auto l = left.find(doc.get()); l != left.end()) {
            out() << "  " << name << ": skipped: " << l->second << '\n';
            ++outcome_.skipped;
        } else if (options_.command == Command::UndoLastSave ? session_.journals().can_undo_save(*doc) : doc->modified()) {
            out() << "  " << name << ": " << (options_.apply ? "" : "would ");
            if (options_.command == Command::UndoLastSave) {
                out() << "undo the last save\n";
            } else {
                out() << "change\n";
                for (const season::Change &c : season::changes(*doc, doc->read(), doc->state()))
                    out() << "    " << c.item << ", " << c.what << ": " << c.from << " \u2192 " << c.to << '\n';
                if (reason != reasons.end())
                    out() << "    (" << reason->second << ")\n";
            }
            planned.push_back(doc);
        } else if (reason != reasons.end() && reason->second.startsWith(QStringLiteral("skipped: "))) {
            out() << "  " << name << ": " << reason->second << '\n';
            ++outcome_.skipped;
        } else {
            out() << "  " << name << ": nothing to change";
            if (reason != reasons.end())
                out() << " (" << reason->second << ')';
            out() << '\n';
            ++outcome_.unchanged;
        }
    }
    out_.flush();
    for (const auto &doc : e.docs)
        if (std::ranges::find(planned, doc) == planned.end())
            progress_.file_done();
    for (const auto &doc : planned) {
        if (!options_.apply) {
            ++outcome_.changed;
        } else if (!interrupted_) {
            progress_.step(s.folder, doc->path(), options_.command == Command::UndoLastSave ? QStringLiteral("undoing") : QStringLiteral("saving"));
            if (options_.command == Command::UndoLastSave)
                undo_save(*doc);
            else
                save(doc);
            out_.flush();
        }
        progress_.file_done();
    }
    session_.close_all();
}

std::map<const Document *, QString> Runner::plan(const season::Documents &eligible) {
    std::map<const Document *, QString> reasons;
    const auto apply = [&](const season::Plan &p) {
        for (const season::Skip &k : p.skipped)
            reasons[eligible[k.file].get()] = QStringLiteral("skipped: ") + k.reason;
        if (!p.refusal.isEmpty() && p.skipped.empty() && p.unchanged.empty())
            for (const auto &doc : eligible)
                reasons.try_emplace(doc.get(), QStringLiteral("skipped: ") + p.refusal);
        for (const season::FileEdit &fe : p.edits)
            session_.edit(*eligible[fe.file], [&](DocumentState &st) {
                st = fe.state;
                return true;
            });
    };
    switch (options_.command) {
    case Command::DefaultLanguage:
        if (!options_.audio.isEmpty())
            apply(season::default_by_language(eligible, season::audio_type, options_.audio));
        if (!options_.subtitles.isEmpty()) {
            // An audio edit of the file stands: only what the subtitle rule says is added.
            const auto audio_skips = reasons;
            apply(season::default_by_language(eligible, season::subtitle_type, options_.subtitles));
            for (auto &[doc, why] : reasons)
                if (const auto a = audio_skips.find(doc); a != audio_skips.end() && a->second != why)
                    why = a->second + QStringLiteral("; ") + why.mid(9);
        }
        break;
    case Command::Flags:
        // One flag's plan at a time, each made on what the ones before it left.
        for (std::size_t round = 0; round < track_flag_count; ++round) {
            const auto suggestions = season::flag_suggestions(eligible);
            const auto first = std::ranges::find_if(suggestions, [](const season::Suggestion &x) { return !x.plan.edits.empty(); });
            if (first == suggestions.end())
                break;
            apply(first->plan);
        }
        break;
    case Command::UndoLastSave:
        for (const auto &doc : eligible)
            if (!session_.journals().can_undo_save(*doc))
                reasons[doc.get()] = QStringLiteral("no kept save, or it changed since its last save");
        break;
    case Command::MarkOpenings:
        break;
    }
    return reasons;
}

std::map<const Document *, QString> Runner::plan_openings(const std::vector<std::shared_ptr<Document>> &all,
                                                          const season::Documents &eligible) {
    std::map<const Document *, QString> reasons;
    // Every episode takes part in the matching, those left alone too: they are votes.
    std::vector<EpisodeInput> inputs;
    for (const auto &doc : all)
        inputs.push_back(episode_input(*doc));
    OpeningFinder finder;
    finder.set_lanes(options_.jobs);
    std::optional<std::vector<EpisodeFindings>> found;
    QObject::connect(&finder, &OpeningFinder::finished, &finder, [&](const std::vector<EpisodeFindings> &f) { found = f; });
    int shown_tenth = -1; // said in steps of 10 %, for logs
    QObject::connect(&finder, &OpeningFinder::progress_changed, &finder, [&] {
        const int tenth = static_cast<int>(finder.progress() * 10);
        if (tenth == shown_tenth)
            return;
        shown_tenth = tenth;
        progress_.step(QFileInfo(all.front()->path()).path(), {}, QStringLiteral("finding openings %1%").arg(tenth * 10));
    });
    finder.start(std::move(inputs));
    wait_for(&finder, &OpeningFinder::finished, [&] { return found.has_value() || interrupted_; }, on_interrupt_);
    if (!found) {
        finder.cancel();
        for (const auto &doc : eligible)
            reasons[doc.get()] = QStringLiteral("skipped: interrupted before its opening was found");
        return reasons;
    }
    std::vector<EpisodeSuggestion> chosen;
    for (std::size_t i = 0; i < all.size() && i < found->size(); ++i) {
        if (std::ranges::find(eligible, all[i]) == eligible.end())
            continue;
        EpisodeSuggestion s = suggest(all[i], (*found)[i]);
        if (options_.include_doubtful && (s.opening || s.ending) && s.doubtful())
            s.accepted = true;
        QStringList why;
        if (!s.opening && !s.ending)
            why << (s.found.notes.isEmpty() ? QStringLiteral("no opening or ending found") : s.found.notes.join(QStringLiteral("; ")));
        else if (!s.accepted && s.doubtful())
            why << QStringLiteral("doubtful, left unmarked (--include-doubtful marks it)");
        if (s.accepted && !s.change.isEmpty())
            why << s.change;
        for (const auto &[part, what] : {std::pair{&s.found.opening, "opening"}, {&s.found.ending, "ending"}})
            if (*part && !(*part)->doubts.isEmpty())
                why << QStringLiteral("%1: %2").arg(QLatin1StringView(what), (*part)->doubts.join(QStringLiteral("; ")));
        if (!why.isEmpty())
            reasons[all[i].get()] = why.join(QStringLiteral("; "));
        chosen.push_back(std::move(s));
    }
    const MarkOutcome marked = mark_suggestions(session_, chosen);
    for (const QString &f : marked.failed)
        for (const auto &doc : eligible)
            if (f.startsWith(doc->name() + QLatin1Char(' ')) && !doc->modified())
                reasons[doc.get()] = QStringLiteral("skipped: ") + f;
    return reasons;
}

void Runner::save(const std::shared_ptr<Document> &doc) {
    SaveQueue &saves = session_.saves();
    QString failure;
    const auto c = QObject::connect(&saves, &SaveQueue::status, &saves, [&](const QString &text, bool failed) {
        if (failed)
            failure = text;
    });
    saves.save(doc, false);
    std::function<void()> ignore; // an interruption waits for the running save
    wait_for(&saves, &SaveQueue::saving_changed, [&] { return !saves.saving(); }, ignore);
    QObject::disconnect(c);
    const QString name = QFileInfo(doc->path()).fileName();
    if (doc->modified() || !failure.isEmpty()) {
        const QString why = failure.isEmpty() ? QStringLiteral("not saved") : failure;
        out() << "  " << name << ": not saved: " << why << '\n';
        outcome_.failed.push_back({doc->path(), why});
    } else {
        out() << "  " << name << ": saved\n";
        ++outcome_.changed;
    }
}

void Runner::undo_save(Document &doc) {
    const QString name = QFileInfo(doc.path()).fileName();
    if (const auto undone = session_.undo_last_save(doc); !undone) {
        out() << "  " << name << ": not undone: " << undone.error() << '\n';
        outcome_.failed.push_back({doc.path(), undone.error()});
    } else {
        out() << "  " << name << ": last save undone\n";
        ++outcome_.changed;
    }
}

void Runner::print_summary(std::size_t seasons) {
    const std::size_t files = outcome_.changed + outcome_.unchanged + outcome_.skipped + outcome_.failed.size();
    out() << '\n' << (interrupted_ ? "Interrupted. " : "") << seasons << (seasons == 1 ? " season, " : " seasons, ") << files
         << (files == 1 ? " file: " : " files: ") << outcome_.changed
         << (options_.apply ? (options_.command == Command::UndoLastSave ? " undone, " : " changed and saved, ") : " would change, ")
         << outcome_.unchanged << " nothing to change, " << outcome_.skipped << " skipped, " << outcome_.failed.size() << " failed.\n";
    if (!options_.apply && outcome_.changed > 0)
        out() << "Nothing was changed: run again with --apply to save.\n";
    for (const Problem &p : outcome_.failed)
        out() << "  failed: " << p.path << ": " << p.reason << '\n';
    out_.flush();
}

} // namespace perlane::batch
