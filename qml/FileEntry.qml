import QtQuick
import QtQuick.Controls

// One row of the file list. Loaded on its own it shows an empty row.
ItemDelegate {
    id: root
    property string fileName: ""
    property bool active: false
    property bool modified: false

    implicitWidth: 240
    highlighted: active
    text: (modified ? "\u25CF " : "") + fileName
    font.bold: active
    Accessible.name: fileName + (active ? ", active" : "") + (modified ? ", unsaved changes" : "")
    // The start this name shares with others in the list ("Show - "): when the whole name
    // does not fit, that part gives way first, so what tells the files apart (the episode)
    // stays in sight. The full name is in the tooltip and the accessible name.
    property string sharedStart: ""
    TextMetrics { id: whole; font: root.font; text: root.text }
    contentItem: Label {
        objectName: "fileLabel"
        readonly property bool fits: whole.advanceWidth <= width
        text: fits || root.sharedStart.length === 0 ? root.text
              : (root.modified ? "\u25CF " : "") + "\u2026" + root.fileName.slice(root.sharedStart.length)
        font: root.font
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
        color: root.highlighted ? root.palette.highlightedText : root.palette.windowText
    }
    ToolTip.visible: (hovered || visualFocus) && fileName.length > 0
    ToolTip.text: fileName
    ToolTip.delay: 800
}
