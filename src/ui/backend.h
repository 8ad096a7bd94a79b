#pragma once
#include "chapter_edits.h"
#include "chapter_list.h"
#include "document.h"
#include "file_picker.h"
#include "opening_finder.h"
#include "paths.h"
#include "row_keys.h"
#include "session.h"
#include "suggestions.h"
#include "track_list.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

namespace perlane {

// The one object the QML interface talks to: the list of open documents, the active one,
// the edits QML asks for, and the saves.
class Backend : public QObject, public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    Q_CLASSINFO("DefaultProperty", "tracks")
    Q_PROPERTY(QStringList file_names READ file_names WRITE set_file_names NOTIFY file_names_changed)
    Q_PROPERTY(QString active_file_name READ active_file_name WRITE set_active_file_name NOTIFY
                   active_file_name_changed)
    Q_PROPERTY(QObject *tracks READ tracks WRITE set_tracks)
    Q_PROPERTY(QObject *chapters READ chapters WRITE set_chapters)
    // Additions for the interface: the active row of the file list (-1 when none).
    Q_PROPERTY(int active_index READ active_row NOTIFY active_index_changed)
    // The outcome of the last save, for the status line, and whether it failed.
    Q_PROPERTY(QString save_status READ save_status NOTIFY save_status_changed)
    Q_PROPERTY(bool save_failed READ save_failed NOTIFY save_status_changed)
    // Per file row: whether it has edits not yet saved; and the same for the active file.
    Q_PROPERTY(QVariantList modified_rows READ modified_rows NOTIFY modified_changed)
    Q_PROPERTY(bool active_modified READ active_modified NOTIFY modified_changed)
    // Chosen files that could not be opened, as "name: reason", from the latest open or add.
    Q_PROPERTY(QStringList load_errors READ load_errors NOTIFY load_errors_changed)
    // The reader's own words for those of them it refused, as "name: text".
    Q_PROPERTY(QStringList load_error_details READ load_error_details NOTIFY load_errors_changed)
    // True from the start of a save until its outcome is shown.
    Q_PROPERTY(bool saving READ saving NOTIFY saving_changed)
    // The active file's edit history.
    Q_PROPERTY(bool can_undo READ can_undo NOTIFY undo_changed)
    Q_PROPERTY(bool can_redo READ can_redo NOTIFY undo_changed)
    // What is wrong with the active file although it opened (cut short, index missing).
    Q_PROPERTY(QString active_warning READ active_warning NOTIFY disk_state_changed)
    // The active file changed on disk since it was read: Reload or Save anyway.
    Q_PROPERTY(bool changed_on_disk READ changed_on_disk NOTIFY disk_state_changed)
    // Names of the listed files with unsaved edits, in list order.
    Q_PROPERTY(QStringList unsaved_files READ unsaved_files NOTIFY modified_changed)
    // The active file has a save that "undo_last_save" can take back.
    Q_PROPERTY(bool can_undo_save READ can_undo_save NOTIFY undo_changed)
    // Finding openings and endings by their sound: how far it is (0 to 1), whether it
    // runs, and per episode what it found ({file, opening, opening_confidence, ending,
    // ending_confidence, change, notes}).
    Q_PROPERTY(double detection_progress READ detection_progress NOTIFY detection_progress_changed)
    Q_PROPERTY(bool detecting READ detecting NOTIFY detection_progress_changed)
    Q_PROPERTY(QVariantList suggestions READ suggestions NOTIFY suggestions_changed)
    // The active file's segment title as edited (empty: none).
    Q_PROPERTY(QString active_title READ active_title NOTIFY modified_changed)
    // What the window calls each ChapterSkipType ("None" first, for no element), and the
    // name each one-click role gives ({opening: "Opening", ...}): one table, here.
    Q_PROPERTY(QStringList skip_type_labels READ skip_type_labels CONSTANT)
    Q_PROPERTY(QVariantMap role_names READ role_names CONSTANT)
    // What the last save's tool printed, whole (empty when no tool ran).
    Q_PROPERTY(QString tool_output READ tool_output NOTIFY save_status_changed)

public:
    explicit Backend(QObject *parent = nullptr);
    ~Backend() override;

    QStringList file_names() const { return file_names_; }
    void set_file_names(const QStringList &names);
    QString active_file_name() const { return active_file_name_; }
    void set_active_file_name(const QString &name);
    QObject *tracks() const { return tracks_.data(); }
    void set_tracks(QObject *model);
    QObject *chapters() const { return chapters_.data(); }
    void set_chapters(QObject *model);

