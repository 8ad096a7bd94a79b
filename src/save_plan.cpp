#include "save_plan.h"

#include "chapters_xml.h"

namespace perlane {

SavePlan plan_save(const Document &document) {
    SavePlan plan;
    const auto &was = document.read().tracks;
    const auto &now = document.state().tracks;
    for (std::size_t i = 0; i < now.size() && i < was.size(); ++i) {
        if (now[i] == was[i])
            continue;
        // "track:=UID" names the track by UID; "track:N" would mean the N-th track.
        plan.track_arguments << QStringLiteral("--edit")
                             << QStringLiteral("track:=%1").arg(document.tracks()[i].track_uid.value);
        if (now[i].name != was[i].name)
            plan.track_arguments << QStringLiteral("--set") << QStringLiteral("name=") + now[i].name;
        if (now[i].is_default != was[i].is_default)
            plan.track_arguments << QStringLiteral("--set")
                                 << QStringLiteral("flag-default=%1").arg(now[i].is_default ? 1 : 0);
        if (now[i].language != was[i].language)
            plan.track_arguments << QStringLiteral("--set") << QStringLiteral("language=") + now[i].language;
    }
    if (document.state().editions != document.read().editions)
        plan.chapters = chapters_document(document.state().editions);
    return plan;
}

QStringList SavePlan::arguments(const QString &path, const QString &chapters_path) const {
    QStringList out{path};
    out << track_arguments;
    if (chapters)
        out << QStringLiteral("--chapters") << chapters_path;
    return out;
}

} // namespace perlane
