// glimmora-host's run from its command line to its exit code, in steps:
// read the command, the values and the input image; apply the filter (or
// only copy); write the output.  The plug-in is loaded and called through the
// filter host (tools/filter_host) and driven as plugin_driver says (drive.h).
#include "cli/command.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/dialog_script.h"
#include "cli/drive.h"
#include "cli/image_io.h"
#include "cli/options.h"
#include "cli/params_file.h"
#include "cli/pixels.h"
#include "cli/plugin_check.h"
#include "cli/progress.h"
#include "filter_host/dialog_driver.h"
#include "filter_host/process.h"
#include "glimmora_version.h"

namespace {

int fail(int code, const std::string& message)
{
    std::fprintf(stderr, "glimmora: error: %s\n", message.c_str());
    std::fflush(stderr);
    return code;
}

// The image as the plug-in will see it, and what the host needs to turn the
// result back into the file's form.
struct prepared_image {
    raster pixels;               // 1, 3 or 4 channels
    int16_t image_mode = plugInModeRGBColor;
    std::vector<uint8_t> alpha;  // empty when the file has none
    bool file_was_gray = false;
};

// Big buffers are moved, not copied, all the way from the decoder to the
// encoder: every fresh copy of a large image costs its page faults again.
prepared_image prepare(raster&& file_image, colour_mode mode)
{
    prepared_image p;
    raster colour =
        file_image.channels == 2 || file_image.channels == 4 ? split_alpha(file_image, &p.alpha) : std::move(file_image);
    p.file_was_gray = colour.channels == 1;
    if (mode == colour_mode::from_image) mode = p.file_was_gray ? colour_mode::gray : colour_mode::rgb;
    switch (mode) {
    case colour_mode::gray:
        p.pixels = p.file_was_gray ? std::move(colour) : rgb_to_gray(colour);
        p.image_mode = plugInModeGrayScale;
        break;
    case colour_mode::cmyk:
        p.pixels = rgb_to_cmyk(p.file_was_gray ? gray_to_rgb(colour) : colour);
        p.image_mode = plugInModeCMYKColor;
        break;
    default:
        p.pixels = p.file_was_gray ? gray_to_rgb(colour) : std::move(colour);
        p.image_mode = plugInModeRGBColor;
        break;
    }
    return p;
}

// Back to what is written: gray stays gray, CMYK becomes RGB again, and the
// alpha channel returns unchanged.
raster finish_image(const prepared_image& p, raster&& result)
{
    raster colour = result.channels == 4 ? cmyk_to_rgb(result) : std::move(result);
    if (p.alpha.empty()) return colour;
    return join_alpha(colour, p.alpha);
}

// A selection mask from any PNG or JPEG: the gray value of each pixel,
// alpha ignored.
bool load_mask(const std::string& path, int32_t width, int32_t height, std::vector<uint8_t>* mask, int* code,
               std::string* error)
{
    raster image;
    std::string reason;
    load_status status = load_image(path, &image, &reason);
    if (status != load_status::ok) {
        *code = exit_input;
        *error = "cannot read selection mask '" + path + "': " + reason;
        return false;
    }
    if (image.width != width || image.height != height) {
        *code = exit_input;
        *error = "selection mask '" + path + "' is " + std::to_string(image.width) + " x " +
                 std::to_string(image.height) + " pixels but the image is " + std::to_string(width) + " x " +
                 std::to_string(height);
        return false;
    }
    std::vector<uint8_t> alpha;
    if (image.channels == 2 || image.channels == 4) image = split_alpha(image, &alpha);
    if (image.channels == 3) image = rgb_to_gray(image);
    *mask = image.pixels;
    return true;
}

// With GLIMMORA_HOST_TIMING set, where the time of a run goes, on stderr.
void phase_time(const char* phase)
{
    static const bool wanted = getenv("GLIMMORA_HOST_TIMING") != nullptr;
    if (!wanted) return;
    static LARGE_INTEGER frequency, last;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    } else {
        std::fprintf(stderr, "glimmora: %-10s %8.3f s\n", phase,
                     (double)(now.QuadPart - last.QuadPart) / (double)frequency.QuadPart);
    }
    last = now;
}

