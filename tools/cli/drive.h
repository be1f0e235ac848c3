// One filter run driven the way a desktop host drives it, over the command
// line host's own image buffers.
//
// The test host library's run_filter() hands the plug-in guarded copies of
// every rectangle, which finds plug-in faults but costs a copy of the whole
// image per buffer.  A user's host has no need for that: here inData,
// outData and maskData point straight into the host's images, with the
// images' own row strides, whenever the plug-in asks for all the planes of a
// pixel (else the planes go through a scratch buffer).  Everything else --
// loading, the records, the host window, message boxes, the dialog, the
// parameters handle -- is the test host's plugin_host, so both hosts call the
// plug-in identically; the tests compare their results.
#pragma once

#include <cstdint>
#include <string>

#include "testhost.h"

struct drive_request {
    const uint8_t* source = nullptr;  // height rows of width * planes bytes
    uint8_t* destination = nullptr;   // same layout; starts as a copy of source
    const uint8_t* mask = nullptr;    // width * height bytes, or null
    int32_t width = 0, height = 0, planes = 3;
    int16_t image_mode = plugInModeRGBColor;
    bool is_floating = false;
    int32_t max_space = 1 << 30;
    bool menu_run = false;    // send the parameters selector first (the dialog run)
    int16_t filter_case = 1;  // 1 flat, 2 flat with selection, 3 floating
};

struct drive_result {
    int16_t result = 0;            // the first non-zero result, else 0
    int16_t failed_selector = -1;  // the selector that returned it
    bool finished = false;         // finish was called
    std::string protocol_error;    // a request the host cannot serve, if any
};

// Runs parameters (menu runs), prepare, start, continue while any request
// rectangle is non-empty, and finish.  `progress` receives the plug-in's
// progress reports.
drive_result drive_run(testhost::plugin_host* host, const drive_request& request,
                       void (*progress)(int32_t done, int32_t total));
