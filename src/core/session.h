#pragma once
// The open files of a season and the work on them, with or without a window: opening
// (after interrupted saves are settled), every edit through one route, history steps
// that span files, season rules, saves and their undo, and noticing files changed by
// other programs.
#include "document.h"
#include "editing_marks.h"
#include "journals.h"
#include "save_queue.h"
#include "season.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <expected>
#include <functional>
#include <memory>
#include <optional>

namespace perlane {

class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(QObject *parent = nullptr);

    const season::Documents &documents() const { return docs_; }

    // Reads the file and lists it last; a file listed already (by device and inode) is not
    // read again. Its place in the list, or why it could not be opened.
    std::expected<std::size_t, LoadError> open(const QString &path);
    // Lists a document read elsewhere (several at once, off this thread), as open() would.
    std::size_t add(std::shared_ptr<Document> doc);
    void close(std::size_t index);
    void close_all();

    // The one route of every edit: one undoable step of `doc` (tied to the steps other
    // documents take for the same action by `group`). Whether it changed the document.
    bool edit(Document &doc, const std::function<bool(DocumentState &)> &change, std::uint64_t group = 0);
    // A new group for the steps one action takes in several files.
    std::uint64_t new_group() { return ++last_group_; }
    // Undo (`back`) or redo of `doc`'s last step; a step one action took in several files
    // goes back, and comes again, in all of them that still have it on top.
    bool step(Document &doc, bool back);
    // Drops every pending edit of `doc` (one step that can be undone).
    bool revert(Document &doc);
    // A season rule's plan. The number of files changed.
    int apply(const season::Plan &plan);
    // Reads the file again; its edits are dropped.
    std::expected<void, QString> reload(Document &doc);

    Journals &journals() { return journals_; }
    const Journals &journals() const { return journals_; }
    SaveQueue &saves() { return saves_; }
    const SaveQueue &saves() const { return saves_; }
    std::expected<void, QString> undo_last_save(Document &doc);

Q_SIGNALS:
    // What the document holds or shows changed: an edit, a step, a save's outcome, a reload.
    void changed(Document *doc);
    // Files another program changed since they were read.
    void changed_on_disk(const std::vector<Document *> &docs);

private:
    void watch(const Document &doc);
    void unwatch(const QString &path);
    void check_changed_files();
    void mark_edited_files();

    season::Documents docs_;
    std::uint64_t last_group_ = 0;
    Journals journals_;
    SaveQueue saves_;
    QFileSystemWatcher watcher_;
    QTimer watch_delay_; // changes come in bursts: look once they settle
    QStringList changed_paths_;
    EditingMarks marks_; // the files with unsaved edits, for other programs to leave alone
};

} // namespace perlane
