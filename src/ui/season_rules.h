#pragma once
// Season rules for the window. Each previews as {ok, message, changes: [{file, track,
// change}], skipped: ["file: reason"], files} and applies as the number of files changed.
#include "season.h"

#include <QObject>
#include <QVariantList>
#include <QVariantMap>

namespace perlane {

class Backend;

class SeasonRules : public QObject {
    Q_OBJECT
public:
    explicit SeasonRules(Backend &backend);

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
    // The active file's chapter names and skip types, to every file whose chapters line up.
    Q_INVOKABLE QVariantMap preview_chapter_names_to_all() const;
    Q_INVOKABLE int apply_chapter_names_to_all();

private:
    QVariantMap preview(const season::Plan &plan) const;
    int apply(const season::Plan &plan, const QString &rule);

    Backend &b_;
};

} // namespace perlane
