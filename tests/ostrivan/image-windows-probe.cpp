// An image source that reaches for a Windows header. The image library's
// guard must stop its compile (the image_refuses_windows test).
#include "format.h"

#include <windows.h>

uint32_t ProbePageSize() { return PageSize; }
