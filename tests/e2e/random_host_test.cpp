// A random host: seeded sessions of whole runs and of calls in any order
// (unknown selectors, continue before start, finish twice, unloading in the
// middle of a run), on images of every size, mode and layout a host may
// hand over and some it should not, with random stored parameters, memory
// budgets and missing callbacks.  Whatever comes, the plug-in must not crash,
// must write only the record fields it owns, must request nothing outside
// the filter rectangle, and must hold nothing once a run is finished or the
// module unloaded.
//
// Each session has its own seed, the base seed plus its number.  A failing
// session (or the one running when the process crashes or hangs) prints its
// seed, its steps and how to replay it alone:
//   GLIMMORA_RANDOM_SEED=<seed> GLIMMORA_RANDOM_SESSIONS=1 ctest -R wine.e2e.RandomHost
// The defaults are a fixed base seed and 300 sessions.  With
// GLIMMORA_RANDOM_TRACE=1 every call is printed with the rectangles it left.
#include <cinttypes>
#include <cstdio>
#include <random>
#include <sstream>

#include "e2e_support.h"
#include "resource.h"

using testhost::host_run;
using testhost::plugin_host;
using testhost::run_request;

namespace {

const uint64_t default_base_seed = 0x676C6D72'00000001ull;
const int default_sessions = 300;

// --- what a session does ----------------------------------------------------------------

enum class step_kind {
    call,          // one call of `selector` with the FilterRecord
    run_out,       // continue calls while any rectangle is requested (at most `count`)
    about,         // the about selector with the host's AboutRecord
    reload,        // unload the module and load it again
    new_params,    // the host replaces the parameters handle with `bytes` (empty: none)
    button,        // the dialog, if one comes, is ended with this button
    script,        // the dialog, if one comes, gets `text` in edit field `selector`, Preview, then `count`
};

struct step {
    explicit step(step_kind k, int n = IDOK) : kind(k), count(n) {}
    step_kind kind;
    int16_t selector = 0;
    int count;
    std::vector<uint8_t> bytes;
    std::string text;
};

enum class params_kind { none, global, heap };

struct session {
    uint64_t seed = 0;
    testhost::image source;
    int16_t mode = plugInModeRGBColor;
    Rect16 filter = {};
    int32_t padding = 0;
    std::vector<uint8_t> mask;
    bool floating = false;
    int32_t max_space = 0;
    bool progress = true, display = false, platform = true;
    params_kind params = params_kind::none;
    std::vector<uint8_t> param_bytes;
    std::vector<step> steps;
};

std::string hex(const std::vector<uint8_t>& b)
{
    std::string s;
    char two[4];
    for (uint8_t v : b) {
        std::snprintf(two, sizeof two, "%02x", v);
        s += two;
    }
    return s.empty() ? "(none)" : s;
}

std::string describe(const session& s)
{
    std::ostringstream o;
    o << "image " << s.source.width << "x" << s.source.height << "x" << s.source.planes << " mode " << s.mode
      << " filter (" << s.filter.top << "," << s.filter.left << "," << s.filter.bottom << "," << s.filter.right
      << ") padding " << s.padding << (s.mask.empty() ? " no mask" : " mask") << (s.floating ? " floating" : "")
      << " maxSpace " << s.max_space << (s.progress ? "" : " no-progressProc")
      << (s.display ? " displayPixels" : "") << (s.platform ? "" : " no-platformData") << "\n  params "
      << (s.params == params_kind::none ? "none" : s.params == params_kind::heap ? "heap " : "global ")
      << (s.params == params_kind::none ? "" : hex(s.param_bytes)) << "\n  steps:";
    for (const step& st : s.steps) {
        switch (st.kind) {
        case step_kind::call: o << " " << st.selector; break;
        case step_kind::run_out: o << " 4*"; break;
        case step_kind::about: o << " about"; break;
        case step_kind::reload: o << " reload"; break;
        case step_kind::new_params: o << " params=" << hex(st.bytes); break;
        case step_kind::button: o << " button=" << st.count; break;
        case step_kind::script: o << " script(" << st.selector << ",'" << st.text << "'," << st.count << ")"; break;
        }
    }
    return o.str();
}

// --- making sessions ----------------------------------------------------------------------

class generator {
public:
    explicit generator(uint64_t seed) : rng_(seed) {}

