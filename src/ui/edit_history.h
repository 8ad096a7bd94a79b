#pragma once
// The active file's edit history, as the window offers it, and which files have edits not
// yet saved.
#include <QObject>
#include <QStringList>
#include <QVariantList>

namespace perlane {

class Backend;

class EditHistory : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool can_undo READ can_undo NOTIFY undo_changed)
    Q_PROPERTY(bool can_redo READ can_redo NOTIFY undo_changed)
    // Whether the active file has edits not yet saved; per file row the same; the names of
    // the listed files with unsaved edits, in list order.
    Q_PROPERTY(bool active_modified READ active_modified NOTIFY modified_changed)
    Q_PROPERTY(QVariantList modified_rows READ modified_rows NOTIFY modified_changed)
    Q_PROPERTY(QStringList unsaved_files READ unsaved_files NOTIFY modified_changed)
public:
    explicit EditHistory(Backend &backend);

    // A step one action took in several files goes back, and comes again, in all of them.
    Q_INVOKABLE void undo();
    Q_INVOKABLE void redo();
    // Drops every pending edit of the active file (one step that can be undone).
    Q_INVOKABLE void revert_file();
    bool can_undo() const;
    bool can_redo() const;
    bool active_modified() const;
    QVariantList modified_rows() const;
    QStringList unsaved_files() const;

Q_SIGNALS:
    void undo_changed();
    void modified_changed();

private:
    Backend &b_;
};

} // namespace perlane
