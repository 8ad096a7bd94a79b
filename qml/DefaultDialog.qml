import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// In every open file: the first track of a type in a language becomes default.
Dialog {
    id: defaultDialog
    required property Backend backend
    required property var app
    required property var picker // the language picker
    objectName: "defaultDialog"
    anchors.centerIn: parent
    width: Math.min(app.width * 0.9, 760)
    modal: true
    title: "Default by language"
    standardButtons: Dialog.Apply | Dialog.Cancel
    property string type: typeBox.currentIndex === 1 ? "subtitles" : "audio"
    property var choices: []
    property string language: ""
    property var plan: ({ ok: false, message: "", changes: [], skipped: [], files: 0 })
    function refresh() {
        choices = backend.season.season_languages(type)
        language = choices.length > 0 ? choices[0].tag : ""
        languageBox.currentIndex = choices.length > 0 ? 0 : -1
        // Bound afresh: the files may have changed since the last time, the language not.
        plan = Qt.binding(() => language.length > 0 ? backend.season.preview_default_by_language(type, language)
                                                    : ({ ok: false, message: "", changes: [], skipped: [], files: 0 }))
    }
    onTypeChanged: refresh()
    onAboutToShow: refresh()
    onPlanChanged: if (standardButton(Dialog.Apply)) standardButton(Dialog.Apply).enabled = plan.ok
    onOpened: {
        standardButton(Dialog.Apply).enabled = plan.ok
        if (plan.ok)
            standardButton(Dialog.Apply).forceActiveFocus() // Enter applies
    }
    ColumnLayout {
        width: defaultDialog.availableWidth
        Label {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: "In every open file, the first track of this type in this language becomes the default one, and the other tracks of this type stop being default."
        }
        RowLayout {
            ComboBox {
                id: typeBox
                objectName: "defaultType"
                model: ["Audio", "Subtitles"]
                Accessible.name: "Track type"
            }
            ComboBox {
                id: languageBox
                objectName: "defaultLanguage"
                Layout.fillWidth: true
                model: defaultDialog.choices.map(c => c.label).concat(["Other language\u2026"])
                Accessible.name: "Language"
                onActivated: (i) => {
                    if (i < defaultDialog.choices.length) {
                        defaultDialog.language = defaultDialog.choices[i].tag
                        return
                    }
                    picker.show((tag) => {
                        const info = backend.languages.check_language(tag)
                        defaultDialog.choices = defaultDialog.choices.concat([{ tag: tag, label: info.description + " \u2014 " + tag }])
                        defaultDialog.language = tag
                        languageBox.currentIndex = defaultDialog.choices.length - 1
                    })
                }
            }
        }
        PlanView { Layout.fillWidth: true; plan: defaultDialog.plan }
    }
    onApplied: { close(); backend.season.default_by_language(type, language) }
    Shortcut {
        sequences: ["Return", "Enter"]
        enabled: defaultDialog.opened && defaultDialog.plan.ok
        onActivated: defaultDialog.standardButton(Dialog.Apply).clicked()
    }
}