    int range(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return range(0, 99) < percent; }
    uint8_t byte() { return (uint8_t)range(0, 255); }

    session make(uint64_t seed)
    {
        session s;
        s.seed = seed;
        // Modes the plug-in lists, modes it does not, and values no mode has.
        static const int16_t modes[] = {1, 1, 3, 3, 3, 3, 4, 4, 7, 8, 0, 2, 5, 6, 9, 9, 10, 11, 12, 15, -1, 100, 32767, -32768};
        s.mode = modes[range(0, (int)(sizeof modes / sizeof modes[0]) - 1)];
        int planes = s.mode == 1 || s.mode == 7 || s.mode == 8 || s.mode == 0 || s.mode == 2 ? 1
                     : s.mode == 4                                                          ? 4
                                                                                            : 3;
        if (chance(15)) planes = range(1, 5);  // alpha, or a layout that fits no mode
        // Mostly small images; some of a few hundred pixels.
        const int side = chance(80) ? 40 : 300;
        const int width = range(1, side), height = range(1, side);
        s.source = testhost::make_test_image(width, height, planes);
        for (uint8_t& b : s.source.pixels)
            if (chance(3)) b = byte();
        s.filter = Rect16{0, 0, (int16_t)height, (int16_t)width};
        if (chance(40)) {
            const int top = range(0, height - 1), left = range(0, width - 1);
            s.filter = Rect16{(int16_t)top, (int16_t)left, (int16_t)range(top + 1, height),
                              (int16_t)range(left + 1, width)};
        }
        s.padding = chance(30) ? range(1, 9) : 0;
        if (chance(45)) {
            s.mask.resize((size_t)width * height);
            const int kind = range(0, 3);
            for (size_t i = 0; i < s.mask.size(); ++i)
                s.mask[i] = kind == 0 ? 255 : kind == 1 ? 0 : kind == 2 ? (chance(50) ? 255 : 0) : byte();
            s.floating = chance(20);
        }
        switch (range(0, 5)) {
        case 0: s.max_space = -range(1, 1 << 30); break;
        case 1: s.max_space = range(0, 40000); break;
        case 2: s.max_space = range(0, 1 << 20); break;
        case 3: s.max_space = INT32_MAX; break;
        default: s.max_space = range(1 << 20, INT32_MAX); break;
        }
        s.progress = chance(80);
        s.display = chance(40);
        s.platform = chance(90);
        const int params = range(0, 9);
        if (params >= 2) {
            s.params = params == 9 ? params_kind::heap : params_kind::global;
            s.param_bytes = record_bytes_like();
        }
        make_steps(&s);
        return s;
    }

private:
    // 0 to 64 random bytes, or a 20-byte record of random values.
    std::vector<uint8_t> record_bytes_like()
    {
        std::vector<uint8_t> b;
        if (chance(50)) {
            b.resize((size_t)range(0, 64));
            for (uint8_t& v : b) v = byte();
            return b;
        }
        b = default_params();
        for (int field = 0; field < 8; ++field) {
            if (!chance(40)) continue;
            const int16_t v = chance(50) ? (int16_t)range(-200, 400) : (int16_t)range(-32768, 32767);
            b[field * 2] = (uint8_t)(v & 0xff);
            b[field * 2 + 1] = (uint8_t)((v >> 8) & 0xff);
        }
        b[16] = (uint8_t)(chance(75) ? 0 : chance(80) ? 1 : byte());
        return b;
    }

    void dialog_choice(session* s)
    {
        if (chance(25)) {
            step st(step_kind::button);
            st.count = chance(50) ? IDOK : IDCANCEL;
            s->steps.push_back(st);
        }
        if (chance(10)) {
            static const int16_t edits[] = {IDC_SPOKES_EDIT, IDC_ANGLE_EDIT,  IDC_THICKNESS_EDIT,
                                            IDC_INTENSITY_EDIT, IDC_RADIUS_EDIT, IDC_LENGTH_EDIT};
            step st(step_kind::script);
            st.selector = edits[range(0, 5)];
            static const char* texts[] = {"", "0", "1", "-1", "2", "50", "100", "101", "360", "999", "x", "65535"};
            st.text = texts[range(0, 11)];
            st.count = chance(70) ? IDOK : IDCANCEL;
            s->steps.push_back(st);
        }
    }

