#include "save_queue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace perlane {

namespace {

std::optional<std::uint64_t> free_bytes(const QString &dir) {
    struct statvfs st {};
    if (::statvfs(QFile::encodeName(dir).constData(), &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

bool same_device(const QString &a, const QString &b) {
    struct stat sa {}, sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev;
}

QString size_text(std::uint64_t bytes) { return QLocale::c().formattedDataSize(static_cast<qint64>(bytes)); }

QString without_period(QString text) {
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

SaveQueue::SaveQueue(Journals &journals, QObject *parent) : QObject(parent), journals_(journals) {
    connect(&tool_, &ToolRun::finished, this, &SaveQueue::finished);
}

SaveQueue::~SaveQueue() {
    // Nobody is left to hear about it; a save asked for still goes through.
    blockSignals(true);
    closing_ = true;
    if (copier_) {
        copier_->wait();
        journal_written(); // starts the tool
    }
    tool_.blockSignals(true);
    tool_.wait();
    if (journal_ && lock_ && tool_.ended())
        settle(tool_.result(), nullptr);
}

bool SaveQueue::still_as_read(Document &doc, const std::optional<reader::FileIdentity> &now) {
    if (now && *now == doc.identity())
        return true;
    auto fresh = Document::load(doc.path());
    if (!fresh || !now || !(*fresh)->identity().same_file(doc.identity()) || !doc.same_metadata(**fresh))
        return false;
    doc.adopt_identity(*now);
    return true;
}

QString SaveQueue::changed_text(const Document &doc) {
    return QStringLiteral("%1 changed on disk since it was opened. Reload it, or save anyway.").arg(doc.name());
}

void SaveQueue::save(const std::shared_ptr<Document> &doc, bool anyway, bool start) {
    for (const Pending &p : queue_)
        if (p.doc.lock() == doc)
            return; // already waiting
    if (doc->saving)
        return;
    queue_.push_back({doc, anyway});
    ++batch_total_;
    if (start)
        this->start();
}

void SaveQueue::start() {
    if (!saving_)
        start_next();
}

QString SaveQueue::progress(const Document &doc) const {
    if (batch_total_ <= 1)
        return QStringLiteral("Saving %1\u2026").arg(doc.name());
    return QStringLiteral("Saving %1 of %2: %3\u2026").arg(batch_done_ + 1).arg(batch_total_).arg(doc.name());
}

void SaveQueue::set_saving(bool value) {
    if (saving_ == value)
        return;
    saving_ = value;
    Q_EMIT saving_changed();
}

void SaveQueue::start_next() {
    while (!queue_.empty() && !closing_) {
        const Pending next = queue_.front();
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
            Q_EMIT status(why, true);
        };
        auto lock = FileLock::take(doc->path());
        if (!lock) {
            fail(QStringLiteral("Could not save %1: %2.").arg(doc->name(), lock.error().why));
            continue;
        }
        if (!next.anyway && !still_as_read(*doc, lock->identity())) {
            doc->changed_on_disk = true;
            Q_EMIT document_changed(doc.get());
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
        plan_ = plan;
        doc->saving = true;
        set_saving(true);
        Q_EMIT status(progress(*doc), false);
        Q_EMIT document_changed(doc.get());
        // The copy can be large (whatever lies past the segment's end): off the event
        // loop's thread. The lock is held meanwhile, and nothing else uses its descriptor.
        copied_.reset();
        copier_.reset(QThread::create([this, fd = lock_->fd(), path = doc->path(), before = doc->identity(),
                                       list = std::move(*ranges)] { copied_ = Journal::write(fd, path, before, list); }));
        connect(copier_.get(), &QThread::finished, this, &SaveQueue::journal_written, Qt::QueuedConnection);
        copier_->start();
        return;
    }
    end_batch();
}

std::expected<std::vector<ByteRange>, QString> SaveQueue::prepare_journal(const Document &doc, const FileLock &lock,
                                                                          const SavePlan &plan) {
    // The locked file itself: its name could point elsewhere by now.
    const int fd = ::dup(lock.fd());
    if (fd < 0)
        return std::unexpected(QStringLiteral("its layout could not be read"));
    reader::File file = reader::File::adopt(fd);
    const auto layout = reader::read_layout(file);
    if (!layout)
        return std::unexpected(QStringLiteral("its layout could not be read (%1)").arg(QString::fromStdString(layout.error().message())));
    const std::vector<ByteRange> ranges = journal_ranges(*layout);
    std::uint64_t journal_bytes = 0;
    for (const ByteRange &r : ranges)
        journal_bytes += r.length;
    std::uint64_t growth = static_cast<std::uint64_t>(plan.chapters ? plan.chapters->size() : 0);
    for (const QString &a : plan.info_arguments + plan.track_arguments)
        growth += static_cast<std::uint64_t>(a.toUtf8().size());

    // Room first: a tool that runs out of space half way leaves a damaged file behind.
    const std::uint64_t needed = append_allowance(*layout, growth);
    const auto free_there = free_bytes(QFileInfo(doc.path()).absolutePath());
    if (free_there && *free_there < needed)
        return std::unexpected(QStringLiteral("its disk has %1 free, and the save may need %2. Nothing was changed.")
                                   .arg(size_text(*free_there), size_text(needed)));
    const QString dir = Journal::directory();
    if (!QDir().mkpath(dir))
        return std::unexpected(QStringLiteral("no journal of the save could be kept: the folder %1 could not be made. Nothing was changed.").arg(dir));
    const auto free_journal = free_bytes(dir);
    const std::uint64_t journal_needs = journal_bytes + (64 << 10);
    if (free_journal && *free_journal < journal_needs)
        return std::unexpected(QStringLiteral("no journal of the save could be kept: %1 has %2 free, and the journal needs %3. Nothing was changed.")
                                   .arg(dir, size_text(*free_journal), size_text(journal_bytes)));
    // On one file system the journal and what the tool may append share the room.
    if (free_there && same_device(QFileInfo(doc.path()).absolutePath(), dir) && *free_there < needed + journal_needs)
        return std::unexpected(QStringLiteral("its disk has %1 free, and the save may need %2 with its journal. Nothing was changed.")
                                   .arg(size_text(*free_there), size_text(needed + journal_needs)));
    return ranges;
}

// The journal is on disk (or could not be written): the tool runs now.
void SaveQueue::journal_written() {
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
        Q_EMIT status(why, true);
        Q_EMIT document_changed(doc.get());
        start_next();
    };
    if (!copied_ || !*copied_)
        return fail(QStringLiteral("Could not save %1: no journal of the save could be kept: %2. Nothing was changed.")
                        .arg(name, copied_ ? copied_->error() : QStringLiteral("it was not written")));
    journal_ = std::move(**copied_);
    copied_.reset();
    QString chapters_path;
    if (plan_.chapters) {
        // A private directory: no other user can plant a link there, and two running
        // instances do not share a file.
        chapters_dir_ = std::make_unique<QTemporaryDir>();
        chapters_path = chapters_dir_->filePath(QStringLiteral("chapters.xml"));
        QFile file(chapters_path);
        if (!chapters_dir_->isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) ||
            file.write(*plan_.chapters) != plan_.chapters->size() || !file.flush())
            return fail(QStringLiteral("Could not save %1: the chapters file could not be written (%2).")
                            .arg(name, chapters_dir_->isValid() ? file.errorString() : chapters_dir_->errorString()));
    }
    // The tool writes the very file that was locked and checked, through the lock's
    // descriptor, whatever the name points to by now. It shares the lock (and so does the
    // runner that records its end): if this program ends during the save, the journal is
    // not acted on before both have ended.
    lock_->set_inherited(true);
    tool_.start_save(journal_->journal_path(), lock_->fd(), QStringLiteral("mkvpropedit"),
                     plan_.arguments(QStringLiteral("/proc/self/fd/%1").arg(lock_->fd()), chapters_path));
    lock_->set_inherited(false);
}

void SaveQueue::end_batch() {
    if (batch_total_ > 1) {
        if (batch_failures_.isEmpty())
            Q_EMIT status(QStringLiteral("Saved %1 files.").arg(batch_total_), false);
        else
            Q_EMIT status(QStringLiteral("%1 of %2 files could not be saved. %3")
                              .arg(batch_failures_.size())
                              .arg(batch_total_)
                              .arg(batch_failures_.join(QLatin1Char(' '))),
                          true);
    }
    batch_total_ = batch_done_ = 0;
    batch_failures_.clear();
    set_saving(false);
}

QString SaveQueue::restore_after_failure(Document *doc, const QString &tool_message) {
    const QString name = journal_->name();
    const QString head = QStringLiteral("Saving %1 failed: %2.").arg(name, without_period(tool_message));
    if (lock_ && lock_->identity() == journal_->before()) {
        journal_->remove(); // the tool did not get as far as writing
        return head + QStringLiteral(" The file was restored unchanged.");
    }
    if (const auto restored = journal_->restore(lock_ ? lock_->fd() : -1); !restored)
        return head + QStringLiteral(" It could not be restored (%1): ").arg(restored.error()) + kept_text(*journal_);
    if (doc) {
        auto fresh = Document::load(lock_ ? QStringLiteral("/proc/self/fd/%1").arg(lock_->fd()) : doc->path());
        if (!fresh || !doc->same_metadata(**fresh))
            return head + QStringLiteral(" It was put back, but does not read as before: ") + kept_text(*journal_);
        doc->adopt_identity((*fresh)->identity());
    }
    journal_->remove();
    return head + QStringLiteral(" The file was restored unchanged.");
}

// What becomes of the journal once the tool has ended: kept when the save finished, the
// file put back when it did not. The outcome's words, empty when the save went well.
QString SaveQueue::settle(const ToolResult &result, Document *doc) {
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
    Journal::prune();
    // Said of this save's journal only: another file's, kept over the budget, was said at its own save.
    if (journal_->after() && journal_->data_size() > Journal::kept_bytes)
        note_ = QStringLiteral(" Its journal alone is larger than the 64 MiB kept for undoing saves; it is kept "
                               "until the next save of the file.");
    return failure;
}

void SaveQueue::finished(const ToolResult &result) {
    last_run_ = result;
    ++batch_done_;
    const std::shared_ptr<Document> doc = saving_doc_.lock();
    saving_doc_.reset();
    // The file may have left the list while the tool ran: its journal still names it.
    const QString name = doc ? doc->name() : journal_ ? journal_->name() : QString();
    note_.clear();
    QString failure = settle(result, doc.get());
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
        journals_.reindex();
    journal_.reset();
    lock_.reset();
    saved_state_ = {};
    if (doc)
        doc->saving = false;
    if (!failure.isEmpty()) {
        batch_failures_ << failure;
        Q_EMIT status(failure, true); // the edits stay pending
    } else if (result.exit_code == 1) {
        Q_EMIT status(QStringLiteral("Saved %1 with warnings: %2").arg(name, result.message()) + note_, false);
    } else {
        Q_EMIT status(QStringLiteral("Saved %1.").arg(name) + note_, false);
    }
    Q_EMIT document_changed(doc.get());
    start_next();
}

} // namespace perlane
