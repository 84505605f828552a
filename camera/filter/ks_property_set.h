#pragma once
// DirectShow's IKsPropertySet, whose slots are Set, Get, QuerySupported.
// The toolchain has two declarations under one include guard: strmif.h's in
// DirectShow's order, and dsound.h's in DirectSound's (Get, Set,
// QuerySupport). Whichever header comes first wins, so make sure it was
// strmif.h's: a pin built on the other would answer Get calls in Set.
#include <windows.h>
#include <strmif.h>

#ifndef __IKsPropertySet_INTERFACE_DEFINED__
#error "IKsPropertySet was declared by dsound.h (DirectSound's slot order); include this header before dsound.h"
#endif
