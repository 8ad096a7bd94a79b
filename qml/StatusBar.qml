import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// Always there, one line high: the latest outcome in words ("Saved …", why a save
// failed), else what is open. One layout inside, so the bar takes its text's height.
Frame {
    required property Backend backend
    required property var app
    objectName: "statusBar"
    padding: 6
    RowLayout {
        anchors.fill: parent
        Label {
            objectName: "statusLine"
            Layout.fillWidth: true
            text: app.closeWhenSaved ? "Waiting for the save to finish before closing\u2026"
                : backend.saves.save_status.length > 0 ? backend.saves.save_status
                : !app.hasFiles ? "No files open"
                : app.listedNames.length === 1 ? "1 file open" : app.listedNames.length + " files open"
            color: backend.saves.save_failed && !app.closeWhenSaved ? Theme.error : palette.windowText
            elide: Text.ElideRight
            Accessible.role: Accessible.AlertMessage
            Accessible.name: text
        }
    }
}