    // Makes file `index` active (none when absent or past the end) and refills the models.
    void set_active(std::optional<std::size_t> index);
    std::optional<std::size_t> active_index() const { return active_index_; }
    const std::vector<std::shared_ptr<Document>> &documents() const { return session_.documents(); }
    Session &session() { return session_; }
    Document *active_document() const;

    // Reads one file and appends it to the list (or selects it when it is listed already).
    // Returns why it was not opened, if it was not.
    std::optional<QString> add_file(const QString &path);
    // Opens each usable choice, and lists why the others could not be opened.
    void load_choices(const std::vector<Choice> &choices);
    // Replaces the chooser (tests; the desktop chooser otherwise).
    void set_picker(std::unique_ptr<FilePicker> picker);
    int active_row() const { return active_index_ ? static_cast<int>(*active_index_) : -1; }
    QString save_status() const { return save_status_; }
    bool save_failed() const { return save_failed_; }
    const std::optional<ToolResult> &last_run() const { return session_.saves().last_run(); }
    QString tool_output() const { return last_run() ? QString::fromUtf8(last_run()->output).trimmed() : QString(); }
    QVariantList modified_rows() const { return modified_rows_; }
    bool active_modified() const;
    QStringList load_errors() const { return load_errors_; }
    QStringList load_error_details() const { return load_error_details_; }
    bool saving() const { return session_.saves().saving(); }
    bool can_undo() const;
    bool can_redo() const;
    bool changed_on_disk() const;
    QString active_warning() const {
        const Document *doc = active_document();
        return doc ? doc->warning() : QString();
    }
    QStringList unsaved_files() const;
    bool can_undo_save() const;
    QStringList skip_type_labels() const;
    QVariantMap role_names() const;

    Q_INVOKABLE void dismiss_load_errors();
    Q_INVOKABLE void undo();
    Q_INVOKABLE void redo();
    // Drops every pending edit of the active file (one step that can be undone).
    Q_INVOKABLE void revert_file();
    // Saves every modified file in turn.
    Q_INVOKABLE void save_all();
    // Reads the active file again; its edits are dropped.
    Q_INVOKABLE void reload_file();
    // Saves the active file although it changed on disk since it was read.
    Q_INVOKABLE void save_anyway();
    // Adds dropped files, given as URLs.
    Q_INVOKABLE void add_urls(const QList<QUrl> &urls);
    // Puts the active file back to the bytes it had before its last save through this
    // program, unless it changed since. Whether it did.
    Q_INVOKABLE bool undo_last_save();

    // Sets one of the flags "forced", "hearing-impaired", "visual-impaired",
    // "text-descriptions", "original", "commentary", "enabled" to 1, 0 or -1 (unset, for
    // the flags without a default). Whether the track changed.
    Q_INVOKABLE bool set_track_flag(const QString &disc, quint64 track, const QString &flag, int value);
    // The same, naming the track by the track model's "key" role.
    Q_INVOKABLE bool set_track_name_by_key(const QString &key, const QString &name);
    Q_INVOKABLE bool set_track_default_by_key(const QString &key, bool value);
    Q_INVOKABLE bool set_track_language_by_key(const QString &key, const QString &language);
    Q_INVOKABLE bool set_track_flag_by_key(const QString &key, const QString &flag, int value);
    // The active file's title; empty text removes it.
    Q_INVOKABLE bool set_title(const QString &text);
    QString active_title() const;
    // {ok, tag, description} for a language people may store, else {ok: false, reason}.
    Q_INVOKABLE QVariantMap check_language(const QString &text) const;
    // [{tag, label}] of the languages matching `query` ("English — eng"), best first.
    Q_INVOKABLE QVariantList search_languages(const QString &query) const;

