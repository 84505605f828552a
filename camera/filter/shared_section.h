#pragma once
// Placing a variable in a data section that every process loading the module
// shares (characteristics 0xD0000040: initialised data, shared, read, write).
// The variable must be initialised so that the section is real data.
//
// GCC aligns large objects to 32 bytes and the linker then pads the section
// to that; a 4-byte alignment keeps the section exactly the variable's size.

#if defined(_MSC_VER)
#define QV_SHARED_DATA(sectionName) \
    __pragma(section(sectionName, read, write, shared)) __declspec(allocate(sectionName))
#elif defined(__GNUC__)
#define QV_SHARED_DATA(sectionName) __attribute__((section(sectionName), shared, aligned(4)))
#else
#error "no shared data sections for this compiler"
#endif
