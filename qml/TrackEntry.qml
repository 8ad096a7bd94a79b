import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One track: type, editable name, default flag, language and the other flags. Enter or
// leaving a field commits an edit, Escape restores the shown value. A language is checked
// as it is typed and only a valid one is committed.
Frame {
    id: root
    property string key: "" // names the track in edits (the model's "key")
    property string variant: ""
    property string trackName: ""
    property string language: ""
    property string languageName: ""
    property bool isDefault: false
    property var number: 0
    // Per flag of `flagNames`: 1, 0 or -1 (unset).
    property var flags: [0, -1, -1, -1, -1, -1, 1]
    property bool pending: false
    property bool season: false // other files are open: edits can go to them too
    // Checks a language text: {ok, tag, description} or {ok: false, reason}.
    property var checkLanguage: function(text) { return { ok: true, tag: text, description: "" } }

    readonly property var flagNames: ["forced", "hearing-impaired", "visual-impaired", "text-descriptions",
                                      "original", "commentary", "enabled"]
    readonly property var flagLabels: ["Forced", "Hearing impaired", "Visually impaired", "Text descriptions",
                                       "Original language", "Commentary", "Enabled"]
    // Forced and enabled always have a value; the others can be unset.
    readonly property var flagHasDefault: [true, false, false, false, false, false, true]
    readonly property string flagSummary: {
        const on = []
        for (let i = 0; i < 6; ++i)
            if (flags[i] === 1)
                on.push(flagLabels[i].toLowerCase())
        if (flags[6] === 0)
            on.push("disabled")
        return on.join(" \u00B7 ")
    }
    property var languageCheck: ({ ok: true, reason: "" })
    // Which row a control belongs to, for screen readers: "track 2, Audio, Japanese".
    readonly property string rowLabel: "track " + number + ", " + variant + (languageName.length > 0 ? ", " + languageName : "")

    // The track each field's typing is for and what it showed, taken at the first keystroke:
    // by the time the edit ends, this row may show another file's track.
    property string nameKey: ""
    property string nameFrom: ""
    property string languageKey: ""
    property string languageFrom: ""

    signal nameEdited(string key, string text)
    signal defaultEdited(bool value)
    signal languageEdited(string key, string text)
    signal flagEdited(string flag, int value)
    signal pickLanguage()
    signal applyToAll()

    // The fields follow the model (an undo, a refused edit) even after the user typed.
    // Typing in progress is kept: it goes to its own track when the edit ends.
    onTrackNameChanged: if (nameKey === "") nameField.text = trackName
    onLanguageChanged: if (languageKey === "") { languageField.text = language; languageCheck = { ok: true, reason: "" } }

    padding: 6
    implicitWidth: 560

    ColumnLayout {
        anchors.fill: parent
        spacing: 2

        RowLayout {
            Layout.fillWidth: true
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
                Accessible.name: "Type of " + root.rowLabel
            }
            TextField {
                id: nameField
                objectName: "trackName"
                text: root.trackName
                placeholderText: "(no name)"
                Layout.fillWidth: true
                Layout.minimumWidth: 120
                selectByMouse: true
                Accessible.name: "Name of " + root.rowLabel
                // A long name shows its start, and whole in a tooltip.
                onActiveFocusChanged: if (!activeFocus) cursorPosition = 0
                onTextChanged: if (!activeFocus) cursorPosition = 0
                ToolTip.visible: hovered && !activeFocus && contentWidth > width
                ToolTip.text: text
                ToolTip.delay: 600
                onTextEdited: if (root.nameKey === "") { root.nameKey = root.key; root.nameFrom = root.trackName }
                onEditingFinished: {
                    if (root.nameKey !== "" && text !== root.nameFrom)
                        root.nameEdited(root.nameKey, text)
                    root.nameKey = ""
                    text = root.trackName
                }
                Keys.onEscapePressed: { root.nameKey = ""; text = root.trackName; focus = false }
            }
            CheckBox {
                objectName: "trackDefault"
                text: "Default"
                checked: root.isDefault
                Accessible.name: "Default flag of " + root.rowLabel
                onToggled: { root.defaultEdited(checked); checked = Qt.binding(() => root.isDefault) }
            }
        }
        // The second line wraps when the window is narrow: nothing is cut off.
        Flow {
            Layout.fillWidth: true
            Layout.leftMargin: 112
            spacing: 8
            TextField {
                id: languageField
                objectName: "trackLanguage"
                text: root.language
                width: 90
                selectByMouse: true
                Accessible.name: "Language of " + root.rowLabel
                Accessible.description: root.languageCheck.ok ? root.languageName : root.languageCheck.reason
                color: root.languageCheck.ok ? palette.text : Theme.error
                ToolTip.visible: hovered && root.languageCheck.ok
                ToolTip.text: (root.languageName.length > 0 ? root.languageName + ". " : "")
                              + "Language code, for example eng, ger, pt-BR or zh-Hant-TW"
                ToolTip.delay: 800
                onTextEdited: {
                    if (root.languageKey === "") { root.languageKey = root.key; root.languageFrom = root.language }
                    root.languageCheck = text === root.languageFrom ? { ok: true, reason: "" } : root.checkLanguage(text)
                }
                onEditingFinished: {
                    const edited = root.languageKey !== "" && text !== root.languageFrom
                    if (edited && !root.languageCheck.ok)
                        return // an invalid text stays, with its reason, until fixed or Escape
                    if (edited)
                        root.languageEdited(root.languageKey, root.languageCheck.tag)
                    root.languageKey = ""
                    text = root.language
                }
                Keys.onEscapePressed: { root.languageKey = ""; text = root.language; root.languageCheck = { ok: true, reason: "" }; focus = false }
            }
            Button {
                objectName: "pickLanguage"
                text: "\u2026"
                width: 32
                Accessible.name: "Choose the language of " + root.rowLabel + " by name"
                ToolTip.visible: hovered
                ToolTip.text: "Choose the language by name"
                ToolTip.delay: 800
                onClicked: root.pickLanguage()
            }
            Label {
                objectName: "languageName"
                text: root.languageName
                elide: Text.ElideRight
                width: 130
                height: languageField.height
                verticalAlignment: Text.AlignVCenter
                color: palette.placeholderText
            }
            Button {
                id: flagsButton
                objectName: "trackFlags"
                text: "Flags\u2026"
                Accessible.name: "Flags of " + root.rowLabel + (root.flagSummary.length > 0 ? ": " + root.flagSummary : "")
                onClicked: flagsPopup.open()
            }
            Button {
                objectName: "applyToAll"
                text: "Apply to all files"
                visible: root.season
                enabled: root.pending
                Accessible.name: "Apply the changes of " + root.rowLabel + " to the matching track of every open file"
                ToolTip.visible: hovered
                ToolTip.text: "Make this track's changes in every open file's matching track (same type, language and name)"
                ToolTip.delay: 800
                onClicked: root.applyToAll()
            }
        }
        Label {
            objectName: "flagSummary"
            visible: root.flagSummary.length > 0
            text: root.flagSummary
            Layout.leftMargin: 112
            color: palette.placeholderText
            font.italic: true
        }
        Label {
            objectName: "languageError"
            visible: !root.languageCheck.ok
            text: root.languageCheck.reason || ""
            color: Theme.error
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            Layout.leftMargin: 112
            Accessible.role: Accessible.AlertMessage
        }
    }

    Popup {
        id: flagsPopup
        objectName: "flagsPopup"
        parent: flagsButton
        y: flagsButton.height
        padding: 10
        focus: true
        ColumnLayout {
            spacing: 4
            Repeater {
                model: 7
                delegate: RowLayout {
                    required property int index
                    Label { objectName: "flagLabel_" + root.flagNames[index]; text: root.flagLabels[index]; Layout.preferredWidth: 150 }
                    ComboBox {
                        objectName: "flag_" + root.flagNames[index]
                        // Values: 1, 0 and, for flags without a default, -1 (not set).
                        readonly property var values: root.flagHasDefault[index] ? [1, 0] : [1, 0, -1]
                        model: root.flagHasDefault[index] ? ["Yes", "No"] : ["Yes", "No", "Not set"]
                        currentIndex: values.indexOf(root.flags[index])
                        Accessible.name: root.flagLabels[index] + " flag of " + root.rowLabel
                        onActivated: (i) => {
                            root.flagEdited(root.flagNames[index], values[i])
                            currentIndex = Qt.binding(() => values.indexOf(root.flags[index]))
                        }
                    }
                }
            }
        }
    }
}
