import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// One searchable list of languages, by name or code.
Popup {
    id: languagePicker
    required property Backend backend
    required property var app
    objectName: "languagePicker"
    property var choose: null
    property var results: []
    anchors.centerIn: Overlay.overlay
    width: Math.min(app.width * 0.8, 460)
    height: Math.min(app.height * 0.8, 520)
    modal: true
    focus: true
    function show(action) {
        choose = action
        languageSearch.text = ""
        results = backend.languages.search_languages("")
        languageList.currentIndex = 0
        open()
        languageSearch.forceActiveFocus()
    }
    function pick(i) {
        if (i < 0 || i >= results.length)
            return
        const action = choose
        close()
        if (action)
            action(results[i].tag)
    }
    ColumnLayout {
        anchors.fill: parent
        TextField {
            id: languageSearch
            objectName: "languageSearch"
            Layout.fillWidth: true
            placeholderText: "Search by name or code, e.g. portuguese brazil"
            Accessible.name: "Search languages"
            onTextChanged: { languagePicker.results = backend.languages.search_languages(text); languageList.currentIndex = 0 }
            Keys.onDownPressed: { languageList.incrementCurrentIndex(); languageList.forceActiveFocus() }
            onAccepted: languagePicker.pick(languageList.currentIndex)
        }
        ListView {
            id: languageList
            objectName: "languageResults"
            cacheBuffer: 0 // see chapterList
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: languagePicker.results
            keyNavigationEnabled: true
            Accessible.name: "Languages"
            delegate: ItemDelegate {
                required property var modelData
                required property int index
                width: ListView.view.width
                text: modelData.label
                highlighted: ListView.isCurrentItem
                onClicked: languagePicker.pick(index)
            }
            Keys.onReturnPressed: languagePicker.pick(currentIndex)
            ScrollBar.vertical: ScrollBar {}
        }
        Label {
            objectName: "noLanguage"
            visible: languagePicker.results.length === 0
            text: "No language matches."
            color: palette.placeholderText
        }
    }
}
