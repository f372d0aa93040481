#pragma once

#include <QPixmap>

// The window's pictures, drawn rather than shipped as bitmaps.
enum TPowerPicture { ppDesign, ppOn, ppOff, ppNoReply };

// Power button picture, size x size pixels.
QPixmap PowerPicture(TPowerPicture kind, int size);
// Plug picture of the connection group: two halves apart or joined.
QPixmap PlugPicture(bool connected, int size);
