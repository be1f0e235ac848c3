#include "cli/drive.h"

#include <cstring>
#include <vector>

namespace {

bool rect_empty(const Rect16& r)
{
    return !(r.left < r.right && r.top < r.bottom);
}

bool rect_inside(const Rect16& r, const drive_request& q)
{
    return r.left >= 0 && r.top >= 0 && r.right <= q.width && r.bottom <= q.height;
}

bool planes_valid(int16_t lo, int16_t hi, const drive_request& q)
{
    return lo >= 0 && lo <= hi && hi < q.planes;
}

std::string rect_text(const char* name, const Rect16& r)
{
    return std::string(name) + " (top " + std::to_string(r.top) + ", left " + std::to_string(r.left) + ", bottom " +
           std::to_string(r.bottom) + ", right " + std::to_string(r.right) + ")";
}

// Planes lo..hi of a rectangle, packed into rows of (right - left) * n bytes.
void gather(const uint8_t* image, const drive_request& q, const Rect16& r, int16_t lo, int16_t hi,
            std::vector<uint8_t>* out)
{
    const int32_t n = hi - lo + 1, w = r.right - r.left;
    out->resize((size_t)w * (r.bottom - r.top) * n);
    uint8_t* d = out->data();
    for (int32_t y = r.top; y < r.bottom; y++)
        for (int32_t x = r.left; x < r.right; x++, d += n)
            std::memcpy(d, image + ((size_t)y * q.width + x) * q.planes + lo, n);
}

void scatter(uint8_t* image, const drive_request& q, const Rect16& r, int16_t lo, int16_t hi,
             const std::vector<uint8_t>& in)
{
    const int32_t n = hi - lo + 1;
    const uint8_t* s = in.data();
    for (int32_t y = r.top; y < r.bottom; y++)
        for (int32_t x = r.left; x < r.right; x++, s += n)
            std::memcpy(image + ((size_t)y * q.width + x) * q.planes + lo, s, n);
}

// Points the record's buffers at the requested rectangles.  False when a
// request lies outside the image.
bool supply(FilterRecord& rec, const drive_request& q, std::vector<uint8_t>* in_scratch,
            std::vector<uint8_t>* out_scratch, std::string* error)
{
    const int32_t stride = q.width * q.planes;
    rec.inData = rec.outData = rec.maskData = nullptr;
    rec.inRowBytes = rec.outRowBytes = rec.maskRowBytes = 0;
    if (!rect_empty(rec.inRect)) {
        if (!rect_inside(rec.inRect, q) || !planes_valid(rec.inLoPlane, rec.inHiPlane, q)) {
            *error = rect_text("inRect", rec.inRect) + " lies outside the image";
            return false;
        }
        if (rec.inHiPlane - rec.inLoPlane + 1 == q.planes) {
            rec.inData = (void*)(q.source + (size_t)rec.inRect.top * stride + (size_t)rec.inRect.left * q.planes);
            rec.inRowBytes = stride;
        } else {
            gather(q.source, q, rec.inRect, rec.inLoPlane, rec.inHiPlane, in_scratch);
            rec.inData = in_scratch->data();
            rec.inRowBytes = (rec.inRect.right - rec.inRect.left) * (rec.inHiPlane - rec.inLoPlane + 1);
        }
    }
    if (!rect_empty(rec.outRect)) {
        if (!rect_inside(rec.outRect, q) || !planes_valid(rec.outLoPlane, rec.outHiPlane, q)) {
            *error = rect_text("outRect", rec.outRect) + " lies outside the image";
            return false;
        }
        if (rec.outHiPlane - rec.outLoPlane + 1 == q.planes) {
            rec.outData = q.destination + (size_t)rec.outRect.top * stride + (size_t)rec.outRect.left * q.planes;
            rec.outRowBytes = stride;
        } else {
            gather(q.destination, q, rec.outRect, rec.outLoPlane, rec.outHiPlane, out_scratch);
            rec.outData = out_scratch->data();
            rec.outRowBytes = (rec.outRect.right - rec.outRect.left) * (rec.outHiPlane - rec.outLoPlane + 1);
        }
    }
    if (!rect_empty(rec.maskRect)) {
        if (q.mask == nullptr || !rect_inside(rec.maskRect, q)) {
            *error = rect_text("maskRect", rec.maskRect) +
                     (q.mask == nullptr ? " asked for an image without a selection" : " lies outside the image");
            return false;
        }
        rec.maskData = (void*)(q.mask + (size_t)rec.maskRect.top * q.width + rec.maskRect.left);
        rec.maskRowBytes = q.width;
    }
    return true;
}

void fill_record(FilterRecord& rec, const drive_request& q)
{
    rec.abortProc = filter_host::never_abort;
    rec.progressProc = q.progress;
    rec.imageSize = Point16{(int16_t)q.height, (int16_t)q.width};
    rec.planes = (int16_t)q.planes;
    rec.filterRect = Rect16{0, 0, (int16_t)q.height, (int16_t)q.width};
    rec.background = RGBColor16{0xFFFF, 0xFFFF, 0xFFFF};
    rec.foreground = RGBColor16{0, 0, 0};
    rec.maxSpace = q.max_space;
    rec.bufferSpace = q.max_space;
    rec.isFloating = q.is_floating ? 1 : 0;
    rec.haveMask = q.mask != nullptr ? 1 : 0;
    const uint8_t white[4] = {255, 255, 255, 0}, black[4] = {0, 0, 0, 0};
    std::memcpy(rec.backColor, white, 4);
    std::memcpy(rec.foreColor, black, 4);
    rec.hostSig = 0x474C4D48;  // 'GLMH'
    rec.imageMode = q.image_mode;
    rec.imageHRes = rec.imageVRes = 72 << 16;
    rec.floatCoord = Point16{0, 0};
    rec.wholeSize = rec.imageSize;
    rec.filterCase = q.filter_case;
    rec.dummyPlaneValue = -1;
}

}  // namespace

