#pragma once
// Exports that every build of the module has carried and that nothing uses.
// Kept so that the export table stays what callers may have linked against.

class CZrCamera {
public:
    CZrCamera();
    CZrCamera& operator=(const CZrCamera& other);
};

extern "C" int fnZrCamera();
extern "C" int nZrCamera;
