#pragma once
// A Backend with its two models, as the QML documents set it up.
#include "backend.h"

#include <QTest>

struct BackendSetup {
    BackendSetup() {
        backend.set_tracks(&tracks);
        backend.set_chapters(&chapters);
    }
    // Waits for the running saves to end.
    void wait() { QTRY_VERIFY_WITH_TIMEOUT(!backend.saves()->saving(), 60000); }
    // Saves the active file and waits for the outcome.
    void save() {
        backend.save_file();
        wait();
    }
    perlane::track_list::TrackList tracks;
    perlane::chapter_list::ChapterList chapters;
    perlane::Backend backend;
};
