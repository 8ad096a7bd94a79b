import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// Before closing the window or opening other files: the files with unsaved edits.
Dialog {
    id: unsavedDialog
    required property Backend backend
    required property var app
    objectName: "unsavedDialog"
    anchors.centerIn: parent
    width: Math.min(app.width * 0.8, 560)
    modal: true
    title: "Unsaved changes"
    standardButtons: Dialog.SaveAll | Dialog.Discard | Dialog.Cancel
    ColumnLayout {
        width: unsavedDialog.availableWidth
        Label {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: (app.pendingAction === "close" ? "Save these files before closing?"
                                                    : "Save these files before opening others?")
        }
        Label {
            objectName: "unsavedList"
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: backend.history.unsaved_files.map(n => "\u2022 " + n).join("\n")
        }
    }
    onAccepted: {
        backend.saves.save_all()
        if (!backend.saves.saving)
            app.finishPending()
    }
    onDiscarded: {
        close()
        const action = app.pendingAction
        app.pendingAction = ""
        if (action === "close") {
            app.closeConfirmed = true
            app.close()
        } else if (action === "open") {
            backend.open_files()
        }
    }
    onRejected: app.pendingAction = ""
}