    // Season rules. Each previews as {ok, message, changes: [{file, track, change}],
    // skipped: ["file: reason"], files} and applies as the number of files changed.
    Q_INVOKABLE QVariantMap preview_apply_track_to_all(quint64 track) const;
    Q_INVOKABLE int apply_track_to_all(quint64 track);
    Q_INVOKABLE QVariantMap preview_default_by_language(const QString &type, const QString &language) const;
    Q_INVOKABLE int default_by_language(const QString &type, const QString &language);
    // [{flag, label, reason, preview}] for flags the tracks' names suggest.
    Q_INVOKABLE QVariantList flag_suggestions() const;
    Q_INVOKABLE int accept_flag_suggestion(const QString &flag);
    // {columns: [text], rows: [{file, odd, cells: [{text, present, odd}]}]}.
    Q_INVOKABLE QVariantMap season_overview() const;
    // [{tag, label}] of the languages the open files' tracks of `type` have.
    Q_INVOKABLE QVariantList season_languages(const QString &type) const;
    // What Save would run for the active file: {arguments, text, chapters}.
    Q_INVOKABLE QVariantMap save_command() const;

    // Chapter edits: `chapter` is the row in the chapter list, times are milliseconds.
    // The "_by_key" ones name the chapter by the model's "key" role instead: a view takes it
    // when an edit starts, so the edit reaches that chapter whatever the rows show by then.
    // Each is one undoable step; a refusal says why in the status line. Whether it was made.
    Q_INVOKABLE bool split_chapter_at(quint64 edition, quint64 chapter, qint64 ms);
    Q_INVOKABLE bool add_chapter(quint64 edition, qint64 ms, const QString &name);
    Q_INVOKABLE bool delete_chapter(quint64 edition, quint64 chapter);
    Q_INVOKABLE bool set_chapter_start(quint64 edition, quint64 chapter, qint64 ms);
    // 0 to 6, or -1 to remove it.
    Q_INVOKABLE bool set_chapter_skip_type(quint64 edition, quint64 chapter, int type);
    // "opening", "ending", "recap" or "preview": the name and skip type together.
    Q_INVOKABLE bool mark_chapter(quint64 edition, quint64 chapter, const QString &role);
    // A chapter marked with `role` from `from_ms` to `to_ms` (90 s when negative), added
    // or cut as needed, in one step.
    Q_INVOKABLE bool add_marked_chapter(quint64 edition, qint64 from_ms, qint64 to_ms, const QString &role);
    // {ok, ms, to} for "mm:ss.fff", "h:mm:ss.fff" or two of them joined by a dash (to is
    // -1 without a second), else {ok: false, reason}.
    Q_INVOKABLE QVariantMap parse_time(const QString &text) const;
    // {ok, ms} when `text` is a start the chapter can move to, else {ok: false, reason}.
    Q_INVOKABLE QVariantMap check_chapter_start(quint64 edition, quint64 chapter, const QString &text) const;
    Q_INVOKABLE bool set_chapter_name_by_key(const QString &key, const QString &name);
    Q_INVOKABLE bool set_chapter_start_by_key(const QString &key, qint64 ms);
    Q_INVOKABLE QVariantMap check_chapter_start_by_key(const QString &key, const QString &text) const;
    Q_INVOKABLE bool insert_chapter_start_by_key(const QString &key);
    Q_INVOKABLE bool insert_chapter_end_by_key(const QString &key);
    Q_INVOKABLE bool delete_chapter_by_key(const QString &key);
    Q_INVOKABLE bool set_chapter_skip_type_by_key(const QString &key, int type);
    Q_INVOKABLE bool mark_chapter_by_key(const QString &key, const QString &role);
    // The active file's chapter names and skip types, to every file whose chapters line up.
    Q_INVOKABLE QVariantMap preview_chapter_names_to_all() const;
    Q_INVOKABLE int apply_chapter_names_to_all();

    // A shortcut as the desktop writes it ("Ctrl+S"), from a key sequence text or a
    // standard key.
    Q_INVOKABLE QString shortcut_text(const QVariant &shortcut) const;
    // The window's own settings (size, splitter), kept between runs.
    Q_INVOKABLE QVariant stored(const QString &key) const;
    Q_INVOKABLE void store(const QString &key, const QVariant &value);

    // Starts finding the opening and ending of every open file (returns at once).
    Q_INVOKABLE void detect_openings();
    Q_INVOKABLE void cancel_detection();
    // Marks the accepted suggestions' openings and endings as chapters, in one step that
    // Undo takes back in every episode (nothing is written before a save). The number of
    // episodes changed.
    Q_INVOKABLE int accept_suggestions();
    // Accepts or rejects one episode's suggestion; doubtful ones start rejected.
    Q_INVOKABLE void set_suggestion_accepted(int index, bool accepted);
    double detection_progress() const { return finder_.progress(); }
    bool detecting() const { return finder_.running(); }
    QVariantList suggestions() const;

