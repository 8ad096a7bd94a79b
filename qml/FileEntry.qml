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
    ToolTip.visible: hovered && fileName.length > 0
    ToolTip.text: fileName
    ToolTip.delay: 800
}
