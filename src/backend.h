#pragma once
#include "chapter_list.h"
#include "editions.h"
#include "file_picker.h"
#include "track_list.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace perlane {

// One opened file, in list order.
struct FileEntry {
    QByteArray segment_uuid; // key into the loaded data
    QString name;            // last path component, as shown
    QString path;
    bool operator==(const FileEntry &) const = default;
};

// A track's name, language and default flag as read and as edited.
struct TrackSettings {
    QString initial_language;
    QString language;
    QString initial_name;
    QString name;
    bool initial_default = false;
    bool default_ = false;

    bool edited() const {
        return name != initial_name || language != initial_language || default_ != initial_default;
    }
};

// The outcome of one run of the external tool.
struct ToolRun {
    std::optional<QString> start_error; // the tool could not be started
    int exit_code = 0;
    bool crashed = false;
    QByteArray out, err;
};

// Everything kept of one loaded file, under its segment's UID.
struct LoadedSegment {
    reader::Info info;
    std::vector<reader::TrackEntry> tracks;
    std::vector<Edition> editions;
    bool chapters_edited = false; // renamed or split since loading
};

// Track edits are kept per file: (SegmentUuid, TrackNumber).
using TrackKey = std::pair<QByteArray, std::uint64_t>;

// The one object the QML interface talks to: the open files, the active file, the
// data read from each file and the pending edits.
class Backend : public QObject {
    Q_OBJECT
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
    const std::vector<FileEntry> &files() const { return files_; }
    const std::map<QByteArray, LoadedSegment> &segments() const { return segments_; }
    const std::map<TrackKey, TrackSettings> &track_settings() const { return track_settings_; }

    // Reads one file and appends it to the list. Returns why it was not added, if it was not.
    std::optional<QString> add_file(const QString &path);
    // Replaces the chooser (tests; the desktop chooser otherwise).
    void set_picker(std::unique_ptr<FilePicker> picker);
    int active_row() const { return active_index_ ? static_cast<int>(*active_index_) : -1; }
    QString save_status() const { return save_status_; }
    bool save_failed() const { return save_failed_; }
    const std::optional<ToolRun> &last_run() const { return last_run_; }
    QVariantList modified_rows() const { return modified_rows_; }
    bool active_modified() const;
    bool is_modified(const QByteArray &segment_uuid) const;
    QStringList load_errors() const { return load_errors_; }
    Q_INVOKABLE void dismiss_load_errors();

Q_SIGNALS:
    void file_names_changed();
    void active_file_name_changed();
    void active_index_changed();
    void save_status_changed();
    void modified_changed();
    void load_errors_changed();

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

protected:
    // Appends one loaded file to the list; the first file of an empty list becomes active.
    void append_file(FileEntry entry);
    void refill_models();
    const LoadedSegment *active_segment() const;
    LoadedSegment *active_segment();
    TrackSettings *track_for_slot(const QString &disc, quint64 number);
    void split(quint64 edition, quint64 chapter, SplitAt where);
    std::optional<QStringList> pick();
    void report(const QString &status, bool failed);
    void load_paths(const QStringList &paths);
    void notify_active_row(int old_row);
    void notify_modified();
    TrackSettings *settings_of(const QByteArray &segment_uuid, const reader::TrackEntry &track);
    const TrackSettings *settings_of(const QByteArray &segment_uuid, const reader::TrackEntry &track) const;

private:
    std::vector<FileEntry> files_;
    QStringList file_names_;
    std::optional<FileEntry> active_;
    std::optional<std::size_t> active_index_;
    QString active_file_name_;
    QPointer<track_list::TrackList> tracks_;
    QPointer<chapter_list::ChapterList> chapters_;
    int active_row_seen_ = -1; // last active row announced to QML
    std::map<TrackKey, TrackSettings> track_settings_;
    std::map<QByteArray, LoadedSegment> segments_;
    std::unique_ptr<FilePicker> picker_;
    bool picking_ = false;
    std::optional<ToolRun> last_run_;
    QVariantList modified_rows_; // per file row, kept by notify_modified
    QStringList load_errors_;
    QString save_status_;
    bool save_failed_ = false;
    // Private directory of the chapters file, kept until the next save.
    std::unique_ptr<QTemporaryDir> chapters_dir_;
};

} // namespace perlane
