import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// The season at a glance: a row per file, a column per kind of track; what differs
// from most files is marked.
Dialog {
    id: overviewDialog
    required property var app
    objectName: "overviewDialog"
    anchors.centerIn: parent
    width: app.width * 0.95
    height: app.height * 0.9
    modal: true
    title: "Season overview"
    standardButtons: Dialog.Close
    property var overview: ({ columns: [], rows: [] })
    ScrollView {
        anchors.fill: parent
        clip: true
        GridLayout {
            columns: overviewDialog.overview.columns.length + 1
            rowSpacing: 4
            columnSpacing: 8
            Label { text: "File"; font.bold: true }
            Repeater {
                model: overviewDialog.overview.columns
                Label { required property var modelData; text: modelData; font.bold: true; Layout.maximumWidth: 220; elide: Text.ElideMiddle }
            }
            Repeater {
                model: overviewDialog.overview.rows.length * (overviewDialog.overview.columns.length + 1)
                delegate: Label {
                    required property int index
                    readonly property int width_: overviewDialog.overview.columns.length + 1
                    readonly property var row: overviewDialog.overview.rows[Math.floor(index / width_)]
                    readonly property int column: index % width_
                    readonly property var cell: column > 0 ? row.cells[column - 1] : null
                    objectName: "overview_" + Math.floor(index / width_) + "_" + column
                    // Marked in words as well as colour: "≠" before what differs.
                    text: column === 0 ? (row.odd ? "\u2260 " : "") + row.file
                                       : (cell.odd ? "\u2260 " : "") + cell.text
                    font.bold: column === 0 ? row.odd : cell.odd
                    color: (column === 0 ? row.odd : cell.odd) ? Theme.oddText : palette.windowText
                    padding: 3
                    background: Rectangle {
                        color: (column > 0 && cell.odd) ? Qt.rgba(0.95, 0.75, 0.2, 0.35) : "transparent"
                    }
                    Layout.maximumWidth: 260
                    elide: Text.ElideMiddle
                }
            }
        }
    }
}
