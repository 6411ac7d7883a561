#pragma once

#include <QColor>

// The colours of the marks the map draws over tiles. They stay apart from
// the tile states' colours (TaskFolderSource::StateColour), so a task's
// outline, a selection or the clicked tile is never read as a state.
namespace MapColours {

// The task's area or rectangle: near-black over a white halo, seen on any map.
inline QColor Outline() { return QColor(0x10, 0x10, 0x10); }
inline QColor OutlineHalo() { return QColor(0xff, 0xff, 0xff, 220); }
// A dragged rectangle, selected tiles and the polygon being drawn.
inline QColor Selection() { return QColor(0x15, 0x65, 0xc0); }
// The tile last clicked.
inline QColor MarkedTile() { return QColor(0x00, 0xe5, 0xff); }

}  // namespace MapColours
