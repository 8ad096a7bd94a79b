// Saving for the window: Save all, save anyway, reload, Undo Last Save, the command a save
// would run, and what the status line says.
#include "saving.h"

#include "backend.h"
#include "save_plan.h"

#include <QRegularExpression>

namespace perlane {

namespace {

// Quoted for a POSIX shell, so that the text can be pasted into a terminal as it stands.
QString shell_word(const QString &word) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    return QLatin1Char('\'') + quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

} // namespace

Saving::Saving(Backend &backend) : QObject(&backend), b_(backend) {
    connect(&b_.changes(), &Changes::saving_changed, this, &Saving::saving_changed);
    connect(&b_.changes(), &Changes::status_changed, this, &Saving::save_status_changed);
    connect(&b_.changes(), &Changes::undo_changed, this, &Saving::undo_changed);
    connect(&b_.changes(), &Changes::disk_state_changed, this, &Saving::disk_state_changed);
}

bool Saving::saving() const { return b_.session().saves().saving(); }
QString Saving::save_status() const { return b_.status_text(); }
bool Saving::save_failed() const { return b_.status_failed(); }

QString Saving::tool_output() const {
    const auto &run = b_.session().saves().last_run();
    return run ? QString::fromUtf8(run->output).trimmed() : QString();
}

bool Saving::changed_on_disk() const {
    const Document *doc = b_.active_document();
    return doc && doc->changed_on_disk;
}

QString Saving::active_warning() const {
    const Document *doc = b_.active_document();
    return doc ? doc->warning() : QString();
}



void Saving::save_anyway() {
    if (Document *doc = b_.active_document(); doc && doc->modified())
        b_.session().saves().save(b_.active_shared(), true);
}

void Saving::save_all() {
    // All queued before the first starts, so that its progress counts them all.
    for (const auto &doc : b_.documents())
        if (doc->modified())
            b_.session().saves().save(doc, false, false);
    b_.session().saves().start();
}

void Saving::reload_file() {
    Document *doc = b_.active_document();
    if (!doc || doc->saving)
        return;
    if (const auto reloaded = b_.session().reload(*doc); !reloaded) {
        b_.report(QStringLiteral("Could not reload %1: %2").arg(doc->name(), reloaded.error()), true);
        return;
    }
    b_.report(QStringLiteral("Reloaded %1.").arg(doc->name()), false);
}



bool Saving::can_undo_save() const {
    const Document *doc = b_.active_document();
    return doc && b_.session().journals().can_undo_save(*doc);
}

bool Saving::undo_last_save() {
    Document *doc = b_.active_document();
    if (!doc)
        return false;
    // Every refusal is said, a save under way among them.
    if (const auto undone = b_.session().undo_last_save(*doc); !undone) {
        b_.report(QStringLiteral("Cannot undo the last save of %1: %2").arg(doc->name(), undone.error()), true);
        return false;
    }
    b_.report(QStringLiteral("Undid the last save of %1.").arg(doc->name()), false);
    return true;
}



QVariantMap Saving::save_command() const {
    const Document *doc = b_.active_document();
    if (!doc)
        return {};
    const SavePlan plan = plan_save(*doc);
    // The chapters go through a private file made at save time; "chapters.xml" stands for it.
    const QStringList arguments = QStringList{QStringLiteral("mkvpropedit")} + plan.arguments(doc->path(), QStringLiteral("chapters.xml"));
    QStringList words;
    for (const QString &a : arguments)
        words << shell_word(a);
    return {{QStringLiteral("arguments"), arguments},
            {QStringLiteral("text"), plan.empty() ? QString() : words.join(QLatin1Char(' '))},
            {QStringLiteral("chapters"), plan.chapters ? QString::fromUtf8(*plan.chapters) : QString()}};
}
} // namespace perlane
