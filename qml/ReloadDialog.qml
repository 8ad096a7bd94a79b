import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// Reading the active file again drops its unsaved edits: asked first.
Dialog {
    id: reloadDialog
    required property Backend backend
    required property var app
    objectName: "reloadDialog"
    anchors.centerIn: parent
    width: Math.min(app.width * 0.8, 520)
    modal: true
    title: "Reload file"
    standardButtons: Dialog.Discard | Dialog.Cancel
    Label {
        width: reloadDialog.availableWidth
        wrapMode: Text.Wrap
        text: "Reloading \u201C" + backend.active_file_name + "\u201D drops its unsaved changes."
    }
    onDiscarded: { close(); backend.saves.reload_file() }
}
