#pragma once
// Saves, one file at a time: checked before the tool runs (lock, still the file that was
// read, room on disk), journaled, run without blocking the event loop, and the document
// made what is on disk afterwards. A failed save puts the file back.
#include "document.h"
#include "file_lock.h"
#include "journal.h"
#include "journals.h"
#include "save_plan.h"
#include "tool_run.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <deque>
#include <memory>
#include <optional>

namespace perlane {

class SaveQueue : public QObject {
    Q_OBJECT
public:
    explicit SaveQueue(Journals &journals, QObject *parent = nullptr);
    // A running save finishes before its chapters file and lock go away, and its outcome
    // is settled here: a finished save is kept, a failed one put back.
    ~SaveQueue() override;

    // Queues a save of `doc` (`anyway`: although the file changed on disk); `start` false
    // waits for start(), so that a batch's progress counts every file.
    void save(const std::shared_ptr<Document> &doc, bool anyway, bool start = true);
    void start();
    bool saving() const { return saving_; }
    const std::optional<ToolResult> &last_run() const { return last_run_; }

    // Whether the file at the document's path still holds what the document read. A
    // changed time or size alone is not a change when the metadata read again is the same.
    static bool still_as_read(Document &doc, const std::optional<reader::FileIdentity> &now);
    static QString changed_text(const Document &doc);

Q_SIGNALS:
    void status(const QString &text, bool failed);
    void saving_changed();
    // A document's save began or ended: its content, markers or disk state may differ
    // (null: one that left the list meanwhile).
    void document_changed(Document *doc);

private:
    struct Pending {
        std::weak_ptr<Document> doc;
        bool anyway = false;
    };
    void start_next();
    void journal_written();
    void finished(const ToolResult &result);
    void end_batch();
    void set_saving(bool value);
    QString progress(const Document &doc) const;
    QString settle(const ToolResult &result, Document *doc);
    QString restore_after_failure(Document *doc, const QString &tool_message);
    // The ranges to journal, once the room for the save and its journal is checked.
    static std::expected<std::vector<ByteRange>, QString> prepare_journal(const Document &doc, const FileLock &lock,
                                                                          const SavePlan &plan);

    Journals &journals_;
    bool saving_ = false;
    bool closing_ = false; // going away: no new save starts
    std::deque<Pending> queue_;
    std::weak_ptr<Document> saving_doc_;
    std::optional<FileLock> lock_; // held while the tool runs
    std::optional<Journal> journal_; // of the running save
    DocumentState saved_state_; // what the running save writes
    SavePlan plan_;
    std::unique_ptr<QThread> copier_; // copying the running save's journal
    std::optional<std::expected<Journal, QString>> copied_; // its outcome, for the event loop's thread
    std::optional<ToolResult> last_run_;
    QString note_; // said after the outcome (a journal kept over the limit)
    ToolRun tool_;
    int batch_total_ = 0, batch_done_ = 0;
    QStringList batch_failures_;
    // Private directory of the chapters file, kept until the next save.
    std::unique_ptr<QTemporaryDir> chapters_dir_;
};

} // namespace perlane
