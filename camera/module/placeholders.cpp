#include "camera/module/placeholders.h"

#if defined(__GNUC__) && defined(__i386__)
#define QV_THISCALL __attribute__((thiscall))
#else
#define QV_THISCALL
#endif

CZrCamera::CZrCamera() = default;

CZrCamera& CZrCamera::operator=(const CZrCamera&) { return *this; }

// A constructor compiled by the platform's C++ compiler hands `this` back;
// GCC's hand back nothing. The exported constructor (see the .def files) is
// therefore this function, which matches the platform compiler's: `this` in
// the first argument register (ECX on x86) and as the result.
extern "C" CZrCamera* QV_THISCALL ZrCameraConstructor(CZrCamera* self) { return self; }

extern "C" int fnZrCamera() { return 42; }

int nZrCamera = 0;
