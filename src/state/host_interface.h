// Binary layout of the host's filter plug-in interface (version 4.0, kind '8BFM').
//
// Written from the published record layouts.  The FilterRecord is packed to
// 4 bytes on both 32-bit and 64-bit Windows, so on x64 several pointers sit on
// 4-byte boundaries; every field the plug-in touches is checked below.
// This header needs no <windows.h>: handles and windows are plain pointers.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint8_t ps_boolean;  // the interface's Boolean is one byte
typedef void* Handle;
typedef int32_t Fixed;

struct Rect16 {
    int16_t top, left, bottom, right;
};

struct Point16 {
    int16_t v, h;
};

struct VRect {
    int32_t top, left, bottom, right;
};

struct RGBColor16 {
    uint16_t red, green, blue;
};

struct PlatformData {
    void* hwnd;  // the host's main window
};

struct PSPixelMask;

// Natural alignment, as the host interface declares it.
struct PSPixelMap {
    int32_t version;
    VRect bounds;
    int32_t imageMode;
    int32_t rowBytes;
    int32_t colBytes;
    int32_t planeBytes;
    void* baseAddr;
    // version 1 and later
    PSPixelMask* mat;
    PSPixelMask* masks;
    int32_t maskPhaseRow;
    int32_t maskPhaseCol;
};

typedef ps_boolean (*TestAbortProc)(void);
typedef void (*ProgressProc)(int32_t done, int32_t total);
typedef int16_t (*DisplayPixelsProc)(const PSPixelMap* source, const VRect* srcRect,
                                     int32_t dstRow, int32_t dstCol, void* platformContext);
typedef void (*PluginEntryProc)(int16_t selector, void* record, intptr_t* data, int16_t* result);

#pragma pack(push, 4)
struct FilterRecord {
    int32_t serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;
    Point16 imageSize;
    int16_t planes;
    Rect16 filterRect;
    RGBColor16 background;
    RGBColor16 foreground;
    int32_t maxSpace;
    int32_t bufferSpace;
    Rect16 inRect;
    int16_t inLoPlane;
    int16_t inHiPlane;
    Rect16 outRect;
    int16_t outLoPlane;
    int16_t outHiPlane;
    void* inData;
    int32_t inRowBytes;
    void* outData;
    int32_t outRowBytes;
    ps_boolean isFloating;
    ps_boolean haveMask;
    ps_boolean autoMask;
    Rect16 maskRect;
    void* maskData;
    int32_t maskRowBytes;
    uint8_t backColor[4];
    uint8_t foreColor[4];
    uint32_t hostSig;
    void* hostProc;
    int16_t imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point16 floatCoord;
    Point16 wholeSize;
    Fixed monitor[10];
    PlatformData* platformData;
    void* bufferProcs;
    void* resourceProcs;
    void* processEvent;
    DisplayPixelsProc displayPixels;
    void* handleProcs;
    ps_boolean supportsDummyChannels;
    ps_boolean supportsAlternateLayouts;
    int16_t wantLayout;
    int16_t filterCase;
    int16_t dummyPlaneValue;
    void* premiereHook;
    void* advanceState;
    // The 4.0 record goes on with fields this plug-in never touches, up to its
    // reserved tail; they are kept as opaque bytes so the size is right.
    uint8_t unused_tail[sizeof(void*) == 8 ? 256 : 224];
};
#pragma pack(pop)

struct AboutRecord {
    PlatformData* platformData;
    char reserved[252];
};

// Selectors.
enum : int16_t {
    filterSelectorAbout = 0,
    filterSelectorParameters = 1,
    filterSelectorPrepare = 2,
    filterSelectorStart = 3,
    filterSelectorContinue = 4,
    filterSelectorFinish = 5,
};

// Image modes.
enum : int16_t {
    plugInModeBitmap = 0,
    plugInModeGrayScale = 1,
    plugInModeIndexedColor = 2,
    plugInModeRGBColor = 3,
    plugInModeCMYKColor = 4,
    plugInModeHSLColor = 5,
    plugInModeHSBColor = 6,
    plugInModeMultichannel = 7,
    plugInModeDuotone = 8,
    plugInModeLabColor = 9,
};

// Result codes.
enum : int16_t {
    noErr = 0,
    userCancelledOwnMessage = 1,  // positive: the plug-in already told the user
    memFullErr = -108,
    filterBadParameters = -30100,
};

