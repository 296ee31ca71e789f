#pragma once

#include <windows.h>

#include <commctrl.h>

// The two toolbar images, 16 x 16: image 0 a camera (save the scope area as a
// picture), image 1 a sheet with a column of figures (save the values).
// Adds both to List in that order.
void AddToolbarImages(HIMAGELIST List);