// The bar of the run in progress, for the progress callback.
progress_bar* the_bar = nullptr;

void draw_progress(progress_bar* bar, int32_t done, int32_t total)
{
    std::string text = progress_update(bar, done, total, GetTickCount());
    if (!text.empty()) {
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    }
}

void report_progress(int32_t done, int32_t total)
{
    if (the_bar != nullptr) draw_progress(the_bar, done, total);
}

std::string result_text(int16_t code)
{
    switch (code) {
    case memFullErr: return "-108: out of memory";
    case filterBadParameters: return "-30100: bad parameters";
    case 1: return "1: cancelled, or stopped after its own message";
    default: return std::to_string(code) + ": unknown error";
    }
}

std::string this_program_directory()
{
    char path[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path, n);
    size_t slash = p.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

std::string values_line(const param_values& v)
{
    std::string line;
    for (int i = 0; i < param_count; i++)
        line += std::string(param_ranges[i].name) + " " + std::to_string(v.value[i]) + ", ";
    return line + "centre " + std::to_string(v.centre_x) + "," + std::to_string(v.centre_y);
}

// What one command line asks for, with its file names as Windows takes them.
struct command {
    cli_options o;
    std::vector<dialog_step> dialog_steps;
    file_kind out_kind = file_kind::unknown;
    std::string in_path, out_path, params_path;
};

// The image loaded, in the form the plug-in sees, and its selection.
struct input {
    int32_t width = 0, height = 0;
    prepared_image prepared;
    std::vector<uint8_t> mask;  // empty: no selection
};

// What a step returns when the program goes on to the next one; any other
// value is the exit code, its message already printed.
const int go_on = -1;

// The options, the dialog script and the output's format; --help and
// --version end here.
int read_command(const std::vector<std::string>& args, command* c)
{
    std::string error;
    if (!parse_options(args, &c->o, &error)) return fail(exit_usage, error);
    if (c->o.help) {
        std::fputs(usage_text(), stdout);
        return exit_ok;
    }
    if (c->o.version) {
        std::fputs("glimmora " GLIMMORA_VERSION "\n", stdout);
        return exit_ok;
    }
    if (!parse_dialog_script(c->o.dialog_test, &c->dialog_steps, &error)) return fail(exit_usage, error);
    c->out_kind = output_kind(c->o.out_path);
    if (c->out_kind == file_kind::unknown)
        return fail(exit_usage, "cannot tell the format of OUT '" + c->o.out_path + "': name it .png, .jpg or .jpeg");
    c->in_path = filter_host::windows_path(c->o.in_path);
    c->out_path = filter_host::windows_path(c->o.out_path);
    c->params_path = filter_host::windows_path(c->o.params_path);
    return go_on;
}

// Values kept from an earlier dialog come first; the command line wins.
int read_values(const command& c, param_values* values)
{
    if (!c.params_path.empty()) {
        std::string text, reason;
        if (read_whole_file(c.params_path, &text, &reason)) {
            if (!parse_params(text, values, &reason))
                return fail(exit_input, "parameter file '" + c.o.params_path + "', " + reason);
        } else if (!c.o.dialog) {
            return fail(exit_input, "cannot read parameter file '" + c.o.params_path + "': " + reason);
        }
    }
    merge_params(values, c.o.params);
    return go_on;
}

// Decodes IN, checks the centre against it, converts it to the mode the
// plug-in is to see, and loads the selection mask.
int read_input(const command& c, const param_values& values, input* in)
{
    std::string error;
    raster file_image;
    phase_time("start");
    bool had_16_bits = false;
    load_status status = load_image(c.in_path, &file_image, &error, &had_16_bits);
    phase_time("decode");
    if (status != load_status::ok) {
        const char* what = status == load_status::unreadable ? "cannot read" : "cannot use";
        return fail(exit_input, std::string(what) + " input '" + c.o.in_path + "': " + error);
    }
    if (had_16_bits && !c.o.quiet) {
        std::fprintf(stderr,
                     "glimmora: warning: '%s' has 16 bits per channel; the filter works in 8 bits, so the output "
                     "is 8-bit\n",
                     c.o.in_path.c_str());
        std::fflush(stderr);
    }
    if (values.centre_set && !check_centre(values.centre_x, values.centre_y, file_image.width, file_image.height,
                                           &error))
        return fail(exit_usage, error);

    in->width = file_image.width;
    in->height = file_image.height;
    in->prepared = prepare(std::move(file_image), c.o.mode);
    if (!c.o.selection_path.empty()) {
        int code = 0;
        if (!load_mask(filter_host::windows_path(c.o.selection_path), in->width, in->height, &in->mask, &code, &error))
            return fail(code, error);
    }
    return go_on;
}

// Drives the whole run as the driver does it.  The plug-in writes into the
// result, which starts as the source image.
raster run_plugin(const command& c, const plugin_driver& driver, filter_host::plugin_host& host, const input& in,
                  progress_bar* bar, drive_result* outcome)
{
    raster result = in.prepared.pixels;
    drive_request request;
    request.source = in.prepared.pixels.pixels.data();
    request.destination = result.pixels.data();
    request.mask = in.mask.empty() ? nullptr : in.mask.data();
    request.width = in.width;
    request.height = in.height;
    request.planes = result.channels;
    request.image_mode = in.prepared.image_mode;
    request.is_floating = c.o.floating;
    request.max_space = c.o.max_space;
    request.menu_run = c.o.dialog;
    request.filter_case = c.o.floating ? 3 : in.mask.empty() ? 1 : 2;
    request.progress = report_progress;
    the_bar = bar;
    *outcome = driver.run(host, request);
    the_bar = nullptr;
    return result;
}

// What the run came to: the plug-in's messages, then its result as an exit
// code (go_on when it succeeded).
int report_outcome(const command& c, const filter_host::plugin_host& host, const drive_result& outcome,
                   progress_bar* bar)
{
    std::string end = progress_finish(bar, outcome.result == 0);
    std::fputs(end.c_str(), stderr);
    for (const filter_host::message_box& box : host.message_boxes())
        std::fprintf(stderr, "glimmora: the plug-in said (%s): %s\n", box.caption.c_str(), box.text.c_str());

    if (!outcome.protocol_error.empty())
        return fail(exit_filter, "the plug-in made a request this host cannot serve: " + outcome.protocol_error);
    if (outcome.result == 1 && c.o.dialog && outcome.failed_selector == filterSelectorContinue)
        return fail(exit_cancelled, "cancelled in the dialog; '" + c.o.out_path + "' not written");
    if (outcome.result != 0)
        return fail(exit_filter, "the plug-in stopped with code " + result_text(outcome.result) + "; '" +
                                     c.o.out_path + "' not written");
    return go_on;
}

// After a dialog run: the values the user accepted, printed and kept in the
// parameter file.
int keep_accepted_values(const command& c, const filter_host::plugin_host& host)
{
    std::vector<uint8_t> kept = host.params_bytes();
    if (kept.size() < sizeof(spoke_params)) return go_on;
    spoke_params accepted;
    std::memcpy(&accepted, kept.data(), sizeof accepted);
    param_values chosen = values_from_record(accepted);
    if (!c.o.quiet) std::fprintf(stderr, "glimmora: accepted %s\n", values_line(chosen).c_str());
    std::string error;
    if (!c.params_path.empty() && !write_file_atomically(c.params_path, format_params(chosen), &error))
        return fail(exit_output, "cannot write parameter file '" + c.o.params_path + "': " + error);
    return go_on;
}

// `apply`: loads the plug-in, runs it over the image (with the dialog when
// asked), and blends its result by the selection.
int apply_filter(const command& c, const plugin_driver& driver, const param_values& values, input* in,
                 raster* result)
{
    std::string error;
    std::string plugin_path = c.o.plugin_path.empty() ? this_program_directory() + "GLIMMORA.8bf"
                                                      : filter_host::windows_path(c.o.plugin_path);
    plugin_choice choice;
    std::string plugin_name = c.o.plugin_path.empty() ? plugin_path : c.o.plugin_path;
    if (!choose_plugin(plugin_path, plugin_name, in->prepared.image_mode, &choice, &error))
        return fail(exit_plugin, error);

    phase_time("prepare");
    std::unique_ptr<filter_host::plugin_host> loaded = driver.load(plugin_path, choice.entry_name);
    filter_host::plugin_host& host = *loaded;
    if (!host.loaded()) return fail(exit_plugin, "cannot load plug-in '" + plugin_name + "': " + host.load_error());

    spoke_params record = make_record(values, in->width, in->height, c.o.dialog);
    std::vector<uint8_t> record_bytes((const uint8_t*)&record, (const uint8_t*)&record + sizeof record);
    host.set_params(record_bytes);

    // The bar redraws in place, which only makes sense on a terminal (a
    // console under Windows, a tty under Wine).
    progress_bar bar;
    bar.enabled = !c.o.quiet && (c.o.force_progress || GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR);
    if (c.o.dialog) {
        // The user takes as long as they like, and the dialog runs its own
        // loop until they press OK or Cancel.
        if (!c.o.dialog_test.empty()) {
            const std::vector<dialog_step>& steps = c.dialog_steps;
            host.set_dialog_script([&steps](HWND dialog) { run_dialog_script(dialog, steps); });
        } else {
            host.set_dialog_script([](HWND dialog) {
                while (IsWindow(dialog) && IsWindowVisible(dialog)) filter_host::pump_messages(50, dialog);
            });
        }
    }

    phase_time("load");
    drive_result outcome;
    *result = run_plugin(c, driver, host, *in, &bar, &outcome);
    phase_time("run");

    int code = report_outcome(c, host, outcome, &bar);
    if (code == go_on && c.o.dialog) code = keep_accepted_values(c, host);
    if (code != go_on) return code;
    if (!in->mask.empty()) blend_by_mask(in->prepared.pixels, in->mask, result);
    in->prepared.pixels = raster();
    return go_on;
}

// `copy`: the floor the benchmark measures the filter against, everything a
// run does but the plug-in.  That includes what a desktop host has ready
// before any filter runs -- its (here hidden) main window, and the fonts to
// label it -- whose first use in a process under Wine starts the display side
// and the font system.
void copy_only(input* in, raster* result)
{
    HWND window = CreateWindowExA(0, "STATIC", "Glimmora host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr) {
        HDC dc = GetDC(window);
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SIZE size;
        GetTextExtentPoint32A(dc, "Glimmora", 8, &size);
        SelectObject(dc, old);
        ReleaseDC(window, dc);
        DestroyWindow(window);
    }
    *result = std::move(in->prepared.pixels);
}

// The result back in the file's form (gray, RGB, alpha), written to OUT.
int write_output(const command& c, const input& in, raster&& result)
{
    std::string error;
    raster written = finish_image(in.prepared, std::move(result));
    phase_time("finish");
    if (!save_image(c.out_path, written, c.out_kind, &error))
        return fail(exit_output, "cannot write '" + c.o.out_path + "': " + error);
    phase_time("encode");
    return exit_ok;
}

int run(const std::vector<std::string>& args, const plugin_driver& driver)
{
    command c;
    param_values values;
    input in;
    int code = read_command(args, &c);
    if (code == go_on) code = read_values(c, &values);
    if (code == go_on) code = read_input(c, values, &in);
    if (code != go_on) return code;

    raster result;
    if (c.o.command == "apply") {
        code = apply_filter(c, driver, values, &in, &result);
        if (code != go_on) return code;
    } else {
        copy_only(&in, &result);
    }
    return write_output(c, in, std::move(result));
}

}  // namespace

int host_main(int argc, char** argv, const plugin_driver& driver)
{
    filter_host::set_program_name("glimmora");
    filter_host::install_crash_report();
    // Errors from Windows itself (a missing drive, a damaged DLL) come back as
    // error codes instead of message boxes nobody can answer.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    std::vector<std::string> args(argv + 1, argv + argc);
    int code = run(args, driver);
    std::fflush(stdout);
    std::fflush(stderr);
    return code;
}
