// A whole filter run, the way a host drives one: parameters (menu runs only),
// prepare, start, continue while any request rectangle is non-empty, finish.
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "testhost.h"
#include "testhost_internal.h"

namespace testhost {

int16_t display_pixels_proc(const PSPixelMap* source, const VRect* rect, int32_t row, int32_t col, void* context)
{
    if (current_host != nullptr) current_host->on_display(source, rect, row, col, context);
    return 0;
}

image make_test_image(int32_t width, int32_t height, int32_t planes)
{
    image img;
    img.width = width;
    img.height = height;
    img.planes = planes;
    img.pixels.resize((size_t)width * height * planes);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int32_t p = 0; p < planes; ++p)
                img.at(x, y)[p] = (uint8_t)(x * 7 + y * 13 + p * 101 + (x * y) % 17);
    return img;
}

// A buffer that ends right at an inaccessible page, so a plug-in reading or
// writing past the end of what it asked for faults at once instead of
// quietly using the host's memory.
class guarded_buffer {
public:
    guarded_buffer() = default;
    guarded_buffer(const guarded_buffer&) = delete;
    guarded_buffer& operator=(const guarded_buffer&) = delete;
    ~guarded_buffer() { release(); }

    uint8_t* allocate(size_t size)
    {
        // The same size again (one output row after another) keeps the
        // buffer: fresh pages are slow to fault in, and the guard stays put.
        if (base_ != nullptr && size == size_) return data_;
        release();
        if (size == 0) return nullptr;
        const size_t page = 4096;
        const size_t body = (size + page - 1) / page * page;
        base_ = (uint8_t*)VirtualAlloc(nullptr, body + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (base_ == nullptr) return nullptr;
        DWORD old = 0;
        VirtualProtect(base_ + body, page, PAGE_NOACCESS, &old);
        data_ = base_ + body - size;
        size_ = size;
        return data_;
    }
    void release()
    {
        if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
        base_ = data_ = nullptr;
        size_ = 0;
    }
    uint8_t* data() const { return data_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

static bool rect_empty(const Rect16& r)
{
    return !(r.left < r.right && r.top < r.bottom);
}

static bool same_rect(const Rect16& a, const Rect16& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

static std::string rect_text(const Rect16& r)
{
    char text[80];
    std::snprintf(text, sizeof text, "(top %d, left %d, bottom %d, right %d)", r.top, r.left, r.bottom, r.right);
    return text;
}

static void protocol_error(run_result* result, const std::string& message)
{
    for (const std::string& seen : result->protocol_errors)
        if (seen == message) return;
    std::fprintf(stderr, "testhost: %s\n", message.c_str());
    std::fflush(stderr);
    result->protocol_errors.push_back(message);
}

// --- which parts of the FilterRecord the plug-in may write --------------------------

struct record_field {
    const char* name;
    size_t offset, size;
    bool plugin_writes;
};

#define FIELD(f, w) {#f, offsetof(FilterRecord, f), sizeof(((FilterRecord*)nullptr)->f), w}
static const record_field record_fields[] = {
    FIELD(serialNumber, false), FIELD(abortProc, false), FIELD(progressProc, false), FIELD(parameters, true),
    FIELD(imageSize, false), FIELD(planes, false), FIELD(filterRect, false), FIELD(background, false),
    FIELD(foreground, false), FIELD(maxSpace, false), FIELD(bufferSpace, true), FIELD(inRect, true),
    FIELD(inLoPlane, true), FIELD(inHiPlane, true), FIELD(outRect, true), FIELD(outLoPlane, true),
    FIELD(outHiPlane, true), FIELD(inData, false), FIELD(inRowBytes, false), FIELD(outData, false),
    FIELD(outRowBytes, false), FIELD(isFloating, false), FIELD(haveMask, false), FIELD(autoMask, false),
    FIELD(maskRect, true), FIELD(maskData, false), FIELD(maskRowBytes, false), FIELD(backColor, false),
    FIELD(foreColor, false), FIELD(hostSig, false), FIELD(hostProc, false), FIELD(imageMode, false),
    FIELD(imageHRes, false), FIELD(imageVRes, false), FIELD(floatCoord, false), FIELD(wholeSize, false),
    FIELD(monitor, false), FIELD(platformData, false), FIELD(bufferProcs, false), FIELD(resourceProcs, false),
    FIELD(processEvent, false), FIELD(displayPixels, false), FIELD(handleProcs, false),
    FIELD(supportsDummyChannels, false), FIELD(supportsAlternateLayouts, false), FIELD(wantLayout, false),
    FIELD(filterCase, false), FIELD(dummyPlaneValue, false), FIELD(premiereHook, false),
    FIELD(advanceState, false), FIELD(unused_tail, false),
};
#undef FIELD

void plugin_host::check_record_writes(const uint8_t* before, run_result* result, int16_t selector)
{
    const uint8_t* after = (const uint8_t*)&record();
    for (size_t i = 0; i < sizeof(FilterRecord); ++i) {
        if (before[i] == after[i]) continue;
        const record_field* field = nullptr;
        for (const record_field& f : record_fields)
            if (i >= f.offset && i < f.offset + f.size) field = &f;
        if (field != nullptr && field->plugin_writes) {
            // The parameters handle is the plug-in's to set only while there is none.
            Handle earlier = nullptr;
            if (field->offset == offsetof(FilterRecord, parameters)) {
                std::memcpy(&earlier, before + field->offset, sizeof earlier);
                if (earlier != nullptr)
                    protocol_error(result, "selector " + std::to_string(selector) +
                                               " replaced the host's FilterRecord.parameters");
            }
            i = field->offset + field->size - 1;
            continue;
        }
        std::string name = field != nullptr ? field->name : "padding at offset " + std::to_string(i);
        protocol_error(result, "selector " + std::to_string(selector) + " wrote host-owned FilterRecord." + name);
        if (field != nullptr) i = field->offset + field->size - 1;
    }
}

// --- pixels in and out ------------------------------------------------------------------

namespace {

struct run_buffers {
    guarded_buffer in, out, mask;
    // The input and mask buffers are refilled only when the request changes,
    // as hosts do; the output always comes from the current output image.
    bool in_valid = false, mask_valid = false;
    Rect16 in_rect = {}, mask_rect = {};
    int16_t in_lo = 0, in_hi = -1;
    int32_t out_row_bytes = 0;
};

bool rect_inside(const Rect16& r, const image& img)
{
    return r.left >= 0 && r.top >= 0 && r.right <= img.width && r.bottom <= img.height;
}

bool planes_valid(int16_t lo, int16_t hi, const image& img)
{
    return lo >= 0 && lo <= hi && hi < img.planes;
}

// Copies planes lo..hi of the rectangle into rows of `row_bytes`.
void copy_out_of(const image& img, const Rect16& r, int16_t lo, int16_t hi, uint8_t* dst, int32_t row_bytes)
{
    const int32_t n = hi - lo + 1;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        uint8_t* row = dst + (size_t)(y - r.top) * row_bytes;
        if (n == img.planes) {  // all planes: the row is one run of bytes
            std::memcpy(row, img.at(r.left, y), (size_t)(r.right - r.left) * n);
            continue;
        }
        for (int32_t x = r.left; x < r.right; ++x)
            std::memcpy(row + (size_t)(x - r.left) * n, img.at(x, y) + lo, n);
    }
}

void copy_into(image* img, const Rect16& r, int16_t lo, int16_t hi, const uint8_t* src, int32_t row_bytes)
{
    const int32_t n = hi - lo + 1;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        const uint8_t* row = src + (size_t)(y - r.top) * row_bytes;
        if (n == img->planes) {
            std::memcpy(img->at(r.left, y), row, (size_t)(r.right - r.left) * n);
            continue;
        }
        for (int32_t x = r.left; x < r.right; ++x)
            std::memcpy(img->at(x, y) + lo, row + (size_t)(x - r.left) * n, n);
    }
}

struct run_context {
    const run_request* request;
    run_result* result;
    run_buffers buffers;
};

}  // namespace

static void supply(FilterRecord& rec, run_context& ctx)
{
    const run_request& req = *ctx.request;
    run_result* result = ctx.result;
    run_buffers& b = ctx.buffers;

    rec.inData = nullptr;
    rec.inRowBytes = 0;
    if (!rect_empty(rec.inRect)) {
        if (!rect_inside(rec.inRect, req.source) || !planes_valid(rec.inLoPlane, rec.inHiPlane, req.source)) {
            protocol_error(result, "inRect " + rect_text(rec.inRect) + " planes " + std::to_string(rec.inLoPlane) +
                                       ".." + std::to_string(rec.inHiPlane) + " lies outside the image");
            b.in_valid = false;
        } else {
            const int32_t n = rec.inHiPlane - rec.inLoPlane + 1;
            const int32_t row_bytes = (rec.inRect.right - rec.inRect.left) * n + req.in_row_padding;
            if (!b.in_valid || !same_rect(b.in_rect, rec.inRect) || b.in_lo != rec.inLoPlane ||
                b.in_hi != rec.inHiPlane) {
                const size_t size = (size_t)(rec.inRect.bottom - rec.inRect.top) * row_bytes;
                uint8_t* data = b.in.allocate(size);
                if (data == nullptr) {
                    protocol_error(result, "the test host cannot allocate " + std::to_string(size) + " bytes");
                    return;
                }
                std::memset(data, 0xEE, size);  // the padding, if any, stays visibly foreign
                copy_out_of(req.source, rec.inRect, rec.inLoPlane, rec.inHiPlane, data, row_bytes);
                b.in_valid = true;
                b.in_rect = rec.inRect;
                b.in_lo = rec.inLoPlane;
                b.in_hi = rec.inHiPlane;
            }
            rec.inData = b.in.data();
            rec.inRowBytes = row_bytes;
        }
    } else {
        b.in_valid = false;
    }

    rec.outData = nullptr;
    rec.outRowBytes = 0;
    b.out_row_bytes = 0;
    if (!rect_empty(rec.outRect)) {
        if (!rect_inside(rec.outRect, req.source) || !planes_valid(rec.outLoPlane, rec.outHiPlane, req.source)) {
            protocol_error(result, "outRect " + rect_text(rec.outRect) + " planes " +
                                       std::to_string(rec.outLoPlane) + ".." + std::to_string(rec.outHiPlane) +
                                       " lies outside the image");
        } else {
            const int32_t n = rec.outHiPlane - rec.outLoPlane + 1;
            const int32_t row_bytes = (rec.outRect.right - rec.outRect.left) * n;
            uint8_t* data = b.out.allocate((size_t)(rec.outRect.bottom - rec.outRect.top) * row_bytes);
            if (data == nullptr) {
                protocol_error(result, "the test host cannot allocate the output buffer");
                return;
            }
            copy_out_of(result->output, rec.outRect, rec.outLoPlane, rec.outHiPlane, data, row_bytes);
            rec.outData = data;
            rec.outRowBytes = row_bytes;
            b.out_row_bytes = row_bytes;
        }
    }

    rec.maskData = nullptr;
    rec.maskRowBytes = 0;
    if (!rect_empty(rec.maskRect)) {
        if (req.mask.empty()) {
            protocol_error(result, "maskRect " + rect_text(rec.maskRect) + " set for an image without a selection");
            b.mask_valid = false;
        } else if (!rect_inside(rec.maskRect, req.source)) {
            protocol_error(result, "maskRect " + rect_text(rec.maskRect) + " lies outside the image");
            b.mask_valid = false;
        } else {
            const int32_t row_bytes = rec.maskRect.right - rec.maskRect.left;
            if (!b.mask_valid || !same_rect(b.mask_rect, rec.maskRect)) {
                uint8_t* data = b.mask.allocate((size_t)(rec.maskRect.bottom - rec.maskRect.top) * row_bytes);
                if (data == nullptr) {
                    protocol_error(result, "the test host cannot allocate the mask buffer");
                    return;
                }
                for (int32_t y = rec.maskRect.top; y < rec.maskRect.bottom; ++y)
                    std::memcpy(data + (size_t)(y - rec.maskRect.top) * row_bytes,
                                &req.mask[(size_t)y * req.source.width + rec.maskRect.left], row_bytes);
                b.mask_valid = true;
                b.mask_rect = rec.maskRect;
            }
            rec.maskData = b.mask.data();
            rec.maskRowBytes = row_bytes;
        }
    } else {
        b.mask_valid = false;
    }
}

// --- driving a run -----------------------------------------------------------------------

struct host_run::buffers {
    run_context ctx;
};

host_run::host_run(plugin_host& host, const run_request& request)
    : host_(host), request_(request), buffers_(new buffers{run_context{&request, &result_, {}}})
{
    result_.output = request.source;
    const image& img = request.source;
    host_.reset_record();
    FilterRecord& rec = host_.record();
    Rect16 filter = request.filter_rect;
    if (filter.top == 0 && filter.left == 0 && filter.bottom == 0 && filter.right == 0)
        filter = Rect16{0, 0, (int16_t)img.height, (int16_t)img.width};
    rec.abortProc = filter_host::never_abort;
    rec.progressProc = request.with_progress ? filter_host::progress_proc : nullptr;
    rec.imageSize = Point16{(int16_t)img.height, (int16_t)img.width};
    rec.planes = (int16_t)img.planes;
    rec.filterRect = filter;
    rec.background = RGBColor16{0xFFFF, 0xFFFF, 0xFFFF};
    rec.foreground = RGBColor16{0, 0, 0};
    rec.maxSpace = request.max_space;
    rec.bufferSpace = request.max_space;
    rec.isFloating = request.is_floating ? 1 : 0;
    rec.haveMask = request.mask.empty() ? 0 : 1;
    const uint8_t white[4] = {255, 255, 255, 0}, black[4] = {0, 0, 0, 0};
    std::memcpy(rec.backColor, white, 4);
    std::memcpy(rec.foreColor, black, 4);
    rec.hostSig = 0x474C4D54;  // 'GLMT'
    rec.hostProc = nullptr;
    rec.imageMode = request.image_mode;
    rec.imageHRes = rec.imageVRes = 72 << 16;
    rec.floatCoord = Point16{0, 0};
    rec.wholeSize = rec.imageSize;
    std::memset(rec.monitor, 0, sizeof rec.monitor);
    rec.bufferProcs = rec.resourceProcs = rec.processEvent = nullptr;
    rec.displayPixels = request.with_display_pixels ? display_pixels_proc : nullptr;
    rec.handleProcs = nullptr;
    rec.supportsDummyChannels = rec.supportsAlternateLayouts = 0;
    rec.wantLayout = 0;
    rec.filterCase = request.filter_case != 0 ? request.filter_case
                     : request.is_floating     ? (int16_t)3
                     : request.mask.empty()    ? (int16_t)1
                                               : (int16_t)2;
    rec.dummyPlaneValue = -1;
    rec.premiereHook = nullptr;
    rec.advanceState = nullptr;

    if (!rect_inside(filter, img) || rect_empty(filter))
        result_.protocol_errors.push_back("run_request: filter rectangle " + rect_text(filter) +
                                          " is not in the image");
    host_.current_run_ = &result_;
}

host_run::~host_run()
{
    FilterRecord& rec = host_.record();
    rec.inData = rec.outData = rec.maskData = nullptr;
    if (host_.current_run_ == &result_) host_.current_run_ = nullptr;
    delete buffers_;
}

bool host_run::requests_pending() const
{
    const FilterRecord& rec = host_.record();
    return !rect_empty(rec.inRect) || !rect_empty(rec.outRect) || !rect_empty(rec.maskRect);
}

int16_t host_run::call(int16_t selector)
{
    FilterRecord& rec = host_.record();
    const bool continuing = selector == filterSelectorContinue;
    Rect16 out_rect = {};
    int16_t out_lo = 0, out_hi = 0;
    bool have_out = false;
    if (continuing) {
        supply(rec, buffers_->ctx);
        out_rect = rec.outRect;
        out_lo = rec.outLoPlane;
        out_hi = rec.outHiPlane;
        have_out = rec.outData != nullptr;
    }
    uint8_t before[sizeof(FilterRecord)];
    std::memcpy(before, &rec, sizeof rec);
    const int16_t r = host_.call(selector);
    host_.check_record_writes(before, &result_, selector);
    if (!host_.calls_.empty()) result_.calls.push_back(host_.calls_.back());
    if (r != 0 && result_.result == 0) {
        result_.result = r;
        result_.failed_selector = selector;
    }
    if (continuing) {
        ++result_.continue_calls;
        if (r == 0 && have_out)
            copy_into(&result_.output, out_rect, out_lo, out_hi, buffers_->ctx.buffers.out.data(),
                      buffers_->ctx.buffers.out_row_bytes);
    }
    if (selector == filterSelectorFinish) result_.finished = true;
    return r;
}

run_result plugin_host::run_filter(const run_request& request)
{
    run_result result;
    result.output = request.source;
    if (!loaded()) {
        result.protocol_errors.push_back("plug-in not loaded: " + load_error());
        return result;
    }
    const image& img = request.source;
    if (img.pixels.size() != (size_t)img.width * img.height * img.planes ||
        (!request.mask.empty() && request.mask.size() != (size_t)img.width * img.height)) {
        result.protocol_errors.push_back("run_request: pixel or mask size does not match the image");
        return result;
    }

    restore_params_for_run();
    {
        host_run run(*this, request);
        if (run.result().protocol_errors.empty()) {
            // The host drops the run (no finish) once it has made this many calls.
            auto dropped = [&] {
                return request.stop_after_calls > 0 && (int)run.result().calls.size() >= request.stop_after_calls;
            };
            auto step = [&](int16_t selector) { return dropped() ? (int16_t)-1 : run.call(selector); };
            bool go_on = true;
            if (request.menu_run) go_on = step(filterSelectorParameters) == 0;
            if (go_on) go_on = step(filterSelectorPrepare) == 0;
            if (go_on) go_on = step(filterSelectorStart) == 0;
            if (go_on) {
                while (!dropped() && run.requests_pending()) {
                    if (run.result().continue_calls >= request.max_continue_calls) {
                        protocol_error(&run.result(), "the plug-in still requests data after " +
                                                          std::to_string(run.result().continue_calls) +
                                                          " continue calls");
                        break;
                    }
                    if (step(filterSelectorContinue) != 0) break;
                }
                step(filterSelectorFinish);
            }
        }
        result = std::move(run.result());
    }
    save_params_after_run(result.finished && result.result == 0);
    return result;
}

}  // namespace testhost
