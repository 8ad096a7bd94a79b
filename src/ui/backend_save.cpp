// Saving the active file or all of them, through the session's save queue, and reading
// one again.
#include "backend.h"

namespace perlane {

void Backend::save_file() {
    Document *doc = active_document();
    if (!doc)
        return;
    if (!doc->modified()) {
        report(QStringLiteral("Nothing to save: %1 has no changes.").arg(doc->name()), false);
        return;
    }
    session_.saves().save(documents()[*active_index_], false);
}

void Backend::save_anyway() {
    if (Document *doc = active_document(); doc && doc->modified())
        session_.saves().save(documents()[*active_index_], true);
}

void Backend::save_all() {
    // All queued before the first starts, so that its progress counts them all.
    for (const auto &doc : documents())
        if (doc->modified())
            session_.saves().save(doc, false, false);
    session_.saves().start();
}

void Backend::reload_file() {
    Document *doc = active_document();
    if (!doc || doc->saving)
        return;
    if (const auto reloaded = session_.reload(*doc); !reloaded) {
        report(QStringLiteral("Could not reload %1: %2").arg(doc->name(), reloaded.error()), true);
        return;
    }
    report(QStringLiteral("Reloaded %1.").arg(doc->name()), false);
}

} // namespace perlane
