#pragma once
// Saving, as the window offers it: every modified file, a file changed on disk saved
// anyway, reading one again, taking the last save back; and the status line's words.
#include <QObject>
#include <QVariantMap>

namespace perlane {

class Backend;

class Saving : public QObject {
    Q_OBJECT
    // True from the start of a save until its outcome is shown.
    Q_PROPERTY(bool saving READ saving NOTIFY saving_changed)
    // The outcome of the last action, for the status line, and whether it failed.
    Q_PROPERTY(QString save_status READ save_status NOTIFY save_status_changed)
    Q_PROPERTY(bool save_failed READ save_failed NOTIFY save_status_changed)
    // What the last save's tool printed, whole (empty when no tool ran).
    Q_PROPERTY(QString tool_output READ tool_output NOTIFY save_status_changed)
    // The active file has a save that "undo_last_save" can take back.
    Q_PROPERTY(bool can_undo_save READ can_undo_save NOTIFY undo_changed)
    // The active file changed on disk since it was read: Reload or Save anyway.
    Q_PROPERTY(bool changed_on_disk READ changed_on_disk NOTIFY disk_state_changed)
    // What is wrong with the active file although it opened (cut short, index missing).
    Q_PROPERTY(QString active_warning READ active_warning NOTIFY disk_state_changed)
public:
    explicit Saving(Backend &backend);

    bool saving() const;
    QString save_status() const;
    bool save_failed() const;
    QString tool_output() const;
    bool can_undo_save() const;
    bool changed_on_disk() const;
    QString active_warning() const;

    // Saves every modified file in turn.
    Q_INVOKABLE void save_all();
    // Saves the active file although it changed on disk since it was read.
    Q_INVOKABLE void save_anyway();
    // Reads the active file again; its edits are dropped.
    Q_INVOKABLE void reload_file();
    // Puts the active file back to the bytes it had before its last save through this
    // program, unless it changed since. Whether it did.
    Q_INVOKABLE bool undo_last_save();
    // What Save would run for the active file: {arguments, text, chapters}.
    Q_INVOKABLE QVariantMap save_command() const;

Q_SIGNALS:
    void saving_changed();
    void save_status_changed();
    void undo_changed();
    void disk_state_changed();

private:
    Backend &b_;
};

} // namespace perlane
