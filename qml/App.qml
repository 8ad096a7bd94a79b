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

    // For tools that drive the window (benchmarks, screenshots).
    readonly property alias backendObject: backend
    readonly property bool hasFiles: backend.file_names.length > 0
    readonly property bool anyModified: backend.modified_rows.indexOf(true) >= 0
    property bool closeConfirmed: false
    property bool closeWhenSaved: false
    // What waits for the user's answer, or for "Save all" to end: "open", "close", "remove".
    property string pendingAction: ""

    // Text typed in a field but not yet committed with Enter counts as an edit: moving the
    // focus away commits it.
    function commitEdits() {
        if (window.activeFocusItem && window.activeFocusItem !== focusSink)
            focusSink.forceActiveFocus()
    }

    function removeActive() {
        if (backend.active_index < 0)
            return
        commitEdits()
        if (backend.active_modified) {
            pendingAction = "remove"
            discardDialog.open()
        } else {
            backend.delete_file(backend.active_index)
        }
    }

    function openFiles() {
        commitEdits()
        if (anyModified) {
            pendingAction = "open"
            unsavedDialog.open()
        } else {
            backend.open_files()
        }
    }

    function save() { commitEdits(); backend.save_file() }
    function saveAll() { commitEdits(); backend.save_all() }
    function select(index) { commitEdits(); backend.select_file(index) }

    // Runs the action that waited for "Save all", if every file was saved.
    function finishPending() {
        const action = pendingAction
        pendingAction = ""
        if (anyModified)
            return // a save failed: the status line says why; nothing is thrown away
        if (action === "open")
            backend.open_files()
        else if (action === "close")
            window.close()
    }

    Connections {
        target: backend
        function onSaving_changed() {
            if (backend.saving)
                return
            if (window.closeWhenSaved) {
                window.closeWhenSaved = false
                window.close()
            } else if (window.pendingAction === "open" || window.pendingAction === "close") {
                window.finishPending()
            }
        }
    }

    onClosing: (close) => {
        commitEdits()
        if (backend.saving) {
            // Stopping mkvpropedit half way could damage the file: close when it is done.
            close.accepted = false
            closeWhenSaved = true
            return
        }
        if (anyModified && !closeConfirmed) {
            close.accepted = false
            pendingAction = "close"
            unsavedDialog.open()
        }
    }

    Item { id: focusSink; objectName: "focusSink"; focus: false }

    Action { id: openAction; text: "&Open\u2026"; shortcut: StandardKey.Open; onTriggered: window.openFiles() }
    Action { id: addAction; text: "&Add\u2026"; shortcut: "Ctrl+Shift+O"; onTriggered: { window.commitEdits(); backend.add_files() } }
    Action {
        id: removeAction; text: "&Remove"; shortcut: "Delete"
        enabled: backend.active_index >= 0
        onTriggered: window.removeActive()
    }
    Action { id: saveAction; text: "&Save"; shortcut: StandardKey.Save; enabled: backend.active_index >= 0; onTriggered: window.save() }
    Action { id: saveAllAction; text: "Save A&ll"; shortcut: "Ctrl+Shift+S"; enabled: window.anyModified; onTriggered: window.saveAll() }
    Action { id: undoAction; text: "&Undo"; shortcut: StandardKey.Undo; enabled: backend.can_undo; onTriggered: { window.commitEdits(); backend.undo() } }
    Action { id: redoAction; text: "&Redo"; shortcut: "Ctrl+Shift+Z"; enabled: backend.can_redo; onTriggered: { window.commitEdits(); backend.redo() } }
    Action {
        id: revertAction; text: "Re&vert File"
        enabled: backend.active_modified && !backend.saving
        onTriggered: { window.commitEdits(); backend.revert_file() }
    }
    Action {
        id: undoSaveAction; objectName: "undoSaveAction"; text: "Undo Last Sa&ve"
        enabled: backend.can_undo_save && !backend.active_modified && !backend.saving
        onTriggered: backend.undo_last_save()
    }
    Action { id: quitAction; text: "&Quit"; shortcut: StandardKey.Quit; onTriggered: window.close() }
    Action { id: prevAction; text: "&Previous"; shortcut: "Alt+Left"; enabled: backend.active_index > 0; onTriggered: { window.commitEdits(); backend.prev_file() } }
    Action {
        id: nextAction; text: "&Next"; shortcut: "Alt+Right"
        enabled: backend.active_index >= 0 && backend.active_index + 1 < backend.file_names.length
        onTriggered: { window.commitEdits(); backend.next_file() }
    }
    Shortcut { sequence: "PgUp"; enabled: prevAction.enabled; onActivated: prevAction.trigger() }
    Shortcut { sequence: "PgDown"; enabled: nextAction.enabled; onActivated: nextAction.trigger() }

    menuBar: MenuBar {
        Menu {
            title: "&File"
            MenuItem { action: openAction }
            MenuItem { action: addAction }
            MenuItem { action: saveAction }
            MenuItem { action: saveAllAction }
            MenuItem { action: revertAction }
            MenuItem { action: undoSaveAction }
            MenuItem { action: removeAction }
            MenuSeparator {}
            MenuItem { action: quitAction }
        }
        Menu {
            title: "&Edit"
            MenuItem { action: undoAction }
            MenuItem { action: redoAction }
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
            ToolButton { objectName: "saveAllButton"; action: saveAllAction; Accessible.name: "Save all files" }
            ToolSeparator {}
            ToolButton { objectName: "undoButton"; action: undoAction; Accessible.name: "Undo" }
            ToolButton { objectName: "redoButton"; action: redoAction; Accessible.name: "Redo" }
            Item { Layout.fillWidth: true }
        }
    }

    footer: Frame {
        visible: backend.save_status.length > 0 || window.closeWhenSaved
        padding: 6
        Label {
            id: waitNote
            objectName: "waitNote"
            visible: window.closeWhenSaved
            anchors.fill: parent
            text: "Waiting for the save to finish before closing\u2026"
        }
        Label {
            objectName: "statusLine"
            visible: !waitNote.visible
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
            text: "\u201C" + backend.active_file_name + "\u201D has changes that were not saved. Remove it from the list anyway?"
            wrapMode: Text.WordWrap
        }
        onDiscarded: {
            close()
            if (window.pendingAction === "remove")
                backend.delete_file(backend.active_index)
            window.pendingAction = ""
        }
        onRejected: window.pendingAction = ""
    }

    // Before closing the window or opening other files: the files with unsaved edits.
    Dialog {
        id: unsavedDialog
        objectName: "unsavedDialog"
        anchors.centerIn: parent
        width: Math.min(window.width * 0.8, 560)
        modal: true
        title: "Unsaved changes"
        standardButtons: Dialog.SaveAll | Dialog.Discard | Dialog.Cancel
        ColumnLayout {
            width: unsavedDialog.availableWidth
            Label {
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                text: (window.pendingAction === "close" ? "Save these files before closing?"
                                                        : "Save these files before opening others?")
            }
            Label {
                objectName: "unsavedList"
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                text: backend.unsaved_files.map(n => "\u2022 " + n).join("\n")
            }
        }
        onAccepted: {
            backend.save_all()
            if (!backend.saving)
                window.finishPending()
        }
        onDiscarded: {
            close()
            const action = window.pendingAction
            window.pendingAction = ""
            if (action === "close") {
                window.closeConfirmed = true
                window.close()
            } else if (action === "open") {
                backend.open_files()
            }
        }
        onRejected: window.pendingAction = ""
    }

    Dialog {
        id: reloadDialog
        objectName: "reloadDialog"
        anchors.centerIn: parent
        width: Math.min(window.width * 0.8, 520)
        modal: true
        title: "Reload file"
        standardButtons: Dialog.Discard | Dialog.Cancel
        Label {
            width: reloadDialog.availableWidth
            wrapMode: Text.WordWrap
            text: "Reloading \u201C" + backend.active_file_name + "\u201D drops its unsaved changes."
        }
        onDiscarded: { close(); backend.reload_file() }
    }

    DropArea {
        anchors.fill: parent
        onDropped: (drop) => {
            if (drop.hasUrls) {
                window.commitEdits()
                backend.add_urls(drop.urls)
                drop.acceptProposedAction()
            }
        }
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

        // The active file was changed by another program since it was read.
        Frame {
            objectName: "diskBanner"
            visible: backend.changed_on_disk
            Layout.fillWidth: true
            background: Rectangle { color: "#fff4e0"; border.color: "#c08a00" }
            RowLayout {
                anchors.fill: parent
                Label {
                    Layout.fillWidth: true
                    wrapMode: Text.WordWrap
                    text: "\u201C" + backend.active_file_name + "\u201D changed on disk since it was opened."
                          + (backend.active_modified ? " Reload it (your changes are dropped) or save your changes over it." : "")
                    Accessible.role: Accessible.AlertMessage
                }
                Button {
                    objectName: "reloadButton"
                    text: "Reload"
                    onClicked: backend.active_modified ? reloadDialog.open() : backend.reload_file()
                }
                Button {
                    objectName: "saveAnywayButton"
                    text: "Save anyway"
                    visible: backend.active_modified
                    onClicked: { window.commitEdits(); backend.save_anyway() }
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
                    onClicked: window.openFiles()
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
                    onClicked: window.select(index)
                }
                ScrollBar.vertical: ScrollBar {}
            }

            // Tracks on top (few: a plain column that scrolls when long), chapters below in a
            // list that creates delegates only for the rows in view (thousands stay light).
            ColumnLayout {
                id: detail
                SplitView.fillWidth: true
                spacing: 6

                Label { text: "Tracks"; font.bold: true; font.pointSize: 12; Layout.leftMargin: 8; Layout.topMargin: 8 }
                ScrollView {
                    id: trackScroll
                    Layout.fillWidth: true
                    // At most part of the window: the chapters keep room, whatever the tracks.
                    Layout.preferredHeight: Math.min(trackColumn.implicitHeight, window.height * 0.4)
                    contentWidth: availableWidth
                    clip: true
                    ColumnLayout {
                        id: trackColumn
                        width: trackScroll.availableWidth
                        spacing: 6
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
                                onNameEdited: (text) => backend.set_track_name(model.disc, model.number, text)
                                onDefaultEdited: (value) => backend.set_track_default(model.disc, model.number, value)
                                onLanguageEdited: (text) => backend.set_track_language(model.disc, model.number, text)
                            }
                        }
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
                    visible: chapterView.count > 0
                    Layout.fillWidth: true
                    Layout.leftMargin: 8
                    Layout.rightMargin: 8
                    Accessible.ignored: true
                }
                ListView {
                    id: chapterView
                    objectName: "chapterList"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    clip: true
                    spacing: 6
                    reuseItems: true
                    model: chapterModel
                    delegate: ChapterEntry {
                        required property var model
                        required property int index
                        objectName: "chapter_" + index
                        x: 8
                        width: ListView.view.width - 16
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
                    ScrollBar.vertical: ScrollBar {}
                }
                Label {
                    visible: chapterView.count === 0 && backend.active_index >= 0
                    text: "This file has no chapters."
                    color: palette.placeholderText
                    Layout.leftMargin: 8
                    Layout.bottomMargin: 8
                }
            }
        }
    }
}
