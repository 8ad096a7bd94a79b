// Saving: checked before the tool runs (lock, still the file that was read), run without
// blocking the window, and the document made what is on disk afterwards. Also the watch
// that notices open files changed by other programs.
#include "backend.h"

#include "save_plan.h"

#include <QFile>
#include <QFileInfo>


namespace perlane {

namespace {

// Whether the file at the document's path still holds what the document read. A changed
// time or size alone is not a change when the metadata read again is the same.
bool still_as_read(Document &doc, const std::optional<reader::FileIdentity> &now) {
    if (now && *now == doc.identity())
        return true;
    auto fresh = Document::load(doc.path());
    if (!fresh || !now || !(*fresh)->identity().same_file(doc.identity()) || !doc.same_metadata(**fresh))
        return false;
    doc.adopt_identity(*now);
    return true;
}

QString changed_text(const Document &doc) {
    return QStringLiteral("%1 changed on disk since it was opened. Reload it, or save anyway.").arg(doc.name());
}

} // namespace

void Backend::save_file() {
    Document *doc = active_document();
    if (!doc)
        return;
    if (!doc->modified()) {
        report(QStringLiteral("Nothing to save: %1 has no changes.").arg(doc->name()), false);
        return;
    }
    enqueue(docs_[*active_index_], false);
}

void Backend::save_anyway() {
    if (Document *doc = active_document(); doc && doc->modified())
        enqueue(docs_[*active_index_], true);
}

void Backend::save_all() {
    // All queued before the first starts, so that its progress counts them all.
    for (const auto &doc : docs_)
        if (doc->modified())
            enqueue(doc, false, false);
    if (!saving_)
        start_next_save();
}

void Backend::enqueue(std::shared_ptr<Document> doc, bool anyway, bool start) {
    for (const PendingSave &p : queue_)
        if (p.doc.lock() == doc)
            return; // already waiting
    if (doc->saving)
        return;
    queue_.push_back({doc, anyway});
    ++batch_total_;
    if (start && !saving_)
        start_next_save();
}

QString Backend::progress(const Document &doc) const {
    if (batch_total_ <= 1)
        return QStringLiteral("Saving %1\u2026").arg(doc.name());
    return QStringLiteral("Saving %1 of %2: %3\u2026").arg(batch_done_ + 1).arg(batch_total_).arg(doc.name());
}

void Backend::set_saving(bool value) {
    if (saving_ == value)
        return;
    saving_ = value;
    Q_EMIT saving_changed();
}

void Backend::start_next_save() {
    while (!queue_.empty() && !closing_) {
        const PendingSave next = queue_.front();
        queue_.pop_front();
        const std::shared_ptr<Document> doc = next.doc.lock();
        if (!doc || !doc->modified()) { // removed, or nothing left to save
            ++batch_done_;
            continue;
        }
        last_run_.reset(); // the output shown is this save's, or none
        const auto fail = [&](const QString &why) {
            batch_failures_ << why;
            ++batch_done_;
            report(why, true);
        };
        auto lock = FileLock::take(doc->path());
        if (!lock) {
            fail(QStringLiteral("Could not save %1: %2.").arg(doc->name(), lock.error().why));
            continue;
        }
        if (!next.anyway && !still_as_read(*doc, lock->identity())) {
            doc->changed_on_disk = true;
            Q_EMIT disk_state_changed();
            fail(changed_text(*doc));
            continue;
        }
        const SavePlan plan = plan_save(*doc);
        if (plan.refusal) {
            fail(QStringLiteral("Could not save %1: %2 Nothing was changed.").arg(doc->name(), *plan.refusal));
            continue;
        }
        auto ranges = prepare_journal(*doc, *lock, plan);
        if (!ranges) {
            fail(QStringLiteral("Could not save %1: %2").arg(doc->name(), ranges.error()));
            continue;
        }
        lock_ = std::move(*lock);
        saving_doc_ = doc;
        saved_state_ = doc->state();
        saving_plan_ = plan;
        doc->saving = true;
        set_saving(true);
        report(progress(*doc), false);
        Q_EMIT undo_changed();
        // The copy can be large (whatever lies past the segment's end): off the window's
        // thread. The lock is held meanwhile, and nothing else uses its descriptor.
        copied_.reset();
        copier_.reset(QThread::create([this, fd = lock_->fd(), path = doc->path(), before = doc->identity(),
                                       list = std::move(*ranges)] { copied_ = Journal::write(fd, path, before, list); }));
        connect(copier_.get(), &QThread::finished, this, &Backend::journal_written, Qt::QueuedConnection);
        copier_->start();
        return;
    }
    end_batch();
}

// The journal is on disk (or could not be written): the tool runs now.
void Backend::journal_written() {
    copier_.reset();
    const std::shared_ptr<Document> doc = saving_doc_.lock();
    const QString name = doc ? doc->name() : QFileInfo(copied_ && *copied_ ? (*copied_)->path() : QString()).fileName();
    const auto fail = [&](const QString &why) {
        if (journal_)
            journal_->remove();
        journal_.reset();
        lock_.reset();
        saving_doc_.reset();
        if (doc)
            doc->saving = false;
        batch_failures_ << why;
        ++batch_done_;
        report(why, true);
        notify_modified();
        Q_EMIT undo_changed();
        start_next_save();
    };
    if (!copied_ || !*copied_)
        return fail(QStringLiteral("Could not save %1: no journal of the save could be kept: %2. Nothing was changed.")
                        .arg(name, copied_ ? copied_->error() : QStringLiteral("it was not written")));
    journal_ = std::move(**copied_);
    copied_.reset();
    QString chapters_path;
    if (saving_plan_.chapters) {
        // A private directory: no other user can plant a link there, and two running
        // instances do not share a file.
        chapters_dir_ = std::make_unique<QTemporaryDir>();
        chapters_path = chapters_dir_->filePath(QStringLiteral("chapters.xml"));
        QFile file(chapters_path);
        if (!chapters_dir_->isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) ||
            file.write(*saving_plan_.chapters) != saving_plan_.chapters->size() || !file.flush())
            return fail(QStringLiteral("Could not save %1: the chapters file could not be written (%2).")
                            .arg(name, chapters_dir_->isValid() ? file.errorString() : chapters_dir_->errorString()));
    }
    // The tool writes the very file that was locked and checked, through the lock's
    // descriptor, whatever the name points to by now. It shares the lock (and so does the
    // runner that records its end): if this program ends during the save, the journal is
    // not acted on before both have ended.
    lock_->set_inherited(true);
    tool_.start_save(journal_->journal_path(), lock_->fd(), QStringLiteral("mkvpropedit"),
                     saving_plan_.arguments(QStringLiteral("/proc/self/fd/%1").arg(lock_->fd()), chapters_path));
    lock_->set_inherited(false);
}

