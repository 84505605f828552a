#pragma once
// Class identifiers of the test-only audio capture filters in
// test_audio_capture_filters.dll, shared by the DLL and the tests that
// register devices of them.
#include <windows.h>

// Connects to an audio renderer and runs.
const CLSID CLSID_TestAudioCaptureRuns = {0xc04f50d3, 0xbde6, 0x4165, {0xb2, 0x4c, 0xd9, 0xcd, 0x3c, 0x87, 0x9f, 0x70}};
// Connects, but refuses to pause or run, as a microphone that is present
// but cannot be opened.
const CLSID CLSID_TestAudioCaptureRefusesToStart = {
    0x9f4dbb63, 0x3e6e, 0x480e, {0x89, 0xa6, 0xd0, 0xbe, 0x79, 0x0b, 0x62, 0x15}};
// Delivers a stream type that no renderer or codec takes, so its output
// cannot be rendered.
const CLSID CLSID_TestAudioCaptureUnrenderable = {
    0x4e2a8f1c, 0x7b3d, 0x4c59, {0xa6, 0x1e, 0x93, 0x0d, 0x5f, 0x27, 0xc8, 0x4b}};
// Registered with the DLL as its server, which knows no such class: binding
// a device of it fails.
const CLSID CLSID_TestAudioCaptureUnknown = {
    0xb4c320bb, 0x1d63, 0x479b, {0x9d, 0x0c, 0xcb, 0x04, 0x05, 0xac, 0x7b, 0xfd}};
// Audio subtype of the unrenderable stream.
const GUID MEDIASUBTYPE_TestAudioUnplayable = {
    0x2d7c61e9, 0x58a4, 0x4f03, {0x8b, 0x92, 0x1c, 0x6e, 0x3a, 0xd4, 0x07, 0xf5}};

// What a refused pause or run answers.
const HRESULT kTestAudioStartFailure = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x7a01);
