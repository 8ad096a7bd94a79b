import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// What Save would run for the active file, to read or copy.
Dialog {
    id: commandDialog
    required property var app
    objectName: "commandDialog"
    anchors.centerIn: parent
    width: Math.min(app.width * 0.9, 820)
    height: Math.min(app.height * 0.8, 600)
    modal: true
    title: "Save command"
    standardButtons: Dialog.Close
    property var command: ({ text: "", chapters: "" })
    ColumnLayout {
        anchors.fill: parent
        Label {
            objectName: "commandSays"
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: commandDialog.command.text.length === 0 ? "Nothing to save: the file has no changes."
                  : commandDialog.command.chapters.length > 0
                    ? "Save runs this command; chapters.xml stands for a private file that holds the chapters shown below it."
                    : "Save runs this command:"
        }
        ScrollView {
            Layout.fillWidth: true
            Layout.fillHeight: true
            TextArea {
                id: commandText
                objectName: "commandText"
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.WrapAnywhere
                font.family: "monospace"
                text: commandDialog.command.text
                      + (commandDialog.command.chapters.length > 0 ? "\n\nchapters.xml:\n" + commandDialog.command.chapters : "")
                Accessible.name: "Save command"
            }
        }
        Button {
            text: "Copy"
            enabled: commandDialog.command.text.length > 0
            onClicked: { commandText.selectAll(); commandText.copy(); commandText.deselect() }
        }
    }
}