    void call(session* s, int16_t selector)
    {
        step st(step_kind::call);
        st.selector = selector;
        s->steps.push_back(st);
    }

    // Something a host should not do, or does rarely.
    void oddity(session* s)
    {
        switch (range(0, 9)) {
        case 0: {
            static const int16_t unknown[] = {6, 7, -1, 100, 255, 32767, -32768};
            call(s, unknown[range(0, 6)]);
            break;
        }
        case 1: call(s, filterSelectorContinue); break;
        case 2: call(s, filterSelectorFinish); break;
        case 3: call(s, filterSelectorStart); break;
        case 4: call(s, filterSelectorPrepare); break;
        case 5: call(s, filterSelectorParameters); break;
        case 6: s->steps.push_back(step(step_kind::about)); break;
        case 7: s->steps.push_back(step(step_kind::reload)); break;
        case 8: {
            step st(step_kind::new_params);
            if (chance(80)) st.bytes = record_bytes_like();
            s->steps.push_back(st);
            break;
        }
        default: {
            step st(step_kind::run_out);
            st.count = range(1, 6);
            s->steps.push_back(st);
            break;
        }
        }
    }

    void make_steps(session* s)
    {
        // A dialog costs a Wine program a good part of a second, so most runs
        // are repeat runs.
        const int runs = chance(55) ? 1 : chance(75) ? 2 : 3;
        for (int run = 0; run < runs; ++run) {
            if (chance(30)) oddity(s);
            dialog_choice(s);
            if (chance(30)) call(s, filterSelectorParameters);
            if (chance(10)) oddity(s);
            if (chance(95)) call(s, filterSelectorPrepare);
            if (chance(10)) oddity(s);
            call(s, filterSelectorStart);
            if (chance(20)) oddity(s);
            step out{step_kind::run_out};
            out.count = chance(85) ? 100000 : range(1, 40);  // sometimes only part of the run
            s->steps.push_back(out);
            if (chance(15)) oddity(s);
            if (chance(90)) call(s, filterSelectorFinish);
            if (chance(10)) call(s, filterSelectorFinish);
        }
        if (chance(20)) oddity(s);
    }

    std::mt19937_64 rng_;
};

uint64_t environment_number(const char* name, uint64_t fallback)
{
    char text[64] = {};
    DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
    if (n == 0 || n >= sizeof text) return fallback;
    return std::strtoull(text, nullptr, 0);
}

// --- running a session ------------------------------------------------------------------------

bool inside(const Rect16& r, const Rect16& filter)
{
    const bool empty = !(r.left < r.right && r.top < r.bottom);
    return empty || (r.top >= filter.top && r.left >= filter.left && r.bottom <= filter.bottom && r.right <= filter.right);
}

// What the sessions did, printed at the end so a change that makes them
// stop reaching the dialog or the apply phase is seen.
struct coverage {
    int calls = 0, started = 0, failed_starts = 0, dialogs = 0, rows = 0, reloads = 0;
};

class session_runner {
public:
    session_runner(const session& s, coverage* seen) : s_(s), seen_(seen) {}

