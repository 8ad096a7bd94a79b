import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One chapter: editable name, start, end and length, and the two 90-second splits.
// Chapters of 85 to 95 seconds (a likely opening or ending) are highlighted.
Frame {
    id: root
    property string chapterName: ""
    property string start: ""
    property string end: ""
    property string duration: ""
    property bool qualifies: false
    property var edition: 0
    // A column header row: the same layout, with titles.
    property bool header: false

    signal nameEdited(string text)
    signal splitStart()
    signal splitEnd()

    onChapterNameChanged: nameField.text = chapterName

    padding: 6
    implicitWidth: 760
    background: Rectangle {
        visible: !root.header
        color: root.qualifies ? Qt.rgba(0.95, 0.75, 0.2, 0.35) : "transparent"
        border.color: root.qualifies ? "#c08a00" : palette.mid
        radius: 3
    }

    RowLayout {
        anchors.fill: parent
        spacing: 10

        Label {
            visible: root.header
            text: "Name"
            font.bold: true
            Layout.fillWidth: true
            Layout.minimumWidth: 160
        }
        TextField {
            id: nameField
            objectName: "chapterName"
            visible: !root.header
            text: root.chapterName
            Layout.fillWidth: true
            Layout.minimumWidth: 160
            selectByMouse: true
            Accessible.name: "Chapter name"
            onEditingFinished: if (text !== root.chapterName) { root.nameEdited(text); text = root.chapterName }
            Keys.onEscapePressed: { text = root.chapterName; focus = false }
        }
        Label { objectName: "chapterStart"; text: root.header ? "Start" : root.start; font.bold: root.header; font.family: "monospace"; Layout.preferredWidth: 90; Accessible.name: "Start " + root.start }
        Label { objectName: "chapterEnd"; text: root.header ? "End" : root.end; font.bold: root.header; font.family: "monospace"; Layout.preferredWidth: 90; Accessible.name: "End " + root.end }
        Label {
            text: root.header ? "Length" : root.duration
            font.family: "monospace"
            font.bold: root.qualifies || root.header
            Layout.preferredWidth: 90
            Accessible.name: "Length " + root.duration
        }
        Button {
            objectName: "splitStart"
            opacity: root.header ? 0 : 1
            enabled: !root.header
            text: "90 s from start"
            Accessible.name: "Split 90 seconds off the start"
            onClicked: root.splitStart()
        }
        Button {
            objectName: "splitEnd"
            opacity: root.header ? 0 : 1
            enabled: !root.header
            text: "90 s from end"
            Accessible.name: "Split 90 seconds off the end"
            onClicked: root.splitEnd()
        }
    }
}
