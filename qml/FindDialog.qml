import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// Openings and endings found by their sound: progress, then per episode what was found
// and what accepting it would change. Nothing is written before a save.
Dialog {
    id: findDialog
    required property Backend backend
    required property var app
    objectName: "findDialog"
    anchors.centerIn: parent
    width: Math.min(app.width * 0.95, 980)
    height: Math.min(app.height * 0.9, 640)
    modal: true
    closePolicy: Popup.NoAutoClose
    title: "Find openings and endings"
    footer: DialogButtonBox {
        Button {
            objectName: "findCancel"
            text: backend.detection.detecting ? "Cancel" : "Close"
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
        }
        Button {
            objectName: "findApply"
            text: "Mark them all"
            enabled: !backend.detection.detecting && backend.detection.suggestions.some(s => s.accepted)
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
        }
    }
    onRejected: backend.detection.cancel_detection()
    onAccepted: backend.detection.accept_suggestions()
    ColumnLayout {
        anchors.fill: parent
        Label {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: backend.detection.detecting
                  ? "Listening to the start and the end of every episode for the songs they share\u2026"
                  : "The opening and ending each episode shares with the others. \u201CMark them all\u201D names them Opening and Ending, with their skip types; save to keep them."
        }
        ProgressBar {
            objectName: "findProgress"
            visible: backend.detection.detecting
            Layout.fillWidth: true
            value: backend.detection.detection_progress
        }
        ListView {
            objectName: "findResults"
            cacheBuffer: 0 // see chapterList
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 6
            model: backend.detection.suggestions
            delegate: Frame {
                id: found
                objectName: "found_" + index
                required property var modelData
                required property int index
                readonly property bool any: modelData.opening.length > 0 || modelData.ending.length > 0
                width: ListView.view.width
                ColumnLayout {
                    width: parent.width
                    RowLayout {
                        Layout.fillWidth: true
                        Label { text: found.modelData.file; font.bold: true; elide: Text.ElideMiddle; Layout.fillWidth: true }
                        // Each episode's own say: doubtful findings start unchecked.
                        CheckBox {
                            objectName: "acceptSuggestion"
                            text: "Mark"
                            visible: found.any
                            checked: found.modelData.accepted
                            Accessible.name: "Mark the opening and ending found in " + found.modelData.file
                            onToggled: backend.detection.set_suggestion_accepted(found.index, checked)
                        }
                    }
                    Label {
                        objectName: "foundText"
                        function agree(votes) { return votes === 1 ? "1 other episode agrees" : votes + " other episodes agree" }
                        text: "Opening: " + (found.modelData.opening.length > 0
                                             ? found.modelData.opening + "  (" + agree(found.modelData.opening_votes) + ")" : "none")
                              + "\nEnding: " + (found.modelData.ending.length > 0
                                                ? found.modelData.ending + "  (" + agree(found.modelData.ending_votes) + ")" : "none")
                              + "\nChapters: " + found.modelData.change
                        font.family: "monospace"
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                    Label {
                        objectName: "suggestionDoubt"
                        visible: found.modelData.doubt.length > 0
                        text: "\u26A0 Doubtful \u2014 " + found.modelData.doubt
                        color: Theme.oddText
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                    Label {
                        visible: found.modelData.notes.length > 0
                        text: found.modelData.notes
                        color: palette.placeholderText
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                }
            }
            ScrollBar.vertical: ScrollBar {}
        }
    }
}
