#include "daemon/command/ct_thread.h"

#include <process.h>

#include <cstdint>

bool ct_thread::Start() {
    return ::_beginthread(&ct_thread::EntryRoutine, 0, this) != static_cast<uintptr_t>(-1);
}

void __cdecl ct_thread::EntryRoutine(void* object) {
    ct_thread* self = static_cast<ct_thread*>(object);
    // Nothing may unwind out of a thread entry point.
    try {
        if (self->init()) self->run();
    } catch (...) {
    }
    try {
        self->exit();
    } catch (...) {
    }
    if (self->autoDelete) delete self;
}
