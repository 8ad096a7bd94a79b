#pragma once
#include <QByteArray>
#include <QList>

namespace perlane {

// Registers "Backend", "TrackList" and "ChapterList" in the QML module "perlane" 0.2.
void register_qml_types();

// SIGTERM, SIGINT and SIGHUP end the event loop, so that the engine and the loaded data
// are torn down in order and the process exits with status 0.
void quit_on_termination_signals();

// The files named on the command line, as the system gave their names. The first
// Backend to complete takes them and opens them.
void set_startup_files(QList<QByteArray> files);
QList<QByteArray> take_startup_files();

} // namespace perlane