void Backend::end_batch() {
    if (batch_total_ > 1) {
        if (batch_failures_.isEmpty())
            report(QStringLiteral("Saved %1 files.").arg(batch_total_), false);
        else
            report(QStringLiteral("%1 of %2 files could not be saved. %3")
                       .arg(batch_failures_.size())
                       .arg(batch_total_)
                       .arg(batch_failures_.join(QLatin1Char(' '))),
                   true);
    }
    batch_total_ = batch_done_ = 0;
    batch_failures_.clear();
    set_saving(false);
}

// What becomes of the journal once the tool has ended: kept when the save finished, the
// file put back when it did not. The outcome's words, empty when the save went well.
QString Backend::settle_save(const ToolResult &result, Document *doc) {
    const QString name = journal_->name();
    if (result.start_error) {
        journal_->remove(); // it never ran: the file is as it was
        return QStringLiteral("Could not save %1: mkvpropedit could not be started (%2). Is mkvtoolnix installed?")
            .arg(name, *result.start_error);
    }
    if (result.crashed || result.exit_code >= 2) {
        QString why = result.message();
        if (result.crashed)
            why = result.signal ? QStringLiteral("mkvpropedit was ended (signal %1) before it finished").arg(result.signal)
                                : QStringLiteral("mkvpropedit was ended before it finished");
        return restore_after_failure(doc, why.isEmpty() ? QStringLiteral("mkvpropedit failed") : why);
    }
    QString failure;
    // Kept, so that the save can be taken back; the runner recorded it already, this is
    // for a tool run without it. A save that finished is never taken back, so a record
    // that cannot be written is said, not acted on.
    if (const auto after = lock_->identity()) {
        if (const auto marked = journal_->mark_done(*after); !marked)
            failure = QStringLiteral("%1 was saved, but the record of the save could not be written (%2); "
                                     "Undo Last Save will not be offered for it.")
                          .arg(name, marked.error());
    }
    if (Journal::prune())
        failure_note_ = QStringLiteral(" Its journal alone is larger than the 64 MiB kept for undoing saves; it is kept "
                                       "until the next save of the file.");
    return failure;
}

