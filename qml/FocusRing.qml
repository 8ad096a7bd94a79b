import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import perlane

// One clear focus ring, on whatever has the keyboard focus, above everything.
Rectangle {
    id: focusRing
    required property var app
    required property Item sink // where the focus rests when nothing has it
    objectName: "focusRing"
    parent: Overlay.overlay
    z: 10000
    readonly property Item target: app.activeFocusItem
    visible: target !== null && target !== sink && target !== app.contentItem && target.visible
    color: "transparent"
    border.width: 2
    border.color: Theme.focusRing
    radius: 3
    function place() {
        if (!target)
            return
        const p = target.mapToItem(parent, 0, 0)
        x = p.x - 3
        y = p.y - 3
        width = target.width + 6
        height = target.height + 6
    }
    onTargetChanged: place()
    Timer { interval: 60; repeat: true; running: focusRing.visible; onTriggered: focusRing.place() }
}
