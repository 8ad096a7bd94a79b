#pragma once
#include "changes.h"
#include "chapter_editing.h"
#include "chapter_list.h"
#include "detection.h"
#include "document.h"
#include "file_listing.h"
#include "file_picker.h"
#include "edit_history.h"
#include "language_lookup.h"
#include "paths.h"
#include "saving.h"
#include "season_rules.h"
#include "session.h"
#include "settings.h"
#include "track_editing.h"
#include "track_list.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace perlane {

// The one object QML creates: the list of open files, the active one and its models, the
// edits of the slots it was first given; the rest of the work is handed to controllers it
// owns, one job each, reached from QML as its constant properties ("backend.season…").
class Backend : public QObject, public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    Q_CLASSINFO("DefaultProperty", "tracks")
    Q_PROPERTY(QStringList file_names READ file_names WRITE set_file_names NOTIFY file_names_changed)
    Q_PROPERTY(QString active_file_name READ active_file_name WRITE set_active_file_name NOTIFY
                   active_file_name_changed)
    Q_PROPERTY(QObject *tracks READ tracks WRITE set_tracks)
    Q_PROPERTY(QObject *chapters READ chapters WRITE set_chapters)
    // The controllers.
    Q_PROPERTY(perlane::FileListing *files READ files CONSTANT)
    Q_PROPERTY(perlane::EditHistory *history READ history CONSTANT)
    Q_PROPERTY(perlane::Saving *saves READ saves CONSTANT)
    Q_PROPERTY(perlane::TrackEditing *track_edits READ track_edits CONSTANT)
    Q_PROPERTY(perlane::ChapterEditing *chapter_edits READ chapter_edits CONSTANT)
    Q_PROPERTY(perlane::SeasonRules *season READ season CONSTANT)
    Q_PROPERTY(perlane::Detection *detection READ detection CONSTANT)
    Q_PROPERTY(perlane::LanguageLookup *languages READ languages CONSTANT)
    Q_PROPERTY(perlane::Settings *settings READ settings CONSTANT)

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

    FileListing *files() { return &files_; }
    EditHistory *history() { return &history_; }
    Saving *saves() { return &saves_; }
    TrackEditing *track_edits() { return &track_edits_; }
    ChapterEditing *chapter_edits() { return &chapter_edits_; }
    SeasonRules *season() { return &season_; }
    Detection *detection() { return &detection_; }
    LanguageLookup *languages() { return &languages_; }
    Settings *settings() { return &settings_; }

    // What the controllers share (C++ only).
    Changes &changes() { return changes_; }
    Session &session() { return session_; }
    const Session &session() const { return session_; }
    const std::vector<std::shared_ptr<Document>> &documents() const { return session_.documents(); }
    // Makes file `index` active (none when absent or past the end) and refills the models.
    void set_active(std::optional<std::size_t> index);
    std::optional<std::size_t> active_index() const { return active_index_; }
    int active_row() const { return active_index_ ? static_cast<int>(*active_index_) : -1; }
    Document *active_document() const;
    std::shared_ptr<Document> active_shared() const;
    // Edits the active document, unless `change` refuses: the one route of the window's edits.
    bool edit_active(const std::function<bool(DocumentState &)> &change);
    // Says `status` in the status line (`failed`: as an error).
    void report(const QString &status, bool failed);
    QString status_text() const { return save_status_; }
    bool status_failed() const { return save_failed_; }
    // A NUL would end the text where the tool reads it (the rest lost unseen), and other
    // control characters are nothing a player shows as a name: refused, and said.
    bool refuse_control(const QString &text);
    // The outcome of the latest save's tool run.
    const std::optional<ToolResult> &last_run() const { return session_.saves().last_run(); }
    QVariantList modified_rows() const { return modified_rows_; }
    QStringList load_errors() const { return load_errors_; }
    QStringList load_error_details() const { return load_error_details_; }
    void dismiss_load_errors();

    // Reads one file and appends it to the list (or selects it when it is listed already).
    // Returns why it was not opened, if it was not.
    std::optional<QString> add_file(const QString &path);
    // Opens each usable choice, and lists why the others could not be opened.
    void load_choices(const std::vector<Choice> &choices);
    // Replaces the chooser (tests; the desktop chooser otherwise).
    void set_picker(std::unique_ptr<FilePicker> picker);

    void classBegin() override {}
    void componentComplete() override;

Q_SIGNALS:
    void file_names_changed();
    void active_file_name_changed();

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
    void notify_active_row(int old_row);
    void notify_modified();
    void document_changed(Document *doc);
    void recovered(); // interrupted saves are settled: files named at start open now

    Changes changes_;
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

    FileListing files_{*this};
    EditHistory history_{*this};
    Saving saves_{*this};
    TrackEditing track_edits_{*this};
    ChapterEditing chapter_edits_{*this};
    SeasonRules season_{*this};
    Detection detection_{*this};
    LanguageLookup languages_;
    Settings settings_;
};

} // namespace perlane
