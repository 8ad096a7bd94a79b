import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// Every rule shows its changes before it makes them.
Dialog {
    id: previewDialog
    required property var app
    objectName: "previewDialog"
    property var run: null
    anchors.centerIn: parent
    width: Math.min(app.width * 0.9, 760)
    modal: true
    standardButtons: Dialog.Apply | Dialog.Cancel
    function show(what, plan, action) {
        title = what
        planView.plan = plan
        run = action
        open()
        standardButton(Dialog.Apply).enabled = plan.ok
    }
    PlanView { id: planView; width: previewDialog.availableWidth }
    onApplied: { close(); if (run) run() }
    // Enter applies, as the focused default button.
    onOpened: if (standardButton(Dialog.Apply).enabled) standardButton(Dialog.Apply).forceActiveFocus()
    Shortcut {
        sequences: ["Return", "Enter"]
        enabled: previewDialog.opened && previewDialog.standardButton(Dialog.Apply).enabled
        onActivated: previewDialog.standardButton(Dialog.Apply).clicked()
    }
}
