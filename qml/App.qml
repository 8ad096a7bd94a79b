import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane 0.2

ApplicationWindow {
    id: window
    width: 1200
    height: 760
    minimumWidth: 720
    minimumHeight: 420
    visible: true
    title: backend.active_file_name.length > 0 ? backend.active_file_name + " \u2014 perlane" : "perlane"

    Backend {
        id: backend
        TrackList { id: trackModel }
        chapters: chapterModel
    }
    ChapterList { id: chapterModel }

    readonly property bool hasFiles: backend.file_names.length > 0

    Action { id: openAction; text: "&Open\u2026"; shortcut: "Ctrl+O"; onTriggered: backend.open_files() }
    Action { id: addAction; text: "&Add\u2026"; shortcut: "Ctrl+Shift+O"; onTriggered: backend.add_files() }
    Action {
        id: removeAction; text: "&Remove"; shortcut: "Delete"
        enabled: backend.active_index >= 0
        onTriggered: backend.delete_file(backend.active_index)
    }
    Action { id: saveAction; text: "&Save"; shortcut: "Ctrl+S"; enabled: backend.active_index >= 0; onTriggered: backend.save_file() }
    Action { id: prevAction; text: "&Previous"; shortcut: "Alt+Left"; enabled: backend.active_index > 0; onTriggered: backend.prev_file() }
    Action {
        id: nextAction; text: "&Next"; shortcut: "Alt+Right"
        enabled: backend.active_index >= 0 && backend.active_index + 1 < backend.file_names.length
        onTriggered: backend.next_file()
    }
    Shortcut { sequence: "PgUp"; enabled: prevAction.enabled; onActivated: backend.prev_file() }
    Shortcut { sequence: "PgDown"; enabled: nextAction.enabled; onActivated: backend.next_file() }

    menuBar: MenuBar {
        Menu {
            title: "&File"
            MenuItem { action: openAction }
            MenuItem { action: addAction }
            MenuItem { action: saveAction }
            MenuItem { action: removeAction }
            MenuSeparator {}
            MenuItem { text: "&Quit"; onTriggered: window.close() }
        }
        Menu {
            title: "&Go"
            MenuItem { action: prevAction }
            MenuItem { action: nextAction }
        }
    }

    header: ToolBar {
        RowLayout {
            anchors.fill: parent
            ToolButton { action: openAction; Accessible.name: "Open files" }
            ToolButton { action: addAction; Accessible.name: "Add files" }
            ToolButton { action: removeAction; Accessible.name: "Remove file from list" }
            ToolSeparator {}
            ToolButton { action: prevAction; Accessible.name: "Previous file" }
            ToolButton { action: nextAction; Accessible.name: "Next file" }
            ToolSeparator {}
            ToolButton { action: saveAction; Accessible.name: "Save file" }
            Item { Layout.fillWidth: true }
        }
    }

    // Nothing open: one clear way forward.
    ColumnLayout {
        anchors.centerIn: parent
        visible: !window.hasFiles
        spacing: 12
        Label {
            text: "Open Matroska files\u2026"
            font.pointSize: 18
            Layout.alignment: Qt.AlignHCenter
        }
        Label {
            text: "Choose one or more .mkv files to see and correct their tracks and chapters."
            color: palette.placeholderText
            Layout.alignment: Qt.AlignHCenter
        }
        Button {
            text: "Open files\u2026"
            highlighted: true
            Layout.alignment: Qt.AlignHCenter
            Accessible.name: "Open Matroska files"
            onClicked: backend.open_files()
        }
    }

    SplitView {
        anchors.fill: parent
        visible: window.hasFiles

        ListView {
            id: fileView
            SplitView.preferredWidth: 260
            SplitView.minimumWidth: 150
            clip: true
            model: backend.file_names
            currentIndex: backend.active_index
            Accessible.name: "Files"
            delegate: FileEntry {
                required property int index
                required property string modelData
                width: ListView.view.width
                fileName: modelData
                active: index === backend.active_index
                onClicked: backend.select_file(index)
            }
            ScrollBar.vertical: ScrollBar {}
        }

        ScrollView {
            id: detail
            SplitView.fillWidth: true
            contentWidth: availableWidth
            clip: true

            ColumnLayout {
                width: detail.availableWidth
                spacing: 8

                Label { text: "Tracks"; font.bold: true; font.pointSize: 12; Layout.leftMargin: 8; Layout.topMargin: 8 }
                Repeater {
                    model: trackModel
                    delegate: TrackEntry {
                        required property var model
                        Layout.fillWidth: true
                        Layout.leftMargin: 8
                        Layout.rightMargin: 8
                        number: model.number
                        variant: model.variant
                        trackName: model.name
                        language: model.language
                        isDefault: model.isDefault
                        onNameEdited: (text) => { backend.set_track_name(model.disc, model.number, text); model.name = text }
                        onDefaultEdited: (value) => { backend.set_track_default(model.disc, model.number, value); model.isDefault = value }
                        onLanguageEdited: (text) => { backend.set_track_language(model.disc, model.number, text); model.language = text }
                    }
                }
                Label {
                    visible: trackModel.rowCount() === 0 && backend.active_index >= 0
                    text: "This file has no tracks."
                    color: palette.placeholderText
                    Layout.leftMargin: 8
                }

                Label { text: "Chapters"; font.bold: true; font.pointSize: 12; Layout.leftMargin: 8; Layout.topMargin: 8 }
                Repeater {
                    model: chapterModel
                    delegate: ChapterEntry {
                        required property var model
                        Layout.fillWidth: true
                        Layout.leftMargin: 8
                        Layout.rightMargin: 8
                        edition: model.edx
                        chapterName: model.name
                        start: model.start
                        end: model.end
                        duration: model.duration
                        qualifies: model.qualifies
                        onNameEdited: (text) => backend.set_chapter_name(model.edx, model.idx, text)
                        onSplitStart: backend.insert_chapter_start(model.edx, model.idx)
                        onSplitEnd: backend.insert_chapter_end(model.edx, model.idx)
                    }
                }
                Item { Layout.preferredHeight: 8 }
            }
        }
    }
}
