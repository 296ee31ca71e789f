#pragma once

#include <QPixmap>

// The two 16 x 16 toolbar pictures, drawn at start-up.
QPixmap CaptureIcon();    // a camera: save the scope area as a picture
QPixmap SaveValuesIcon(); // a sheet of numbers with a wave: save the values
