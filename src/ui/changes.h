#pragma once
// What the window's objects announce to each other: the backend and every controller read
// the same open files, and each controller's properties change when these are emitted.
#include <QObject>

namespace perlane {

class Changes : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
Q_SIGNALS:
    void active_index_changed();  // another row of the file list is the active one
    void modified_changed();      // a file's edits, or which file is active
    void undo_changed();          // what Undo, Redo and Undo Last Save can do
    void disk_state_changed();    // a file changed on disk, or its warning
    void status_changed();        // the status line
    void load_errors_changed();
    void saving_changed();
};

} // namespace perlane
