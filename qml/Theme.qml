pragma Singleton
import QtQuick

// The window's colours, one table: each reads on the light or dark palette the desktop
// hands the window (which sets `dark`).
QtObject {
    property bool dark: false
    readonly property color error: dark ? "#ff8a80" : "#b00020"
    readonly property color errorBack: dark ? "#4a1c1c" : "#fdecea"
    readonly property color errorText: dark ? "#ffd6d2" : "#5f0010"
    readonly property color noticeBack: dark ? "#4a3a12" : "#fff4e0"
    readonly property color noticeBorder: dark ? "#d8a530" : "#c08a00"
    readonly property color oddText: dark ? "#ffcc80" : "#8a4b00"
    readonly property color focusRing: dark ? "#8ab4f8" : "#1a5fb4"
}
