#pragma once
// Forced ahead of every image source by the build (image.cmake). The image
// code is plain C++ that the host compiler, the sanitizers and the fuzzer
// build as it is, so no Windows header may reach it: every one of them
// declares through these names, and a poisoned name is an error wherever it
// appears later ("attempt to use poisoned ..."). The forms include the image
// headers beside <windows.h>; they do not get this guard.
#pragma GCC poison WINAPI DWORD HANDLE
