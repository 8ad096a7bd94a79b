import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane 0.2

ApplicationWindow {
    id: window
    objectName: "window"
    width: 1200
    height: 760
    minimumWidth: 720
    minimumHeight: 420
    visible: true
    title: (backend.active_modified ? "\u25CF " : "")
           + (backend.active_file_name.length > 0 ? backend.active_file_name + " \u2014 perlane" : "perlane")

    Backend {
        id: backend
        objectName: "backend"
        TrackList { id: trackModel }
        chapters: chapterModel
    }
    ChapterList { id: chapterModel }

    readonly property bool hasFiles: backend.file_names.length > 0
    readonly property bool anyModified: backend.modified_rows.indexOf(true) >= 0
    property bool closeConfirmed: false
    property string pendingAction: ""

    function removeActive() {
        if (backend.active_index < 0)
            return
        if (backend.active_modified) {
            pendingAction = "remove"
            discardDialog.open()
        } else {
            backend.delete_file(backend.active_index)
        }
    }

    onClosing: (close) => {
        if (anyModified && !closeConfirmed) {
            close.accepted = false
            pendingAction = "close"
            discardDialog.open()
        }
    }

    Action { id: openAction; text: "&Open\u2026"; shortcut: "Ctrl+O"; onTriggered: backend.open_files() }
    Action { id: addAction; text: "&Add\u2026"; shortcut: "Ctrl+Shift+O"; onTriggered: backend.add_files() }
    Action {
        id: removeAction; text: "&Remove"; shortcut: "Delete"
        enabled: backend.active_index >= 0
        onTriggered: window.removeActive()
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
            ToolButton { objectName: "openButton"; action: openAction; Accessible.name: "Open files" }
            ToolButton { objectName: "addButton"; action: addAction; Accessible.name: "Add files" }
            ToolButton { objectName: "removeButton"; action: removeAction; Accessible.name: "Remove file from list" }
            ToolSeparator {}
            ToolButton { objectName: "prevButton"; action: prevAction; Accessible.name: "Previous file" }
            ToolButton { objectName: "nextButton"; action: nextAction; Accessible.name: "Next file" }
            ToolSeparator {}
            ToolButton { objectName: "saveButton"; action: saveAction; Accessible.name: "Save file" }
            Item { Layout.fillWidth: true }
        }
    }

    footer: Frame {
        visible: backend.save_status.length > 0
        padding: 6
        Label {
            objectName: "statusLine"
            anchors.fill: parent
            text: backend.save_status
            color: backend.save_failed ? "#b00020" : palette.windowText
            elide: Text.ElideRight
            Accessible.name: "Save status: " + backend.save_status
        }
    }

    Dialog {
        id: discardDialog
        objectName: "discardDialog"
        anchors.centerIn: parent
        width: Math.min(window.width * 0.8, 520)
        modal: true
        title: "Unsaved changes"
        standardButtons: Dialog.Discard | Dialog.Cancel
        Label {
            width: discardDialog.availableWidth
            text: window.pendingAction === "close"
                  ? "Some files have changes that were not saved. Close anyway?"
                  : "\u201C" + backend.active_file_name + "\u201D has changes that were not saved. Remove it from the list anyway?"
            wrapMode: Text.WordWrap
        }
        onDiscarded: {
            close()
            if (window.pendingAction === "close") {
                window.closeConfirmed = true
                window.close()
            } else if (window.pendingAction === "remove") {
                backend.delete_file(backend.active_index)
            }
            window.pendingAction = ""
        }
        onRejected: window.pendingAction = ""
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // Files that were chosen but could not be opened, and why.
        Frame {
            objectName: "errorBanner"
            visible: backend.load_errors.length > 0
            Layout.fillWidth: true
            background: Rectangle { color: "#fdecea"; border.color: "#b00020" }
            RowLayout {
                anchors.fill: parent
                Label {
                    objectName: "errorText"
                    Layout.fillWidth: true
                    wrapMode: Text.WordWrap
                    color: "#5f0010"
                    text: "Could not open:\n" + backend.load_errors.join("\n")
                }
                Button {
                    text: "Dismiss"
                    Accessible.name: "Dismiss the list of files that could not be opened"
                    onClicked: backend.dismiss_load_errors()
                }
            }
        }

        // Nothing open: one clear way forward.
        Item {
            visible: !window.hasFiles
            Layout.fillWidth: true
            Layout.fillHeight: true
            ColumnLayout {
                anchors.centerIn: parent
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
                    objectName: "emptyOpenButton"
                    text: "Open files\u2026"
                    highlighted: true
                    Layout.alignment: Qt.AlignHCenter
                    Accessible.name: "Open Matroska files"
                    onClicked: backend.open_files()
                }
            }
        }

        SplitView {
            visible: window.hasFiles
            Layout.fillWidth: true
            Layout.fillHeight: true

            ListView {
                id: fileView
                objectName: "fileList"
                SplitView.preferredWidth: 260
                SplitView.minimumWidth: 150
                clip: true
                model: backend.file_names
                currentIndex: backend.active_index
                keyNavigationEnabled: true
                Accessible.name: "Files"
                delegate: FileEntry {
                    required property int index
                    required property string modelData
                    objectName: "file_" + index
                    width: ListView.view.width
                    fileName: modelData
                    active: index === backend.active_index
                    modified: backend.modified_rows[index] === true
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
                    spacing: 6

                    Label { text: "Tracks"; font.bold: true; font.pointSize: 12; Layout.leftMargin: 8; Layout.topMargin: 8 }
                    Repeater {
                        id: trackRepeater
                        model: trackModel
                        delegate: TrackEntry {
                            required property var model
                            required property int index
                            objectName: "track_" + index
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
                        visible: trackRepeater.count === 0 && backend.active_index >= 0
                        text: "This file has no tracks."
                        color: palette.placeholderText
                        Layout.leftMargin: 8
                    }

                    Label { text: "Chapters"; font.bold: true; font.pointSize: 12; Layout.leftMargin: 8; Layout.topMargin: 8 }
                    ChapterEntry {
                        header: true
                        visible: chapterRepeater.count > 0
                        Layout.fillWidth: true
                        Layout.leftMargin: 8
                        Layout.rightMargin: 8
                        Accessible.ignored: true
                    }
                    Repeater {
                        id: chapterRepeater
                        model: chapterModel
                        delegate: ChapterEntry {
                            required property var model
                            required property int index
                            objectName: "chapter_" + index
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
                    Label {
                        visible: chapterRepeater.count === 0 && backend.active_index >= 0
                        text: "This file has no chapters."
                        color: palette.placeholderText
                        Layout.leftMargin: 8
                    }
                    Item { Layout.preferredHeight: 8 }
                }
            }
        }
    }
}
