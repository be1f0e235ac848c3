// One filter run driven the way a desktop host drives it, over the command
// line host's own image buffers.
//
// The test host's run_filter() hands the plug-in guarded copies of every
// rectangle, which finds plug-in faults but costs a copy of the whole image
// per buffer.  A user's host has no need for that: here inData, outData and
// maskData point straight into the host's images, with the images' own row
// strides, whenever the plug-in asks for all the planes of a pixel (else the
// planes go through a scratch buffer).  Everything else -- loading, the
// records, the host window, message boxes, the dialog, the parameters handle
// -- is the filter host's plugin_host, which the test host builds on, so
// both hosts call the plug-in identically; the tests compare their results.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "filter_host/plugin_host.h"

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
    void (*progress)(int32_t done, int32_t total) = nullptr;  // the plug-in's progress reports
};

struct drive_result {
    int16_t result = 0;            // the first non-zero result, else 0
    int16_t failed_selector = -1;  // the selector that returned it
    bool finished = false;         // finish was called
    std::string protocol_error;    // a request the host cannot serve, if any
};

// Runs parameters (menu runs), prepare, start, continue while any request
// rectangle is non-empty, and finish.
drive_result drive_run(filter_host::plugin_host* host, const drive_request& request);

// How the command-line host loads the plug-in and drives a run: the filter
// host, and drive_run().  The tests' reference program
// (tests/cli/reference_host_win.cpp) is the same program with a driver of
// its own: the test host and its guarded run_filter().
class plugin_driver {
public:
    virtual ~plugin_driver() = default;
    virtual std::unique_ptr<filter_host::plugin_host> load(const std::string& path,
                                                           const std::string& entry_name) const;
    virtual drive_result run(filter_host::plugin_host& host, const drive_request& request) const;
};
