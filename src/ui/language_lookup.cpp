#include "language_lookup.h"

#include "languages.h"

namespace perlane {

QVariantMap LanguageLookup::check_language(const QString &text) const {
    const auto checked = languages::check(text);
    if (!checked)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), checked.error()}};
    return {{QStringLiteral("ok"), true},
            {QStringLiteral("tag"), checked->tag},
            {QStringLiteral("description"), checked->description}};
}

QVariantList LanguageLookup::search_languages(const QString &query) const {
    QVariantList out;
    for (const languages::Choice &c : languages::search(query, query.trimmed().isEmpty() ? 1000 : 60))
        out << QVariantMap{{QStringLiteral("tag"), c.tag}, {QStringLiteral("label"), c.label}};
    return out;
}

} // namespace perlane
