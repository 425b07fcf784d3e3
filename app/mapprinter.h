#ifndef MAPPRINTER_H
#define MAPPRINTER_H

class QGraphicsScene;
class QPagedPaintDevice;

// Draws the whole canvas scene (its scene rectangle) onto the printable area of a page,
// keeping the aspect ratio. Kept apart from the print dialog so that any paged device (a PDF
// writer as well as a printer) can take the map. False when no painter could be opened.
bool renderMapToPage(QGraphicsScene *scene, QPagedPaintDevice *device);

#endif // MAPPRINTER_H
