import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// Flags the tracks' names suggest, one click per flag for the whole season.
Dialog {
    id: suggestionsDialog
    required property Backend backend
    required property var app
    objectName: "suggestionsDialog"
    anchors.centerIn: parent
    width: Math.min(app.width * 0.9, 760)
    height: Math.min(app.height * 0.9, 640)
    modal: true
    title: "Suggested flags"
    standardButtons: Dialog.Close
    property var suggestions: []
    property string done: "" // what the last Accept did, said in the dialog itself
    function refresh() { suggestions = backend.season.flag_suggestions() }
    onOpened: done = ""
    ScrollView {
        anchors.fill: parent
        contentWidth: availableWidth
        ColumnLayout {
            width: suggestionsDialog.availableWidth
            spacing: 12
            Label {
                objectName: "suggestionDone"
                visible: suggestionsDialog.done.length > 0
                text: "\u2713 " + suggestionsDialog.done
                font.bold: true
                wrapMode: Text.Wrap
                Layout.fillWidth: true
                Accessible.role: Accessible.AlertMessage
                Accessible.name: suggestionsDialog.done
            }
            Label {
                objectName: "noSuggestions"
                visible: suggestionsDialog.suggestions.length === 0
                text: "No track's name suggests a flag that is not set already."
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            Repeater {
                model: suggestionsDialog.suggestions
                delegate: Frame {
                    required property var modelData
                    Layout.fillWidth: true
                    ColumnLayout {
                        width: parent.width
                        RowLayout {
                            Layout.fillWidth: true
                            Label {
                                Layout.fillWidth: true
                                wrapMode: Text.Wrap
                                font.bold: true
                                text: modelData.label + " for the tracks with " + modelData.reason.replace("names with ", "") + " in their names"
                            }
                            Button {
                                objectName: "accept_" + modelData.flag
                                text: "Accept"
                                Accessible.name: "Set the " + modelData.label + " flag on these tracks"
                                onClicked: {
                                    backend.season.accept_flag_suggestion(modelData.flag)
                                    suggestionsDialog.done = backend.saves.save_status
                                    suggestionsDialog.refresh()
                                }
                            }
                        }
                        PlanView { Layout.fillWidth: true; plan: modelData.preview }
                    }
                }
            }
        }
    }
}
