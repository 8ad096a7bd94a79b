// Saving: checked before the tool runs (lock, still the file that was read), run without
// blocking the window, and the document made what is on disk afterwards. Also the watch
// that notices open files changed by other programs.
#include "backend.h"

#include "save_plan.h"

#include <QFile>


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
    for (const auto &doc : docs_)
        if (doc->modified())
            enqueue(doc, false);
}

void Backend::enqueue(std::shared_ptr<Document> doc, bool anyway) {
    for (const PendingSave &p : queue_)
        if (p.doc.lock() == doc)
            return; // already waiting
    if (doc->saving)
        return;
    queue_.push_back({doc, anyway});
    ++batch_total_;
    if (!saving_)
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
    while (!queue_.empty()) {
        const PendingSave next = queue_.front();
        queue_.pop_front();
        const std::shared_ptr<Document> doc = next.doc.lock();
        if (!doc || !doc->modified()) { // removed, or nothing left to save
            ++batch_done_;
            continue;
        }
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
        if (const auto why = prepare_journal(*doc, *lock, plan)) {
            fail(QStringLiteral("Could not save %1: %2").arg(doc->name(), *why));
            continue;
        }
        QString chapters_path;
        if (plan.chapters) {
            // A private directory: no other user can plant a link there, and two running
            // instances do not share a file.
            chapters_dir_ = std::make_unique<QTemporaryDir>();
            chapters_path = chapters_dir_->filePath(QStringLiteral("chapters.xml"));
            QFile file(chapters_path);
            if (!chapters_dir_->isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) ||
                file.write(*plan.chapters) != plan.chapters->size() || !file.flush()) {
                fail(QStringLiteral("Could not save %1: the chapters file could not be written (%2).")
                         .arg(doc->name(), chapters_dir_->isValid() ? file.errorString() : chapters_dir_->errorString()));
                journal_->remove();
                journal_.reset();
                continue;
            }
        }
        lock_ = std::move(*lock);
        saving_doc_ = doc;
        doc->saving = true;
        set_saving(true);
        report(progress(*doc), false);
        Q_EMIT undo_changed();
        // The tool shares the lock: if this program ends during the save, the journal is
        // not acted on before the tool has ended too.
        lock_->set_inherited(true);
        tool_.start(QStringLiteral("mkvpropedit"), plan.arguments(doc->path(), chapters_path));
        lock_->set_inherited(false);
        return;
    }
    end_batch();
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

void Backend::save_finished(const ToolResult &result) {
    last_run_ = result;
    ++batch_done_;
    const std::shared_ptr<Document> doc = saving_doc_.lock();
    saving_doc_.reset();
    const QString name = doc ? doc->name() : QString();
    QString failure;
    if (result.start_error) {
        failure = QStringLiteral("Could not save %1: mkvpropedit could not be started (%2). Is mkvtoolnix installed?")
                      .arg(name, *result.start_error);
        journal_->remove(); // it never ran: the file is as it was
    } else if (result.crashed || result.exit_code >= 2) {
        const QString message = result.message();
        failure = restore_after_failure(doc.get(), message.isEmpty() ? QStringLiteral("mkvpropedit failed") : message);
    } else {
        if (doc) {
            // Show what the tool stored (a normalised language, say), not what was meant.
            auto fresh = Document::load(doc->path());
            if (fresh) {
                doc->replace_with(std::move(**fresh));
            } else {
                doc->changed_on_disk = true;
                failure = QStringLiteral("%1 was saved but could not be read back: %2").arg(name, fresh.error().plain);
            }
        }
        // Kept, so that the save can be taken back.
        if (const auto after = lock_->identity())
            journal_->mark_done(*after);
        Journal::prune();
        index_saved(Journal::all());
    }
    journal_.reset();
    lock_.reset();
    if (doc)
        doc->saving = false;
    if (!failure.isEmpty()) {
        batch_failures_ << failure;
        report(failure, true); // the edits stay pending
    } else if (result.exit_code == 1) {
        report(QStringLiteral("Saved %1 with warnings: %2").arg(name, result.message()), false);
    } else {
        report(QStringLiteral("Saved %1.").arg(name), false);
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
