import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One chapter: editable name and start, end and length, the 90-second splits, delete,
// its skip type with the one-click roles, and which players would skip it. Chapters of 85
// to 95 seconds (a likely opening or ending) are highlighted. Nested chapters are listed
// under it.
Frame {
    id: root
    property string key: "" // names the chapter in edits (the model's "key")
    property string chapterName: ""
    property string start: ""
    property string end: ""
    property string duration: ""
    property bool qualifies: false
    property var edition: 0
    property int skipType: -1
    property string players: ""
    property string fix: ""
    property string nested: ""
    // A column header row: the same layout, with titles.
    property bool header: false
    // Checks a start typed in the field for the chapter `key`: {ok, ms} or {ok: false, reason}.
    property var checkStart: function(key, text) { return { ok: true, ms: 0 } }
    // The chapter each field's typing is for and what it showed, taken at the first
    // keystroke: by the time the edit ends, this row may show another chapter.
    property string nameKey: ""
    property string nameFrom: ""
    property string startKey: ""
    property string startFrom: ""
    property var startCheck: ({ ok: true, reason: "" })
    property int number: 1 // the row's place in the list, from 1
    // Which row a control belongs to, for screen readers: "chapter 3, Opening".
    readonly property string rowLabel: "chapter " + number + (chapterName.length > 0 ? ", " + chapterName : "")

    // From the backend's tables: the skip types' labels ("None" first) and the roles' names.
    property var skipTypeNames: []
    property var fixNames: ({})

    signal nameEdited(string key, string text)
    signal startEdited(string key, var ms)
    signal splitStart()
    signal splitEnd()
    signal deleteChapter()
    signal skipTypeEdited(int type)
    signal mark(string role)

    // Typing in progress is kept: it goes to its own chapter when the edit ends.
    onChapterNameChanged: if (nameKey === "") nameField.text = chapterName
    onStartChanged: if (startKey === "") { startField.text = start; startCheck = { ok: true, reason: "" } }

    padding: 6
    implicitWidth: 760
    background: Rectangle {
        visible: !root.header
        color: root.qualifies ? Qt.rgba(0.95, 0.75, 0.2, 0.25) : "transparent"
        border.color: root.qualifies ? Theme.noticeBorder : palette.mid
        radius: 3
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 4

        RowLayout {
            Layout.fillWidth: true
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
                Accessible.name: "Name of " + root.rowLabel
                onTextEdited: if (root.nameKey === "") { root.nameKey = root.key; root.nameFrom = root.chapterName }
                onEditingFinished: {
                    if (root.nameKey !== "" && text !== root.nameFrom)
                        root.nameEdited(root.nameKey, text)
                    root.nameKey = ""
                    text = root.chapterName
                }
                Keys.onEscapePressed: { root.nameKey = ""; text = root.chapterName; focus = false }
            }
            Label { visible: root.header; text: "Start"; font.bold: true; Layout.preferredWidth: 100 }
            TextField {
                id: startField
                objectName: "chapterStart"
                visible: !root.header
                text: root.start
                font.family: "monospace"
                Layout.preferredWidth: 100
                selectByMouse: true
                color: root.startCheck.ok ? palette.text : Theme.error
                Accessible.name: "Start of " + root.rowLabel + ": " + root.start
                ToolTip.visible: hovered && root.startCheck.ok
                ToolTip.text: "Start, as mm:ss.fff or h:mm:ss.fff: moves the boundary with the previous chapter"
                ToolTip.delay: 800
                onTextEdited: {
                    if (root.startKey === "") { root.startKey = root.key; root.startFrom = root.start }
                    root.startCheck = text === root.startFrom ? { ok: true, reason: "" } : root.checkStart(root.startKey, text)
                }
                onEditingFinished: {
                    const edited = root.startKey !== "" && text !== root.startFrom
                    if (edited && !root.startCheck.ok)
                        return // an invalid time stays, with its reason, until fixed or Escape
                    if (edited)
                        root.startEdited(root.startKey, root.startCheck.ms)
                    root.startKey = ""
                    text = root.start
                }
                Keys.onEscapePressed: { root.startKey = ""; text = root.start; root.startCheck = { ok: true, reason: "" }; focus = false }
            }
            Label { objectName: "chapterEnd"; text: root.header ? "End" : root.end; font.bold: root.header; font.family: "monospace"; Layout.preferredWidth: 90; Accessible.name: "End of " + root.rowLabel + ": " + root.end }
            Label {
                objectName: "chapterLength"
                // The likely opening or ending is said in words too, not only by colour.
                text: root.header ? "Length" : root.duration + (root.qualifies ? " ≈ 90 s" : "")
                font.family: "monospace"
                font.bold: root.qualifies || root.header
                Layout.preferredWidth: 150
                Accessible.name: "Length of " + root.rowLabel + ": " + root.duration
                                 + (root.qualifies ? ", about 90 seconds: likely an opening or ending" : "")
            }
            Button {
                objectName: "deleteChapter"
                opacity: root.header ? 0 : 1
                enabled: !root.header
                text: "\u2715"
                Layout.preferredWidth: 32
                Accessible.name: "Delete " + root.rowLabel + " (merge it into the previous one)"
                ToolTip.visible: hovered && !root.header // the header's button only holds the column
                ToolTip.text: "Delete: the previous chapter (the next, for the first) takes its time"
                ToolTip.delay: 800
                onClicked: root.deleteChapter()
            }
        }
        Label {
            objectName: "startError"
            visible: !root.header && !root.startCheck.ok
            text: root.startCheck.reason || ""
            color: Theme.error
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            Accessible.role: Accessible.AlertMessage
        }
        // The second line wraps when the window is narrow: nothing is cut off.
        Flow {
            visible: !root.header
            Layout.fillWidth: true
            spacing: 8
            Button {
                objectName: "splitStart"
                text: "90 s from start"
                Accessible.name: "Split 90 seconds off the start of " + root.rowLabel
                onClicked: root.splitStart()
            }
            Button {
                objectName: "splitEnd"
                text: "90 s from end"
                Accessible.name: "Split 90 seconds off the end of " + root.rowLabel
                onClicked: root.splitEnd()
            }
            Label { text: "Skip:"; height: skipBox.height; verticalAlignment: Text.AlignVCenter }
            ComboBox {
                id: skipBox
                objectName: "skipType"
                model: root.skipTypeNames
                currentIndex: root.skipType + 1
                width: 170
                Accessible.name: "Skip type of " + root.rowLabel
                onActivated: (i) => { root.skipTypeEdited(i - 1); currentIndex = Qt.binding(() => root.skipType + 1) }
            }
            Button { objectName: "markOpening"; text: "Opening"; Accessible.name: "Mark " + root.rowLabel + " as the opening"; onClicked: root.mark("opening") }
            Button { objectName: "markEnding"; text: "Ending"; Accessible.name: "Mark " + root.rowLabel + " as the ending"; onClicked: root.mark("ending") }
            Button {
                id: moreRoles
                objectName: "moreRoles"
                text: "More ▾"
                Accessible.name: "Mark " + root.rowLabel + " as recap or preview"
                onClicked: rolesMenu.popup(moreRoles, 0, moreRoles.height)
                Menu {
                    id: rolesMenu
                    MenuItem { objectName: "markRecap"; text: "Recap"; onTriggered: root.mark("recap") }
                    MenuItem { objectName: "markPreview"; text: "Preview"; onTriggered: root.mark("preview") }
                }
            }
            Label {
                objectName: "players"
                height: skipBox.height
                verticalAlignment: Text.AlignVCenter
                color: root.players.length > 0 ? palette.windowText : palette.placeholderText
                text: root.players.length > 0 ? "Skipped by " + root.players : "No player skips it by its name"
            }
            Button {
                objectName: "fixName"
                visible: root.fix.length > 0
                text: "Rename to \u201C" + (root.fixNames[root.fix] || "") + "\u201D"
                Accessible.name: "Rename " + root.rowLabel + " so that players skip it"
                ToolTip.visible: hovered
                ToolTip.text: "Its skip type asks for skipping, but players go by the name"
                ToolTip.delay: 800
                onClicked: root.mark(root.fix)
            }
        }
        Label {
            objectName: "nestedChapters"
            visible: !root.header && root.nested.length > 0
            text: root.nested
            font.family: "monospace"
            color: palette.placeholderText
            Layout.leftMargin: 16
        }
    }
}
