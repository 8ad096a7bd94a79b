import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane 0.2

ApplicationWindow {
    id: window
    objectName: "window"
    width: 1200
    height: 760
    // Never more than the screen holds; the content scrolls below its own minimum.
    readonly property size room: Qt.size(Math.min(Screen.width, Screen.desktopAvailableWidth),
                                         Math.min(Screen.height, Screen.desktopAvailableHeight))
    minimumWidth: Math.min(720, room.width)
    minimumHeight: Math.min(420, room.height)
    visible: true
    title: (backend.history.active_modified ? "\u25CF " : "")
           + (backend.active_file_name.length > 0 ? backend.active_file_name + " \u2014 perlane" : "perlane")

    Backend {
        id: backend
        objectName: "backend"
        TrackList { id: trackModel }
        chapters: chapterModel
    }
    ChapterList { id: chapterModel }
    Binding { target: Theme; property: "dark"; value: window.palette.window.hslLightness < 0.5 }

    // For the window's components, and tools that drive the window (benchmarks, screenshots).
    readonly property alias backendObject: backend
    // The listed names as the window shows them. The backend announces each file as it is
    // listed; a season opened at once is taken in one pass when the loading is done, not
    // rebuilt once per file.
    property var listedNames: []
    function relist() { listedNames = backend.file_names }
    readonly property bool hasFiles: listedNames.length > 0
    readonly property bool anyModified: backend.history.modified_rows.indexOf(true) >= 0
    property bool closeConfirmed: false
    property bool closeWhenSaved: false
    // For each listed name, the start it shares with another listed name ("Show - S01E0"),
    // cut back to a word's edge: the part that does not tell it apart. Neighbours in sorted
    // order share the longest starts.
    readonly property var sharedStarts: {
        const names = listedNames.slice().sort()
        const common = (a, b) => { let n = 0; while (n < a.length && a[n] === b[n]) ++n; return n }
        const out = {}
        for (let i = 0; i < names.length; ++i) {
            let n = Math.max(i > 0 ? common(names[i], names[i - 1]) : 0,
                             i + 1 < names.length ? common(names[i], names[i + 1]) : 0)
            while (n > 0 && " -_.[(".indexOf(names[i][n - 1]) < 0)
                --n
            out[names[i]] = names[i].slice(0, n)
        }
        return out
    }
    // The failed save's message the user dismissed: its banner stays away until another.
    property string dismissedFailure: ""
    // What waits for the user's answer, or for "Save all" to end: "open", "close", "remove".
    property string pendingAction: ""

    // Text typed in a field but not yet committed with Enter counts as an edit: moving the
    // focus away commits it.
    function commitEdits() {
        if (window.activeFocusItem && window.activeFocusItem !== focusSink)
            focusSink.forceActiveFocus()
    }

    function removeActive() {
        if (backend.files.active_index < 0)
            return
        commitEdits()
        if (backend.history.active_modified) {
            pendingAction = "remove"
            discardDialog.open()
        } else {
            backend.delete_file(backend.files.active_index)
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
    function saveAll() { commitEdits(); backend.saves.save_all() }
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
        function onFile_names_changed() { Qt.callLater(window.relist) }
    }
    Connections {
        target: backend.saves
        function onSaving_changed() {
            if (backend.saves.saving)
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
        keepLayout()
        commitEdits()
        if (backend.saves.saving) {
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

    // The window's size and the splitter's place, as the user left them.
    Component.onCompleted: {
        relist()
        const size = backend.settings.stored("size")
        if (size && size.width >= minimumWidth && size.height >= minimumHeight) {
            width = size.width
            height = size.height
        }
        // A size kept on a larger screen, or the default on a small one, fits this screen.
        if (room.width > 0 && room.height > 0) {
            width = Math.min(width, room.width)
            height = Math.min(height, room.height)
            x = Math.max(Screen.virtualX, Math.min(x, Screen.virtualX + room.width - width))
            y = Math.max(Screen.virtualY, Math.min(y, Screen.virtualY + room.height - height))
        }
        const state = backend.settings.stored("splitter")
        if (state)
            split.restoreState(state)
    }
    function keepLayout() {
        backend.settings.store("size", Qt.size(width, height))
        backend.settings.store("splitter", split.saveState())
    }

    FocusRing { id: focusRing; app: window; sink: focusSink }

    Action { id: openAction; text: "&Open\u2026"; shortcut: StandardKey.Open; onTriggered: window.openFiles() }
    Action { id: addAction; text: "&Add\u2026"; shortcut: "Ctrl+Shift+O"; onTriggered: { window.commitEdits(); backend.add_files() } }
    Action {
        id: removeAction; text: "&Remove"; shortcut: "Delete"
        enabled: backend.files.active_index >= 0
        onTriggered: window.removeActive()
    }
    Action { id: saveAction; text: "&Save"; shortcut: StandardKey.Save; enabled: backend.files.active_index >= 0; onTriggered: window.save() }
    Action { id: saveAllAction; text: "Save A&ll"; shortcut: "Ctrl+Shift+S"; enabled: window.anyModified; onTriggered: window.saveAll() }
    Action { id: undoAction; text: "&Undo"; shortcut: StandardKey.Undo; enabled: backend.history.can_undo; onTriggered: { window.commitEdits(); backend.history.undo() } }
    Action { id: redoAction; text: "&Redo"; shortcut: "Ctrl+Shift+Z"; enabled: backend.history.can_redo; onTriggered: { window.commitEdits(); backend.history.redo() } }
    Action {
        id: revertAction; objectName: "revertAction"; text: "Re&vert File"
        enabled: backend.history.active_modified && !backend.saves.saving
        onTriggered: { window.commitEdits(); backend.history.revert_file() }
    }
    Action {
        id: undoSaveAction; objectName: "undoSaveAction"; text: "Undo Last Sa&ve"
        enabled: backend.saves.can_undo_save && !backend.history.active_modified && !backend.saves.saving
        onTriggered: backend.saves.undo_last_save()
    }
    // Ctrl+Q whatever the desktop: StandardKey.Quit is empty on some.
    Action { id: quitAction; text: "&Quit"; shortcut: "Ctrl+Q"; onTriggered: window.close() }
    Action { id: prevAction; text: "&Previous"; shortcut: "Alt+Left"; enabled: backend.files.active_index > 0; onTriggered: { window.commitEdits(); backend.prev_file() } }
    Action {
        id: nextAction; text: "&Next"; shortcut: "Alt+Right"
        enabled: backend.files.active_index >= 0 && backend.files.active_index + 1 < window.listedNames.length
        onTriggered: { window.commitEdits(); backend.next_file() }
    }
    Action {
        id: commandAction; objectName: "commandAction"; text: "Show &Command…"
        enabled: backend.files.active_index >= 0
        onTriggered: { window.commitEdits(); commandDialog.command = backend.saves.save_command(); commandDialog.open() }
    }
    Action {
        id: defaultAction; objectName: "defaultAction"; text: "Default by &Language…"
        enabled: window.hasFiles
        onTriggered: { window.commitEdits(); defaultDialog.open() }
    }
    Action {
        id: suggestAction; objectName: "suggestAction"; text: "Suggested &Flags…"
        enabled: window.hasFiles
        onTriggered: { window.commitEdits(); suggestionsDialog.refresh(); suggestionsDialog.open() }
    }
    Action {
        id: chapterNamesAction; objectName: "chapterNamesAction"; text: "&Chapter Names to All Files\u2026"
        enabled: window.listedNames.length > 1
        onTriggered: {
            window.commitEdits()
            previewDialog.show("Chapter names and skip types to all files", backend.season.preview_chapter_names_to_all(),
                               () => backend.season.apply_chapter_names_to_all())
        }
    }
    Action {
        id: findAction; objectName: "findAction"; text: "Find Openings and &Endings\u2026"
        enabled: window.listedNames.length > 1 && !backend.saves.saving
        onTriggered: { window.commitEdits(); findDialog.open(); backend.detection.detect_openings() }
    }
    Action {
        id: overviewAction; objectName: "overviewAction"; text: "Season &Overview…"
        enabled: window.hasFiles
        onTriggered: { window.commitEdits(); overviewDialog.overview = backend.season.season_overview(); overviewDialog.open() }
    }
    Shortcut { sequence: "PgUp"; enabled: prevAction.enabled; onActivated: prevAction.trigger() }
    Shortcut { sequence: "PgDown"; enabled: nextAction.enabled; onActivated: nextAction.trigger() }

    menuBar: MenuBar {
        Menu {
            title: "&File"
            ShortcutItem { action: openAction }
            ShortcutItem { action: addAction }
            ShortcutItem { action: saveAction }
            ShortcutItem { action: saveAllAction }
            ShortcutItem { action: revertAction }
            ShortcutItem { action: undoSaveAction }
            ShortcutItem { action: commandAction }
            ShortcutItem { action: removeAction }
            MenuSeparator {}
            ShortcutItem { action: quitAction }
        }
        Menu {
            title: "&Edit"
            ShortcutItem { action: undoAction }
            ShortcutItem { action: redoAction }
        }
        Menu {
            title: "Se&ason"
            ShortcutItem { action: defaultAction }
            ShortcutItem { action: suggestAction }
            ShortcutItem { action: chapterNamesAction }
            ShortcutItem { action: findAction }
            ShortcutItem { action: overviewAction }
        }
        Menu {
            title: "&Go"
            ShortcutItem { action: prevAction }
            ShortcutItem { action: nextAction }
        }
    }

    // The buttons wrap onto a second row in a narrow window rather than run off its edge.
    header: ToolBar {
        Flow {
            width: parent.width
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
        }
    }

    footer: StatusBar { backend: window.backendObject; app: window }

    // A menu entry that shows its shortcut, as desktop menus do.
    component ShortcutItem: MenuItem {
        id: entry
        contentItem: RowLayout {
            spacing: 24
            Label {
                text: entry.text.replace("&", "")
                color: entry.enabled ? palette.windowText : palette.placeholderText
                Layout.fillWidth: true
            }
            Label {
                text: entry.action ? backend.settings.shortcut_text(entry.action.shortcut) : ""
                color: palette.placeholderText
            }
        }
    }

    // The dialogs, each a document of its own.
    DiscardDialog { id: discardDialog; backend: window.backendObject; app: window }
    UnsavedDialog { id: unsavedDialog; backend: window.backendObject; app: window }
    ReloadDialog { id: reloadDialog; backend: window.backendObject; app: window }
    PreviewDialog { id: previewDialog; app: window }
    LanguagePicker { id: languagePicker; backend: window.backendObject; app: window }
    DefaultDialog { id: defaultDialog; backend: window.backendObject; app: window; picker: languagePicker }
    SuggestionsDialog { id: suggestionsDialog; backend: window.backendObject; app: window }
    OverviewDialog { id: overviewDialog; app: window }
    FindDialog { id: findDialog; backend: window.backendObject; app: window }
    CommandDialog { id: commandDialog; app: window }

    DropArea {
        anchors.fill: parent
        onDropped: (drop) => {
            if (drop.hasUrls) {
                window.commitEdits()
                backend.files.add_urls(drop.urls)
                drop.acceptProposedAction()
            }
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // A save that failed: said where the eye goes, naming the file, with the tool's own
        // words one click away. It stays until dismissed or the next outcome replaces it.
        Frame {
            id: saveErrorBanner
            objectName: "saveErrorBanner"
            visible: backend.saves.save_failed && backend.saves.save_status.length > 0 && backend.saves.save_status !== window.dismissedFailure
            Layout.fillWidth: true
            background: Rectangle { color: Theme.errorBack; border.color: Theme.error }
            RowLayout {
                anchors.fill: parent
                ColumnLayout {
                    Layout.fillWidth: true
                    Label {
                        objectName: "saveErrorText"
                        Layout.fillWidth: true
                        wrapMode: Text.Wrap
                        color: Theme.errorText
                        font.bold: true
                        text: backend.saves.save_status
                        Accessible.role: Accessible.AlertMessage
                        Accessible.name: text
                    }
                    Label {
                        objectName: "toolOutput"
                        visible: toolOutputButton.checked
                        Layout.fillWidth: true
                        wrapMode: Text.WrapAnywhere
                        color: Theme.errorText
                        font.family: "monospace"
                        text: backend.saves.tool_output
                    }
                }
                Button {
                    id: toolOutputButton
                    objectName: "toolOutputButton"
                    visible: backend.saves.tool_output.length > 0
                    checkable: true
                    text: checked ? "Hide output" : "Tool output"
                    Accessible.name: checked ? "Hide what mkvpropedit printed" : "Show what mkvpropedit printed"
                }
                Button {
                    objectName: "dismissSaveError"
                    text: "Dismiss"
                    Accessible.name: "Dismiss the message about the failed save"
                    onClicked: { toolOutputButton.checked = false; window.dismissedFailure = backend.saves.save_status }
                }
            }
        }

        // Below the size the layout is made for (a small screen at a large scale), the content
        // scrolls rather than being cut off; the banner above stays as wide as the window.
        Flickable {
            id: page
            objectName: "page"
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: Math.max(width, 720)
            // The banners come on top of the room the panes need, so that nothing below them
            // is pushed out of reach.
            contentHeight: Math.max(height, 340 + (loadBanner.visible ? loadBanner.implicitHeight : 0)
                                    + (diskBanner.visible ? diskBanner.implicitHeight : 0)
                                    + (warningBanner.visible ? warningBanner.implicitHeight : 0))
            clip: true
            interactive: contentWidth > width || contentHeight > height
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {}
            ScrollBar.horizontal: ScrollBar {}

            ColumnLayout {
                width: page.contentWidth
                height: page.contentHeight
                spacing: 0

                // Files that were chosen but could not be opened, and why.
                Frame {
                    id: loadBanner
                    objectName: "errorBanner"
                    visible: backend.files.load_errors.length > 0
                    Layout.fillWidth: true
                    background: Rectangle { color: Theme.errorBack; border.color: Theme.error }
                    RowLayout {
                        anchors.fill: parent
                        ColumnLayout {
                            Layout.fillWidth: true
                            Label {
                                objectName: "errorText"
                                Layout.fillWidth: true
                                wrapMode: Text.Wrap
                                color: Theme.errorText
                                text: "Could not open:\n" + backend.files.load_errors.join("\n")
                                Accessible.role: Accessible.AlertMessage
                                Accessible.name: text
                            }
                            Label {
                                objectName: "errorDetails"
                                visible: detailsButton.checked
                                Layout.fillWidth: true
                                wrapMode: Text.WrapAnywhere
                                color: Theme.errorText
                                font.family: "monospace"
                                text: backend.files.load_error_details.join("\n")
                            }
                        }
                        Button {
                            id: detailsButton
                            objectName: "detailsButton"
                            visible: backend.files.load_error_details.length > 0
                            checkable: true
                            text: checked ? "Hide details" : "Details"
                            Accessible.name: checked ? "Hide the reader's own words" : "Show the reader's own words about these files"
                        }
                        Button {
                            text: "Dismiss"
                            Accessible.name: "Dismiss the list of files that could not be opened"
                            onClicked: backend.files.dismiss_load_errors()
                        }
                    }
                }

                // The active file was changed by another program since it was read.
                Frame {
                    id: diskBanner
                    objectName: "diskBanner"
                    visible: backend.saves.changed_on_disk
                    Layout.fillWidth: true
                    background: Rectangle { color: Theme.noticeBack; border.color: Theme.noticeBorder }
                    RowLayout {
                        anchors.fill: parent
                        Label {
                            Layout.fillWidth: true
                            wrapMode: Text.Wrap
                            text: "\u201C" + backend.active_file_name + "\u201D changed on disk since it was opened."
                                  + (backend.history.active_modified ? " Reload it (your changes are dropped) or save your changes over it." : "")
                            Accessible.role: Accessible.AlertMessage
                        }
                        Button {
                            objectName: "reloadButton"
                            text: "Reload"
                            onClicked: backend.history.active_modified ? reloadDialog.open() : backend.saves.reload_file()
                        }
                        Button {
                            objectName: "saveAnywayButton"
                            text: "Save anyway"
                            visible: backend.history.active_modified
                            onClicked: { window.commitEdits(); backend.saves.save_anyway() }
                        }
                    }
                }

                // The active file opened, but something is missing from it.
                Frame {
                    id: warningBanner
                    objectName: "warningBanner"
                    visible: backend.saves.active_warning.length > 0
                    Layout.fillWidth: true
                    background: Rectangle { color: Theme.noticeBack; border.color: Theme.noticeBorder }
                    Label {
                        objectName: "warningText"
                        anchors.fill: parent
                        wrapMode: Text.Wrap
                        text: "\u26A0 " + backend.saves.active_warning
                        Accessible.role: Accessible.AlertMessage
                        Accessible.name: backend.saves.active_warning
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
                    id: split
                    visible: window.hasFiles
                    Layout.fillWidth: true
                    Layout.fillHeight: true

                    ListView {
                        id: fileView
                        objectName: "fileList"
                        cacheBuffer: 0 // see chapterList
                        SplitView.preferredWidth: 260
                        SplitView.minimumWidth: 150
                        clip: true
                        model: window.listedNames
                        currentIndex: backend.files.active_index
                        // In the Tab order; the arrows and Home/End open another file.
                        activeFocusOnTab: true
                        keyNavigationEnabled: false
                        // Selecting commits typing elsewhere by taking the focus: the list takes it back,
                        // so that the next arrow goes on from here.
                        function step(index) { window.select(index); forceActiveFocus() }
                        Keys.onUpPressed: if (backend.files.active_index > 0) step(backend.files.active_index - 1)
                        Keys.onDownPressed: if (backend.files.active_index + 1 < count) step(backend.files.active_index + 1)
                        Keys.onPressed: (event) => {
                            if (event.key === Qt.Key_Home && count > 0) { step(0); event.accepted = true }
                            else if (event.key === Qt.Key_End && count > 0) { step(count - 1); event.accepted = true }
                        }
                        Accessible.role: Accessible.List
                        Accessible.name: "Files" + (backend.active_file_name.length > 0 ? ", " + backend.active_file_name + " is open" : "")
                        delegate: FileEntry {
                            required property int index
                            required property string modelData
                            objectName: "file_" + index
                            width: ListView.view.width
                            fileName: modelData
                            sharedStart: window.sharedStarts[modelData] || ""
                            active: index === backend.files.active_index
                            modified: backend.history.modified_rows[index] === true
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

                        RowLayout {
                            Layout.fillWidth: true
                            Layout.leftMargin: 8
                            Layout.rightMargin: 8
                            Layout.topMargin: 8
                            Label { text: "Title"; font.bold: true }
                            TextField {
                                id: titleField
                                objectName: "titleField"
                                Layout.fillWidth: true
                                text: backend.track_edits.active_title
                                placeholderText: "(no title)"
                                selectByMouse: true
                                Accessible.name: "Title of the file"
                                onEditingFinished: if (text !== backend.track_edits.active_title) { backend.track_edits.set_title(text); text = backend.track_edits.active_title }
                                Keys.onEscapePressed: { text = backend.track_edits.active_title; focus = false }
                                Connections {
                                    target: backend.track_edits
                                    function onModified_changed() { if (!titleField.activeFocus) titleField.text = backend.track_edits.active_title }
                                }
                            }
                        }
                        Label { text: "Tracks"; font.bold: true; font.pointSize: 12; Layout.leftMargin: 8; Layout.topMargin: 4 }
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
                                        language: model.effectiveLanguage
                                        isDefault: model.isDefault
                                        languageName: model.languageName
                                        flags: [model.forced, model.hearingImpaired, model.visualImpaired, model.textDescriptions,
                                                model.original, model.commentary, model.enabled]
                                        pending: model.pending
                                        season: window.listedNames.length > 1
                                        checkLanguage: (text) => backend.languages.check_language(text)
                                        key: model.key
                                        onNameEdited: (key, text) => backend.track_edits.set_track_name_by_key(key, text)
                                        onDefaultEdited: (value) => backend.track_edits.set_track_default_by_key(model.key, value)
                                        onLanguageEdited: (key, text) => backend.track_edits.set_track_language_by_key(key, text)
                                        onFlagEdited: (flag, value) => backend.track_edits.set_track_flag_by_key(model.key, flag, value)
                                        onPickLanguage: {
                                            const key = model.key
                                            languagePicker.show((tag) => backend.track_edits.set_track_language_by_key(key, tag))
                                        }
                                        onApplyToAll: {
                                            window.commitEdits()
                                            const number = model.number
                                            previewDialog.show("Apply track " + number + " to all files",
                                                               backend.season.preview_apply_track_to_all(number),
                                                               () => backend.season.apply_track_to_all(number))
                                        }
                                    }
                                }
                            }
                        }
                        Label {
                            visible: trackRepeater.count === 0 && backend.files.active_index >= 0
                            text: "This file has no tracks."
                            color: palette.placeholderText
                            Layout.leftMargin: 8
                        }

                        Label { text: "Chapters"; font.bold: true; font.pointSize: 12; Layout.leftMargin: 8; Layout.topMargin: 8 }
                        // Said under the heading, where the list would be.
                        Label {
                            objectName: "noChapters"
                            visible: chapterView.count === 0 && backend.files.active_index >= 0
                            text: "This file has no chapters."
                            color: palette.placeholderText
                            Layout.leftMargin: 8
                        }
                        // A chapter at a time (inside a chapter: a split), or a marked opening or
                        // ending from a time or a span ("1:00-2:28"; 90 s without an end).
                        Flow {
                            id: addBar
                            objectName: "addBar"
                            visible: backend.files.active_index >= 0
                            spacing: 6
                            Layout.fillWidth: true
                            Layout.leftMargin: 8
                            Layout.rightMargin: 8
                            property var time: ({ ok: false, reason: "" })
                            // The edition the first row shows; 0 for a file without chapters.
                            readonly property var edition: chapterView.count > 0 ? chapterModel.data(chapterModel.index(0, 0), 0) : 0
                            // The bar is cleared for the next one, and the chapter just made is brought
                            // into sight: it may land below the rows shown.
                            function added(ms) {
                                addTime.text = ""
                                const row = chapterModel.row_at(addBar.edition, ms)
                                if (row >= 0)
                                    chapterView.positionViewAtIndex(row, ListView.Contain)
                            }
                            function addMarked(role) {
                                const at = addBar.time.ms
                                if (backend.chapter_edits.add_marked_chapter(addBar.edition, at, addBar.time.to, role))
                                    added(at)
                            }
                            Label { text: "At"; height: addTime.height; verticalAlignment: Text.AlignVCenter }
                            TextField {
                                id: addTime
                                objectName: "addTime"
                                width: 190
                                placeholderText: "mm:ss.fff or start-end"
                                font.family: "monospace"
                                selectByMouse: true
                                Accessible.name: "Time of the new chapter"
                                color: addBar.time.ok || text.length === 0 ? palette.text : Theme.error
                                onTextChanged: addBar.time = text.length > 0 ? backend.chapter_edits.parse_time(text) : { ok: false, reason: "" }
                            }
                            TextField {
                                id: addName
                                objectName: "addName"
                                width: 160
                                placeholderText: "Name"
                                selectByMouse: true
                                Accessible.name: "Name of the new chapter"
                            }
                            Button {
                                objectName: "addChapter"
                                text: "Add chapter"
                                enabled: addBar.time.ok && addBar.time.to < 0 && addName.text.length > 0
                                onClicked: {
                                    const at = addBar.time.ms
                                    if (backend.chapter_edits.add_chapter(addBar.edition, at, addName.text)) {
                                        addName.text = ""
                                        addBar.added(at)
                                    }
                                }
                            }
                            Button {
                                objectName: "addOpening"
                                text: "Add Opening"
                                enabled: addBar.time.ok
                                Accessible.name: "Add an opening chapter at this time"
                                onClicked: addBar.addMarked("opening")
                            }
                            Button {
                                objectName: "addEnding"
                                text: "Add Ending"
                                enabled: addBar.time.ok
                                Accessible.name: "Add an ending chapter at this time"
                                onClicked: addBar.addMarked("ending")
                            }
                            Label {
                                objectName: "addError"
                                visible: addTime.text.length > 0 && !addBar.time.ok
                                text: addBar.time.reason || ""
                                color: Theme.error
                                width: Math.min(implicitWidth, addBar.width)
                                wrapMode: Text.Wrap
                                Accessible.role: Accessible.AlertMessage
                            }
                        }
                        ChapterEntry {
                            objectName: "chapterHeader"
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
                            // Rows are made only when shown, never in the background: a row still being made
                            // when the model shrinks under it (another file chosen) is cancelled past the
                            // model's end and left half-made until the window closes.
                            cacheBuffer: 0
                            Layout.fillWidth: true
                            Layout.fillHeight: true
                            clip: true
                            spacing: 6
                            reuseItems: true
                            model: chapterModel
                            // A header per edition: "Edition 2 · ordered · hidden".
                            section.property: "editionLabel"
                            section.criteria: ViewSection.FullString
                            section.delegate: Label {
                                required property string section
                                objectName: "editionHeader"
                                text: section
                                font.bold: true
                                topPadding: 6
                                bottomPadding: 2
                                x: 8
                            }
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
                                number: Number(model.idx) + 1
                                skipType: model.skipType
                                skipTypeNames: backend.chapter_edits.skip_type_labels
                                fixNames: backend.chapter_edits.role_names
                                players: model.players
                                fix: model.fix
                                nested: model.nested
                                key: model.key
                                checkStart: (key, text) => backend.chapter_edits.check_chapter_start_by_key(key, text)
                                onNameEdited: (key, text) => backend.chapter_edits.set_chapter_name_by_key(key, text)
                                onStartEdited: (key, ms) => backend.chapter_edits.set_chapter_start_by_key(key, ms)
                                onSplitStart: backend.chapter_edits.insert_chapter_start_by_key(model.key)
                                onSplitEnd: backend.chapter_edits.insert_chapter_end_by_key(model.key)
                                onDeleteChapter: backend.chapter_edits.delete_chapter_by_key(model.key)
                                onSkipTypeEdited: (type) => backend.chapter_edits.set_chapter_skip_type_by_key(model.key, type)
                                onMark: (role) => backend.chapter_edits.mark_chapter_by_key(model.key, role)
                            }
                            ScrollBar.vertical: ScrollBar {}
                        }
                    }
                }
            }
        }
    }
}