drive_result drive_run(filter_host::plugin_host* host, const drive_request& q)
{
    drive_result out;
    // Every field this host does not fill reads as zero.
    host->reset_record(0);
    FilterRecord& rec = host->record();
    fill_record(rec, q);

    auto step = [&](int16_t selector) {
        int16_t r = host->call(selector);
        if (r != 0 && out.result == 0) {
            out.result = r;
            out.failed_selector = selector;
        }
        return r == 0;
    };

    bool go_on = true;
    if (q.menu_run) go_on = step(filterSelectorParameters);
    if (go_on) go_on = step(filterSelectorPrepare);
    if (go_on) go_on = step(filterSelectorStart);
    if (!go_on) return out;

    std::vector<uint8_t> in_scratch, out_scratch;
    while (!rect_empty(rec.inRect) || !rect_empty(rec.outRect) || !rect_empty(rec.maskRect)) {
        if (!supply(rec, q, &in_scratch, &out_scratch, &out.protocol_error)) break;
        const Rect16 out_rect = rec.outRect;
        const int16_t out_lo = rec.outLoPlane, out_hi = rec.outHiPlane;
        const bool scattered = rec.outData == out_scratch.data() && rec.outData != nullptr;
        if (!step(filterSelectorContinue)) break;
        if (scattered) scatter(q.destination, q, out_rect, out_lo, out_hi, out_scratch);
    }
    step(filterSelectorFinish);
    out.finished = true;
    rec.inData = rec.outData = rec.maskData = nullptr;
    return out;
}

std::unique_ptr<filter_host::plugin_host> plugin_driver::load(const std::string& path,
                                                              const std::string& entry_name) const
{
    return std::unique_ptr<filter_host::plugin_host>(new filter_host::plugin_host(path, entry_name));
}

drive_result plugin_driver::run(filter_host::plugin_host& host, const drive_request& request) const
{
    return drive_run(&host, request);
}