    std::vector<std::string> run()
    {
        plugin_host host(plugin_path());
        if (!host.loaded()) return {"cannot load the plug-in: " + host.load_error()};
        host_ = &host;
        host.set_call_timeout_ms(20000);
        run_request request;
        request.source = s_.source;
        request.image_mode = s_.mode;
        request.filter_rect = s_.filter;
        request.in_row_padding = s_.padding;
        request.mask = s_.mask;
        request.is_floating = s_.floating;
        request.max_space = s_.max_space;
        request.with_progress = s_.progress;
        request.with_display_pixels = s_.display;
        {
            host_run run(host, request);
            run_ = &run;
            if (!s_.platform) host.record().platformData = nullptr;
            set_params(s_.params, s_.param_bytes);
            perform(step(step_kind::button));
            for (const step& st : s_.steps) perform(st);
            for (const filter_host::dialog_seen& d : host.dialogs()) seen_->dialogs += d.plugin_dialog ? 1 : 0;
            unload("at the end");
            run_ = nullptr;
            // Global blocks live on the process heap: a write past one of
            // them shows here, if nowhere else.
            if (!HeapValidate(GetProcessHeap(), 0, nullptr)) fault("the process heap is damaged");
            for (const std::string& e : run.result().protocol_errors)
                if (e.find("host-owned") != std::string::npos || e.find("replaced the host") != std::string::npos ||
                    e.find("without a selection") != std::string::npos)
                    fault(e);
        }
        drop_params();
        return faults_;
    }

private:
    void fault(const std::string& what)
    {
        for (const std::string& seen : faults_)
            if (seen == what) return;
        faults_.push_back(what);
    }

    void set_params(params_kind kind, const std::vector<uint8_t>& bytes)
    {
        drop_params();
        if (kind == params_kind::global) host_->set_params(bytes);
        if (kind == params_kind::heap) {
            heap_block_ = HeapAlloc(GetProcessHeap(), 0, bytes.empty() ? 1 : bytes.size());
            if (!bytes.empty()) std::memcpy(heap_block_, bytes.data(), bytes.size());
            host_->record().parameters = heap_block_;
        }
    }

    void drop_params()
    {
        if (heap_block_ != nullptr) {
            if (host_->record().parameters == heap_block_) host_->record().parameters = nullptr;
            HeapFree(GetProcessHeap(), 0, heap_block_);
            heap_block_ = nullptr;
        }
        host_->free_params();
    }

    void check_nothing_held(const std::string& when, HMODULE module)
    {
        std::string held;
        if (host_->live_blocks() != 0) held += " blocks";
        if (host_->live_gdi_objects() != 0) held += " GDI objects";
        if (class_registered(module, "big_view") || class_registered(module, "small_view")) held += " classes";
        if (!held.empty()) fault("held" + held + " " + when);
        if (host_->counts().foreign_frees != 0) fault("freed something it did not make");
    }

    void unload(const std::string& when)
    {
        const HMODULE module = host_->module();
        host_->unload();
        check_nothing_held("after unloading " + when, module);
    }

    int16_t call(int16_t selector)
    {
        const int16_t r = run_->call(selector);
        if (trace_) {
            const FilterRecord& t = host_->record();
            std::printf("  call %d -> %d  in (%d,%d,%d,%d) out (%d,%d,%d,%d) mask (%d,%d,%d,%d) planes %d..%d\n",
                        selector, r, t.inRect.top, t.inRect.left, t.inRect.bottom, t.inRect.right, t.outRect.top,
                        t.outRect.left, t.outRect.bottom, t.outRect.right, t.maskRect.top, t.maskRect.left,
                        t.maskRect.bottom, t.maskRect.right, t.inLoPlane, t.inHiPlane);
        }
        if (r == plugin_host::result_not_written) fault("selector " + std::to_string(selector) + " wrote no result");
        else if (r != noErr && r != userCancelledOwnMessage && r != memFullErr && r != filterBadParameters)
            fault("selector " + std::to_string(selector) + " returned " + std::to_string(r));
        ++seen_->calls;
        if (selector == filterSelectorStart) ++(r == noErr ? seen_->started : seen_->failed_starts);
        if (selector == filterSelectorContinue && r == noErr && !run_->result().calls.empty() &&
            !run_->result().calls.back().progress.empty())
            ++seen_->rows;
        if (host_->data() != 0) fault("selector " + std::to_string(selector) + " wrote the host's data slot");
        const FilterRecord& rec = host_->record();
        if (!inside(rec.inRect, s_.filter) || !inside(rec.outRect, s_.filter) || !inside(rec.maskRect, s_.filter))
            fault("selector " + std::to_string(selector) + " requested outside the filter rectangle");
        if (selector == filterSelectorFinish) check_nothing_held("after finish", host_->module());
        if (selector == filterSelectorStart && r != noErr) check_nothing_held("after a failed start", host_->module());
        return r;
    }