    void classBegin() override {}
    void componentComplete() override;

Q_SIGNALS:
    void file_names_changed();
    void active_file_name_changed();
    void active_index_changed();
    void save_status_changed();
    void modified_changed();
    void load_errors_changed();
    void saving_changed();
    void undo_changed();
    void disk_state_changed();
    void detection_progress_changed();
    void detection_finished();
    void suggestions_changed();

public Q_SLOTS:
    void select_file(quint64 index);
    qint64 next_file();
    qint64 prev_file();
    void delete_file(quint64 index);
    void open_files();
    void add_files();
    void set_track_name(const QString &disc, quint64 number, const QString &name);
    void set_track_default(const QString &disc, quint64 number, bool value);
    void set_track_language(const QString &disc, quint64 number, const QString &language);
    void set_chapter_name(quint64 edition, quint64 chapter, const QString &name);
    void insert_chapter_start(quint64 edition, quint64 chapter);
    void insert_chapter_end(quint64 edition, quint64 chapter);
    void save_file();

private:
    void append(const Document &doc);
    std::optional<LoadError> add_document(const QString &path);
    void refresh_models();
    std::optional<std::vector<Choice>> pick();
    void report(const QString &status, bool failed);
    void notify_active_row(int old_row);
    void notify_modified();
    // Edits the active document, unless `change` refuses.
    bool edit_active(const std::function<bool(DocumentState &)> &change);
    std::optional<TrackKey> track_for_slot(const QString &disc, quint64 number) const;
    std::optional<TrackKey> track_key_of(const QString &text);
    std::optional<std::size_t> track_keyed(const std::optional<TrackKey> &key) const;
    bool rename_track(const std::optional<TrackKey> &key, const QString &name);
    bool make_default(const std::optional<TrackKey> &key, bool value);
    bool relabel(const std::optional<TrackKey> &key, const QString &language);
    bool flag(const std::optional<TrackKey> &key, const QString &missing, const QString &flag, int value);
    bool refuse_control(const QString &text);
    // Season rules (backend_season.cpp).
    QVariantMap preview(const season::Plan &plan) const;
    int apply(const season::Plan &plan, const QString &rule);
    // Chapters (backend_chapters.cpp).
    std::optional<ChapterKey> chapter_key_at(quint64 edition, quint64 chapter, bool quiet = false);
    std::optional<ChapterKey> chapter_key_of(const QString &text);
    std::optional<ChapterRow> chapter_keyed(const ChapterKey &key) const;
    bool edit_chapters(const std::function<EditOutcome(Editions &, std::optional<std::uint64_t>)> &op);
    bool edit_chapter(const std::optional<ChapterKey> &key,
                      const std::function<EditOutcome(Editions &, const ChapterRow &, std::optional<std::uint64_t>)> &op);
    bool rename(const std::optional<ChapterKey> &key, const QString &name);
    bool split(const std::optional<ChapterKey> &key, SplitAt where);
    bool remove(const std::optional<ChapterKey> &key);
    bool move_start(const std::optional<ChapterKey> &key, qint64 ms);
    bool skip_type(const std::optional<ChapterKey> &key, int type);
    bool mark_role(const std::optional<ChapterKey> &key, const QString &role);
    QVariantMap check_start(const std::optional<ChapterKey> &key, const QString &text) const;
    bool refuse_time(qint64 ms);

    void document_changed(Document *doc);
    void recovered(); // interrupted saves are settled: files named at start open now

    Session session_;
    std::vector<Choice> startup_choices_; // opened once recovery has settled their files
    QStringList file_names_;
    std::optional<std::size_t> active_index_;
    QString active_file_name_;
    QPointer<track_list::TrackList> tracks_;
    QPointer<chapter_list::ChapterList> chapters_;
    int active_row_seen_ = -1; // last active row announced to QML
    std::unique_ptr<FilePicker> picker_;
    bool picking_ = false;
    QVariantList modified_rows_; // per file row, kept by notify_modified
    QStringList load_errors_;
    QStringList load_error_details_;
    QString save_status_;
    bool save_failed_ = false;

    // Finding openings and endings (backend_detect.cpp).
    void detection_done(const std::vector<EpisodeFindings> &findings);
    OpeningFinder finder_;
    std::vector<std::weak_ptr<Document>> detecting_;
    std::vector<EpisodeSuggestion> suggestions_;
};

} // namespace perlane
