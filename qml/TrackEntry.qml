import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One track: type, editable name, default flag and language. Enter or leaving the field
// commits an edit, Escape restores the shown value.
Frame {
    id: root
    property string variant: ""
    property string trackName: ""
    property string language: ""
    property bool isDefault: false
    property var number: 0

    signal nameEdited(string text)
    signal defaultEdited(bool value)
    signal languageEdited(string text)

    // The fields follow the model (an undo, a refused edit) even after the user typed.
    onTrackNameChanged: nameField.text = trackName
    onLanguageChanged: languageField.text = language

    padding: 6
    implicitWidth: 560

    RowLayout {
        anchors.fill: parent
        spacing: 10

        Label {
            text: "#" + root.number
            Layout.preferredWidth: 32
            color: palette.placeholderText
        }
        Label {
            text: root.variant
            font.bold: true
            Layout.preferredWidth: 70
            Accessible.name: "Track type " + root.variant
        }
        TextField {
            id: nameField
            objectName: "trackName"
            text: root.trackName
            placeholderText: "(no name)"
            Layout.fillWidth: true
            selectByMouse: true
            Accessible.name: "Track name"
            onEditingFinished: if (text !== root.trackName) { root.nameEdited(text); text = root.trackName }
            Keys.onEscapePressed: { text = root.trackName; focus = false }
        }
        CheckBox {
            objectName: "trackDefault"
            text: "Default"
            checked: root.isDefault
            Accessible.name: "Default track"
            onToggled: { root.defaultEdited(checked); checked = Qt.binding(() => root.isDefault) }
        }
        TextField {
            id: languageField
            objectName: "trackLanguage"
            text: root.language
            Layout.preferredWidth: 70
            selectByMouse: true
            Accessible.name: "Track language"
            ToolTip.visible: hovered
            ToolTip.text: "Language code, for example eng, ger or jpn"
            ToolTip.delay: 800
            onEditingFinished: if (text !== root.language) { root.languageEdited(text); text = root.language }
            Keys.onEscapePressed: { text = root.language; focus = false }
        }
    }
}
