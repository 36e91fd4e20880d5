// Placeholder until the Windows bitmap, icon and JPEG files are read and written here.
#include "Bitmap.h"
#include "Exception.h"

void TBitmap::LoadFromStream(TStream&) { throw EInvalidGraphic("Windows bitmaps cannot be read yet."); }