void Backend::save_finished(const ToolResult &result) {
    last_run_ = result;
    ++batch_done_;
    const std::shared_ptr<Document> doc = saving_doc_.lock();
    saving_doc_.reset();
    // The file may have left the list while the tool ran: its journal still names it.
    const QString name = doc ? doc->name() : journal_ ? journal_->name() : QString();
    failure_note_.clear();
    QString failure = settle_save(result, doc.get());
    const bool saved = !result.start_error && !result.crashed && result.exit_code < 2;
    if (saved && doc) {
        // Show what the tool stored (a normalised language, say), not what was meant; read
        // through the lock, from the very file written.
        auto fresh = Document::load(QStringLiteral("/proc/self/fd/%1").arg(lock_->fd()));
        const auto named = reader::identity_at(QFile::encodeName(doc->path()).toStdString());
        if (!fresh) {
            doc->changed_on_disk = true;
            failure = QStringLiteral("%1 was saved but could not be read back: %2").arg(name, fresh.error().plain);
        } else {
            // Edits made while the tool ran stay pending on top of what it wrote.
            doc->rebase(std::move(**fresh), saved_state_);
            if (!named || !named->same_file(doc->identity())) {
                doc->changed_on_disk = true;
                failure = QStringLiteral("%1 was saved, but its name now points to another file.").arg(name);
            }
        }
    }
    if (saved)
        index_saved(Journal::all());
    journal_.reset();
    lock_.reset();
    saved_state_ = {};
    if (doc)
        doc->saving = false;
    if (!failure.isEmpty()) {
        batch_failures_ << failure;
        report(failure, true); // the edits stay pending
    } else if (result.exit_code == 1) {
        report(QStringLiteral("Saved %1 with warnings: %2").arg(name, result.message()) + failure_note_, false);
    } else {
        report(QStringLiteral("Saved %1.").arg(name) + failure_note_, false);
    }
    if (doc && doc.get() == active_document())
        refresh_models();
    notify_modified();
    Q_EMIT undo_changed();
    Q_EMIT disk_state_changed();
    start_next_save();
}

void Backend::reload_file() {
    Document *doc = active_document();
    if (!doc || doc->saving)
        return;
    auto fresh = Document::load(doc->path());
    if (!fresh) {
        report(QStringLiteral("Could not reload %1: %2").arg(doc->name(), fresh.error().plain), true);
        return;
    }
    doc->replace_with(std::move(**fresh));
    watch(*doc); // a replaced file is a new one to the watcher
    report(QStringLiteral("Reloaded %1.").arg(doc->name()), false);
    after_edit();
    Q_EMIT disk_state_changed();
}

void Backend::watch(const Document &doc) {
    if (!watcher_.files().contains(doc.path()))
        watcher_.addPath(doc.path());
}

void Backend::unwatch(const QString &path) {
    for (const auto &doc : docs_)
        if (doc->path() == path)
            return; // still listed (another document of the same path)
    watcher_.removePath(path);
}

void Backend::check_changed_files() {
    const QStringList paths = std::exchange(changed_paths_, {});
    bool any = false;
    for (const auto &doc : docs_) {
        if (!paths.contains(doc->path()) || doc->saving || doc->changed_on_disk)
            continue;
        watch(*doc); // replaced or renamed over: the watcher dropped it
        if (still_as_read(*doc, reader::identity_at(QFile::encodeName(doc->path()).toStdString())))
            continue;
        doc->changed_on_disk = true;
        any = true;
        if (doc.get() == active_document())
            report(changed_text(*doc), true);
    }
    if (any)
        Q_EMIT disk_state_changed();
}

} // namespace perlane
