#pragma once
// The file list's additions for the window: the active row, files dropped on the window,
// and the files that could not be opened.
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

namespace perlane {

class Backend;

class FileListing : public QObject {
    Q_OBJECT
    // The active row of the file list (-1 when none).
    Q_PROPERTY(int active_index READ active_index NOTIFY active_index_changed)
    // Chosen files that could not be opened, as "name: reason", from the latest open or add,
    // and the reader's own words for those of them it refused, as "name: text".
    Q_PROPERTY(QStringList load_errors READ load_errors NOTIFY load_errors_changed)
    Q_PROPERTY(QStringList load_error_details READ load_error_details NOTIFY load_errors_changed)
public:
    explicit FileListing(Backend &backend);

    int active_index() const;
    QStringList load_errors() const;
    QStringList load_error_details() const;
    Q_INVOKABLE void dismiss_load_errors();
    // Adds dropped files, given as URLs.
    Q_INVOKABLE void add_urls(const QList<QUrl> &urls);

Q_SIGNALS:
    void active_index_changed();
    void load_errors_changed();

private:
    Backend &b_;
};

} // namespace perlane
