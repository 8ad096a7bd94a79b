// The journal of each save: written before the tool runs, put back when it fails (or
// when the program ended during a save, found at the next start), and kept afterwards so
// that "Undo last save" can take the save back.
#include "backend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>

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

QString kept_text(const Journal &j) {
    return QStringLiteral("its original bytes are kept in %1; run \u201Cperlane-journal restore %1\u201D to put them back.")
        .arg(j.journal_path());
}

QString without_period(QString text) {
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

std::expected<std::vector<ByteRange>, QString> Backend::prepare_journal(const Document &doc, const FileLock &lock,
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

QString Backend::restore_after_failure(Document *doc, const QString &tool_message) {
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

void Backend::ensure_recovered() {
    if (!recovered_)
        recover_journals();
}

// Journals without an end are saves (or undos of saves) that never finished: put those
// files back, but only when they are exactly as the interruption left them.
void Backend::recover_journals() {
    recovered_ = true;
    recovery_waiting_ = false;
    Journal::clean_unfinished_copies();
    QStringList said;
    const std::vector<Journal> journals = Journal::all();
    index_saved(journals); // start-up reads the journals once, for both
    for (const Journal &j : journals) {
        if (j.after() && !j.undoing())
            continue;
        auto lock = FileLock::take(j.path());
        if (!lock && lock.error().busy) {
            // Its tool still runs (it shares the lock): look again when it may have ended.
            if (!recovery_waiting_) {
                recovery_waiting_ = true;
                QTimer::singleShot(1000, this, &Backend::recover_journals);
            }
            continue;
        }
        const QString head = j.undoing()
                                 ? QStringLiteral("Undoing the last save of %1 was cut short when the program ended.").arg(j.name())
                                 : QStringLiteral("Saving %1 failed: the program ended during the save.").arg(j.name());
        if (!lock) {
            if (!j.undoing() && !QFile::exists(j.path()))
                said << head + QStringLiteral(" The file is no longer there: ") + kept_text(j);
            else
                said << head + QStringLiteral(" It could not be restored (%1): ").arg(lock.error().why) + kept_text(j);
            continue;
        }
        const auto now = Journal::open(j.journal_path());
        if (!now || (now->after() && !now->undoing()))
            continue; // its save ended after all, just now
        const Journal::Assessment found = now->assess(lock->fd());
        if (found.verdict == Journal::Verdict::Untouched) {
            now->remove(); // the tool never changed it
            continue;
        }
        if (found.verdict == Journal::Verdict::Unsure) {
            said << head + QStringLiteral(" The file was left as it is: %1. ").arg(found.why) + kept_text(*now);
            continue;
        }
        if (const auto restored = now->restore(lock->fd()); !restored) {
            said << head + QStringLiteral(" It could not be restored (%1): ").arg(restored.error()) + kept_text(*now);
            continue;
        }
        now->remove();
        said << head + (now->undoing() ? QStringLiteral(" The undo was completed: the file is as before that save.")
                                       : QStringLiteral(" The file was restored unchanged."));
    }
    for (const QString &bad : Journal::damaged())
        said << QStringLiteral("A journal of a save cannot be read and was left alone: %1.").arg(bad);
    if (!said.isEmpty())
        report(said.join(QLatin1Char(' ')), true);
    Q_EMIT undo_changed(); // the kept saves are known now
    if (!recovery_waiting_ && !startup_choices_.empty())
        load_choices(std::exchange(startup_choices_, {}));
}

std::optional<Journal> Backend::last_save_of(const Document &doc) const {
    std::optional<Journal> last;
    for (Journal &j : Journal::all())
        if (j.after() && !j.undoing() && *j.after() == doc.identity())
            last = std::move(j);
    return last;
}

void Backend::index_saved(const std::vector<Journal> &journals) {
    saved_files_.clear();
    for (const Journal &j : journals)
        if (j.after() && !j.undoing())
            saved_files_.insert(key_of(*j.after()));
}

bool Backend::can_undo_save() const {
    const Document *doc = active_document();
    return doc && !doc->saving && saved_files_.contains(key_of(doc->identity()));
}

bool Backend::undo_last_save() {
    Document *doc = active_document();
    if (!doc || doc->saving)
        return false;
    const auto fail = [&](const QString &why) {
        report(QStringLiteral("Cannot undo the last save of %1: %2").arg(doc->name(), why), true);
        return false;
    };
    if (doc->modified())
        return fail(QStringLiteral("it has unsaved changes; save or revert them first."));
    const std::optional<Journal> last = last_save_of(*doc);
    if (!last)
        return fail(QStringLiteral("no save of it is kept."));
    auto lock = FileLock::take(doc->path());
    if (!lock)
        return fail(lock.error().why + QLatin1Char('.'));
    if (lock->identity() != last->after() || !lock->identity()->same_file(doc->identity()))
        return fail(QStringLiteral("it changed since that save."));
    // Checked whole before the first byte is written, and recorded as under way, so that
    // an undo cut short is finished at the next start.
    if (const auto whole = last->verify(); !whole)
        return fail(whole.error() + QStringLiteral("; the file was left as it is."));
    if (const auto same = last->check_untouched(lock->fd()); !same)
        return fail(same.error() + QStringLiteral("; the file was left as it is."));
    if (const auto begun = last->begin_undo(lock->fd()); !begun)
        return fail(begun.error() + QStringLiteral("; the file was left as it is."));
    if (const auto restored = last->restore(lock->fd()); !restored)
        return fail(restored.error() + QStringLiteral("; ") + kept_text(*last));
    last->remove();
    index_saved(Journal::all());
    if (auto fresh = Document::load(QStringLiteral("/proc/self/fd/%1").arg(lock->fd())))
        doc->replace_with(std::move(**fresh));
    report(QStringLiteral("Undid the last save of %1.").arg(doc->name()), false);
    after_edit();
    Q_EMIT disk_state_changed();
    return true;
}

} // namespace perlane
