// Private window messages of the class layer, in one place.
#pragma once
#include <windows.h>

namespace cl {
// Posted to the application window: run a synchronised call (lParam: the call).
constexpr UINT WM_CL_SYNC = WM_APP + 1;
// Posted to the application window: apply the screen cursor a worker set.
constexpr UINT WM_CL_CURSOR = WM_APP + 2;
}  // namespace cl
