// Kept so that tools/ (which includes this path) builds unchanged: the picture layout and
// WarpPicture now live in data/picture_layout.h. Include that instead.
#pragma once

#include "data/picture_layout.h"
