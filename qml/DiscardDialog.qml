import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// Removing a file with unsaved edits: asked first.
Dialog {
    id: discardDialog
    required property Backend backend
    required property var app
    objectName: "discardDialog"
    anchors.centerIn: parent
    width: Math.min(app.width * 0.8, 520)
    modal: true
    title: "Unsaved changes"
    standardButtons: Dialog.Discard | Dialog.Cancel
    ColumnLayout {
        width: discardDialog.availableWidth
        Label {
            Layout.fillWidth: true
            text: "\u201C" + backend.active_file_name + "\u201D has changes that were not saved. Remove it from the list anyway?"
            wrapMode: Text.Wrap
        }
    }
    onDiscarded: {
        close()
        if (app.pendingAction === "remove")
            backend.delete_file(backend.files.active_index)
        app.pendingAction = ""
    }
    onRejected: app.pendingAction = ""
}