#define GLIMMORA_FIELD_AT(type, field, x86, x64) \
    static_assert(offsetof(type, field) == (sizeof(void*) == 8 ? (x64) : (x86)), #type "." #field)

GLIMMORA_FIELD_AT(FilterRecord, serialNumber, 0, 0);
GLIMMORA_FIELD_AT(FilterRecord, abortProc, 4, 4);
GLIMMORA_FIELD_AT(FilterRecord, progressProc, 8, 12);
GLIMMORA_FIELD_AT(FilterRecord, parameters, 12, 20);
GLIMMORA_FIELD_AT(FilterRecord, imageSize, 16, 28);
GLIMMORA_FIELD_AT(FilterRecord, planes, 20, 32);
GLIMMORA_FIELD_AT(FilterRecord, filterRect, 22, 34);
GLIMMORA_FIELD_AT(FilterRecord, background, 30, 42);
GLIMMORA_FIELD_AT(FilterRecord, foreground, 36, 48);
GLIMMORA_FIELD_AT(FilterRecord, maxSpace, 44, 56);
GLIMMORA_FIELD_AT(FilterRecord, bufferSpace, 48, 60);
GLIMMORA_FIELD_AT(FilterRecord, inRect, 52, 64);
GLIMMORA_FIELD_AT(FilterRecord, inLoPlane, 60, 72);
GLIMMORA_FIELD_AT(FilterRecord, inHiPlane, 62, 74);
GLIMMORA_FIELD_AT(FilterRecord, outRect, 64, 76);
GLIMMORA_FIELD_AT(FilterRecord, outLoPlane, 72, 84);
GLIMMORA_FIELD_AT(FilterRecord, outHiPlane, 74, 86);
GLIMMORA_FIELD_AT(FilterRecord, inData, 76, 88);
GLIMMORA_FIELD_AT(FilterRecord, inRowBytes, 80, 96);
GLIMMORA_FIELD_AT(FilterRecord, outData, 84, 100);
GLIMMORA_FIELD_AT(FilterRecord, outRowBytes, 88, 108);
GLIMMORA_FIELD_AT(FilterRecord, isFloating, 92, 112);
GLIMMORA_FIELD_AT(FilterRecord, haveMask, 93, 113);
GLIMMORA_FIELD_AT(FilterRecord, autoMask, 94, 114);
GLIMMORA_FIELD_AT(FilterRecord, maskRect, 96, 116);
GLIMMORA_FIELD_AT(FilterRecord, maskData, 104, 124);
GLIMMORA_FIELD_AT(FilterRecord, maskRowBytes, 108, 132);
GLIMMORA_FIELD_AT(FilterRecord, backColor, 112, 136);
GLIMMORA_FIELD_AT(FilterRecord, foreColor, 116, 140);
GLIMMORA_FIELD_AT(FilterRecord, hostSig, 120, 144);
GLIMMORA_FIELD_AT(FilterRecord, hostProc, 124, 148);
GLIMMORA_FIELD_AT(FilterRecord, imageMode, 128, 156);
GLIMMORA_FIELD_AT(FilterRecord, imageHRes, 132, 160);
GLIMMORA_FIELD_AT(FilterRecord, imageVRes, 136, 164);
GLIMMORA_FIELD_AT(FilterRecord, floatCoord, 140, 168);
GLIMMORA_FIELD_AT(FilterRecord, wholeSize, 144, 172);
GLIMMORA_FIELD_AT(FilterRecord, monitor, 148, 176);
GLIMMORA_FIELD_AT(FilterRecord, platformData, 188, 216);
GLIMMORA_FIELD_AT(FilterRecord, bufferProcs, 192, 224);
GLIMMORA_FIELD_AT(FilterRecord, resourceProcs, 196, 232);
GLIMMORA_FIELD_AT(FilterRecord, processEvent, 200, 240);
GLIMMORA_FIELD_AT(FilterRecord, displayPixels, 204, 248);
GLIMMORA_FIELD_AT(FilterRecord, handleProcs, 208, 256);
GLIMMORA_FIELD_AT(FilterRecord, supportsDummyChannels, 212, 264);
GLIMMORA_FIELD_AT(FilterRecord, wantLayout, 214, 266);
GLIMMORA_FIELD_AT(FilterRecord, filterCase, 216, 268);
GLIMMORA_FIELD_AT(FilterRecord, dummyPlaneValue, 218, 270);
GLIMMORA_FIELD_AT(FilterRecord, premiereHook, 220, 272);
GLIMMORA_FIELD_AT(FilterRecord, advanceState, 224, 280);
static_assert(sizeof(FilterRecord) == (sizeof(void*) == 8 ? 544 : 452), "FilterRecord size");

GLIMMORA_FIELD_AT(AboutRecord, platformData, 0, 0);
static_assert(sizeof(AboutRecord) == (sizeof(void*) == 8 ? 264 : 256), "AboutRecord size");
GLIMMORA_FIELD_AT(PlatformData, hwnd, 0, 0);

GLIMMORA_FIELD_AT(PSPixelMap, version, 0, 0);
GLIMMORA_FIELD_AT(PSPixelMap, bounds, 4, 4);
GLIMMORA_FIELD_AT(PSPixelMap, imageMode, 20, 20);
GLIMMORA_FIELD_AT(PSPixelMap, rowBytes, 24, 24);
GLIMMORA_FIELD_AT(PSPixelMap, colBytes, 28, 28);
GLIMMORA_FIELD_AT(PSPixelMap, planeBytes, 32, 32);
GLIMMORA_FIELD_AT(PSPixelMap, baseAddr, 36, 40);
GLIMMORA_FIELD_AT(PSPixelMap, mat, 40, 48);
GLIMMORA_FIELD_AT(PSPixelMap, masks, 44, 56);
static_assert(sizeof(PSPixelMap) == (sizeof(void*) == 8 ? 72 : 56), "PSPixelMap size");
static_assert(sizeof(Rect16) == 8 && sizeof(Point16) == 4 && sizeof(VRect) == 16, "small records");
