// Plain stand-ins for the windows' pictures, drawn when a picture file is missing, so that every
// window keeps its look and its controls stay usable (the arrow buttons keep their arrows).
#pragma once

class QPixmap;

namespace plenova::dialogs {

void DrawTitleStandIn(QPixmap& pixmap);        // the program title in yellow on black
void DrawStarStandIn(QPixmap& pixmap);         // a small yellow star on black
void DrawUpIconStandIn(QPixmap& pixmap);       // an upward triangle
void DrawDownIconStandIn(QPixmap& pixmap);     // a downward triangle
void DrawPreviewStandIn(QPixmap& pixmap);      // planets and stars on black with the title

}  // namespace plenova::dialogs
