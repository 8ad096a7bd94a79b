import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A season rule's plan: what changes where, and which files are skipped and why.
ColumnLayout {
    property var plan: ({ ok: false, message: "", changes: [], skipped: [], files: 0 })
    spacing: 4
    Label {
        objectName: "planSummary"
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        text: parent.plan.message.length > 0 ? parent.plan.message
              : parent.plan.changes.length === 0 ? "Nothing would change."
              : parent.plan.changes.length + (parent.plan.changes.length === 1 ? " change in " : " changes in ")
                + parent.plan.files + (parent.plan.files === 1 ? " file:" : " files:")
        color: parent.plan.message.length > 0 ? Theme.error : palette.windowText
    }
    ListView {
        objectName: "planChanges"
        cacheBuffer: 0 // see chapterList
        Layout.fillWidth: true
        Layout.preferredHeight: Math.min(contentHeight, 260)
        clip: true
        model: parent.plan.changes
        delegate: Label {
            required property var modelData
            width: ListView.view.width
            elide: Text.ElideMiddle
            text: modelData.file + " \u2014 " + modelData.track + " \u2014 " + modelData.change
        }
        ScrollBar.vertical: ScrollBar {}
    }
    Label {
        objectName: "planSkipped"
        visible: parent.plan.skipped.length > 0
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        color: palette.placeholderText
        text: "Skipped:\n" + parent.plan.skipped.map(s => "\u2022 " + s).join("\n")
    }
}
