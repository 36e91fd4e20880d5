// Placeholder: the pixel buffer is being written.
#include "PixelBuffer.h"
