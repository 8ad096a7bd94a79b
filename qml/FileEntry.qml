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
    // Long names keep their start and their end (the episode number is often last).
    contentItem: Label {
        text: root.text
        font: root.font
        elide: Text.ElideMiddle
        verticalAlignment: Text.AlignVCenter
        color: root.highlighted ? root.palette.highlightedText : root.palette.windowText
    }
    ToolTip.visible: (hovered || visualFocus) && fileName.length > 0
    ToolTip.text: fileName
    ToolTip.delay: 800
}