    void perform(const step& st)
    {
        switch (st.kind) {
        case step_kind::call: call(st.selector); break;
        case step_kind::run_out: {
            // A started run asks for at most its mask rows (512), its working
            // rows and its filter rows.
            const int most = 512 + 2 * (s_.filter.bottom - s_.filter.top) + 8;
            int n = 0;
            while (run_->requests_pending() && n < st.count) {
                if (n++ > most) {
                    fault("still requesting after " + std::to_string(most) + " continue calls");
                    break;
                }
                if (call(filterSelectorContinue) != noErr) break;
            }
            break;
        }
        case step_kind::about: {
            const AboutRecord before = host_->about_record();
            if (host_->about() != noErr) fault("about failed");
            if (std::memcmp(&before.reserved, &host_->about_record().reserved, sizeof before.reserved) != 0)
                fault("about wrote the AboutRecord");
            break;
        }
        case step_kind::reload:
            ++seen_->reloads;
            unload("in the middle");
            if (!host_->load()) fault("cannot load the plug-in again: " + host_->load_error());
            break;
        case step_kind::new_params: set_params(st.bytes.empty() ? params_kind::none : params_kind::global, st.bytes); break;
        case step_kind::button: {
            // OK refuses values out of range (a stored record may hold any);
            // a user then gives up with Cancel.
            const int button = st.count;
            host_->set_dialog_script([button](HWND dialog) {
                filter_host::click(dialog, button);
                if (IsWindowVisible(dialog)) filter_host::click(dialog, IDCANCEL);
            });
            break;
        }
        case step_kind::script: {
            const int16_t edit = st.selector;
            const std::string text = st.text;
            const int button = st.count;
            host_->set_dialog_script([edit, text, button](HWND dialog) {
                filter_host::set_item_text(dialog, edit, text);
                filter_host::click(dialog, IDC_PREVIEW);
                filter_host::pump_messages(0, dialog);
                filter_host::click(dialog, button);
                // OK refuses invalid values; Cancel always ends.
                if (IsWindowVisible(dialog)) filter_host::click(dialog, IDCANCEL);
            });
            break;
        }
        }
    }

    const session& s_;
    coverage* seen_;
    const bool trace_ = environment_number("GLIMMORA_RANDOM_TRACE", 0) != 0;
    plugin_host* host_ = nullptr;
    host_run* run_ = nullptr;
    void* heap_block_ = nullptr;
    std::vector<std::string> faults_;
};

}  // namespace

TEST(RandomHost, Sessions)
{
    const uint64_t base = environment_number("GLIMMORA_RANDOM_SEED", default_base_seed);
    const int sessions = (int)environment_number("GLIMMORA_RANDOM_SESSIONS", default_sessions);
    std::printf("random host: %d sessions from seed 0x%" PRIx64 "\n", sessions, base);
    int failed = 0;
    coverage seen;
    for (int i = 0; i < sessions; ++i) {
        const uint64_t seed = base + (uint64_t)i;
        generator g(seed);
        const session s = g.make(seed);
        char head[200];
        std::snprintf(head, sizeof head,
                      "random host session 0x%" PRIx64 "; replay it alone with GLIMMORA_RANDOM_SEED=0x%" PRIx64
                      " GLIMMORA_RANDOM_SESSIONS=1 ctest -R wine.e2e.RandomHost\n  ",
                      seed, seed);
        const std::string text = head + describe(s);
        filter_host::set_crash_note(text);
        const std::vector<std::string> faults = session_runner(s, &seen).run();
        if (!faults.empty()) {
            ++failed;
            std::string list;
            for (const std::string& f : faults) list += "\n  - " + f;
            ADD_FAILURE() << text << list;
            if (failed >= 5) break;  // enough to go on with
        }
    }
    filter_host::set_crash_note("");
    std::printf("random host: %d calls, %d starts (%d failed), %d dialogs, %d rows shaded with progress, %d reloads\n",
                seen.calls, seen.started + seen.failed_starts, seen.failed_starts, seen.dialogs, seen.rows,
                seen.reloads);
}
