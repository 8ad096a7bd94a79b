#pragma once
// Language codes for the window: checking what the user typed, and finding a language by
// its name or code.
#include <QObject>
#include <QVariantList>
#include <QVariantMap>

namespace perlane {

class LanguageLookup : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // {ok, tag, description} for a language people may store, else {ok: false, reason}.
    Q_INVOKABLE QVariantMap check_language(const QString &text) const;
    // [{tag, label}] of the languages matching `query` ("English — eng"), best first.
    Q_INVOKABLE QVariantList search_languages(const QString &query) const;
};

} // namespace perlane
