#include "save_plan.h"

#include "chapters_xml.h"

namespace perlane {

namespace {
QString flag_setting(const TrackFlagInfo &f, int value) {
    return QLatin1StringView(f.property.data(), static_cast<qsizetype>(f.property.size())) +
           (value == flag_unset ? QString() : QStringLiteral("=%1").arg(value));
}
} // namespace

SavePlan plan_save(const Document &document) {
    SavePlan plan;
    const QString &title = document.state().title;
    if (title != document.read().title) {
        plan.info_arguments << QStringLiteral("--edit") << QStringLiteral("info");
        if (title.isEmpty())
            plan.info_arguments << QStringLiteral("--delete") << QStringLiteral("title");
        else
            plan.info_arguments << QStringLiteral("--set") << QStringLiteral("title=") + title;
    }
    const auto &was = document.read().tracks;
    const auto &now = document.state().tracks;
    for (std::size_t i = 0; i < now.size() && i < was.size(); ++i) {
        if (now[i] == was[i])
            continue;
        // "track:=UID" names the track by UID; "track:N" would mean the N-th track.
        plan.track_arguments << QStringLiteral("--edit")
                             << QStringLiteral("track:=%1").arg(document.tracks()[i].track_uid.value);
        // A name cleared is a name removed, not an empty one stored.
        if (now[i].name != was[i].name)
            plan.track_arguments << (now[i].name.isEmpty() ? QStringList{QStringLiteral("--delete"), QStringLiteral("name")}
                                                           : QStringList{QStringLiteral("--set"), QStringLiteral("name=") + now[i].name});
        if (now[i].is_default != was[i].is_default)
            plan.track_arguments << QStringLiteral("--set")
                                 << QStringLiteral("flag-default=%1").arg(now[i].is_default ? 1 : 0);
        if (now[i].language != was[i].language)
            plan.track_arguments << QStringLiteral("--set") << QStringLiteral("language=") + now[i].language;
        for (const TrackFlagInfo &f : track_flags) {
            const auto k = static_cast<std::size_t>(f.flag);
            if (now[i].flags[k] != was[i].flags[k])
                plan.track_arguments << (now[i].flags[k] == flag_unset ? QStringLiteral("--delete")
                                                                      : QStringLiteral("--set"))
                                     << flag_setting(f, now[i].flags[k]);
        }
    }
    if (document.state().editions != document.read().editions) {
        plan.refusal = chapters_refusal(document.state().editions);
        if (plan.refusal)
            *plan.refusal = QStringLiteral("Its chapters cannot be saved: ") + *plan.refusal;
        plan.chapters = chapters_document(document.state().editions);
    }
    return plan;
}

QStringList SavePlan::arguments(const QString &path, const QString &chapters_path) const {
    QStringList out{path};
    out << info_arguments << track_arguments;
    if (chapters)
        out << QStringLiteral("--chapters") << chapters_path;
    return out;
}

} // namespace perlane
