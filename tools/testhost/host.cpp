// plugin_host: loading the plug-in, the host's records and window, single
// entry calls with their log, the parameters handle, and the watchdog.
#include <cstring>

#include "testhost.h"
#include "testhost_internal.h"

namespace testhost {

thread_local plugin_host* current_host = nullptr;
volatile LONG current_selector = no_call;

static const char host_window_class[] = "glimmora_test_host";

static LRESULT CALLBACK host_window_procedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    return DefWindowProcA(window, message, w, l);
}

static HWND create_host_window()
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    if (!GetClassInfoA(instance, host_window_class, &wc)) {
        wc = WNDCLASSA{};
        wc.lpfnWndProc = host_window_procedure;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        wc.lpszClassName = host_window_class;
        if (RegisterClassA(&wc) == 0) return nullptr;
    }
    // A real top-level window, never shown: it owns everything the plug-in
    // opens, as the host's main window does.
    return CreateWindowExA(0, host_window_class, "Glimmora test host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                           nullptr, nullptr, instance, nullptr);
}

plugin_host::plugin_host(const std::string& plugin_path, const std::string& entry_name)
    : plugin_path_(plugin_path), entry_name_(entry_name)
{
    std::memset(&record_, 0, sizeof record_);
    std::memset(&about_, 0, sizeof about_);
    platform_.hwnd = nullptr;
    if (current_host != nullptr) {
        load_error_ = "another plugin_host is alive on this thread";
        return;
    }
    current_host = this;
    window_ = create_host_window();
    platform_.hwnd = window_;
    hook_ = install_window_hook();
    if (window_ == nullptr || hook_ == nullptr) {
        load_error_ = "cannot create the host window or the window hook";
        return;
    }
    if (load()) reset_record();
}

plugin_host::~plugin_host()
{
    free_params();
    if (module_ != nullptr) FreeLibrary(module_);
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    if (window_ != nullptr) DestroyWindow(window_);
    if (current_host == this) current_host = nullptr;
}

bool plugin_host::load()
{
    if (module_ != nullptr) return loaded();
    load_error_.clear();
    std::string path = windows_path(plugin_path_);
    module_ = LoadLibraryA(path.c_str());
    if (module_ == nullptr) {
        load_error_ = "LoadLibrary(" + path + ") failed, error " + std::to_string(GetLastError());
        return false;
    }
    imports_redirected_ = redirect_imports(module_);
    entry_ = (PluginEntryProc)(void*)GetProcAddress(module_, entry_name_.c_str());
    if (entry_ == nullptr) load_error_ = "no " + entry_name_ + " export in " + path;
    return loaded();
}

void plugin_host::unload()
{
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
    entry_ = nullptr;
    imports_redirected_ = false;
}

void plugin_host::reset_record(uint8_t sentinel)
{
    Handle keep = record_.parameters;
    std::memset(&record_, sentinel, sizeof record_);
    record_.serialNumber = 0;
    record_.abortProc = nullptr;
    record_.progressProc = nullptr;
    record_.parameters = keep;
    record_.imageSize = Point16{0, 0};
    record_.planes = 0;
    record_.filterRect = Rect16{0, 0, 0, 0};
    record_.maxSpace = 0;
    record_.bufferSpace = 0;
    record_.inRect = record_.outRect = record_.maskRect = Rect16{0, 0, 0, 0};
    record_.inLoPlane = record_.inHiPlane = record_.outLoPlane = record_.outHiPlane = 0;
    record_.inData = record_.outData = record_.maskData = nullptr;
    record_.inRowBytes = record_.outRowBytes = record_.maskRowBytes = 0;
    record_.isFloating = record_.haveMask = record_.autoMask = 0;
    record_.imageMode = plugInModeRGBColor;
    record_.platformData = &platform_;
    record_.displayPixels = nullptr;
    std::memset(&about_, 0, sizeof about_);
    about_.platformData = &platform_;
}

void plugin_host::clear_log()
{
    calls_.clear();
    boxes_.clear();
    dialogs_.clear();
}

int16_t plugin_host::call(int16_t selector)
{
    return invoke(selector, &record_);
}

int16_t plugin_host::call_with(int16_t selector, void* record)
{
    return invoke(selector, record);
}

int16_t plugin_host::about(bool with_platform_data)
{
    about_.platformData = with_platform_data ? &platform_ : nullptr;
    return invoke(filterSelectorAbout, &about_);
}

// The watchdog: one thread for the whole process that looks at the call in
// progress a few times a second.  A call only writes down when it began and
// how long it may take, which costs next to nothing, so runs of thousands of
// calls stay fast.
static volatile LONG watched_call = 0;  // 1 while a call with a time limit runs
static volatile LONG watched_selector = 0;
static volatile DWORD watched_begin = 0, watched_limit = 0;

static DWORD WINAPI watchdog_thread(void*)
{
    for (;;) {
        Sleep(200);
        if (watched_call == 0 || GetTickCount() - watched_begin <= watched_limit) continue;
        char line[160];
        wsprintfA(line, "testhost: plug-in call (selector %d) did not return in time; ending the process\r\n",
                  (int)watched_selector);
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, lstrlenA(line), &written, nullptr);
        const char* note = crash_note_text();
        if (note[0] != '\0') {
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), note, lstrlenA(note), &written, nullptr);
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), "\r\n", 2, &written, nullptr);
        }
        TerminateProcess(GetCurrentProcess(), 4);
    }
}

static void watch_call(int16_t selector, DWORD limit_ms)
{
    static HANDLE thread = nullptr;
    if (thread == nullptr) thread = CreateThread(nullptr, 0, watchdog_thread, nullptr, 0, nullptr);
    watched_selector = selector;
    watched_limit = limit_ms;
    watched_begin = GetTickCount();
    InterlockedExchange(&watched_call, 1);
}

int16_t plugin_host::invoke(int16_t selector, void* record)
{
    call_record entry;
    entry.selector = selector;
    entry.result = result_not_written;
    if (entry_ == nullptr) return entry.result;
    calls_.push_back(entry);
    const int index = (int)calls_.size() - 1;
    const int previous_call = current_call_;
    current_call_ = index;
    const LONG previous_selector = InterlockedExchange(&current_selector, selector);

    const LONG outer_watch = watched_call;
    if (call_timeout_ms_ != 0) watch_call(selector, call_timeout_ms_);
    int16_t result = result_not_written;
    intptr_t* data = &data_;
    DWORD begin = GetTickCount();
    entry_(selector, record, data, &result);
    DWORD elapsed = GetTickCount() - begin;
    if (call_timeout_ms_ != 0) InterlockedExchange(&watched_call, outer_watch);

    InterlockedExchange(&current_selector, previous_selector);
    current_call_ = previous_call;
    call_record& done = calls_[index];
    done.result = result;
    done.milliseconds = elapsed;
    if (record == &record_) {
        done.in_rect = record_.inRect;
        done.out_rect = record_.outRect;
        done.mask_rect = record_.maskRect;
        done.in_lo_plane = record_.inLoPlane;
        done.in_hi_plane = record_.inHiPlane;
        done.out_lo_plane = record_.outLoPlane;
        done.out_hi_plane = record_.outHiPlane;
    }
    return result;
}

void plugin_host::on_progress(int32_t done, int32_t total)
{
    if (current_call_ >= 0) calls_[current_call_].progress.emplace_back(done, total);
    if (current_run_ != nullptr) current_run_->progress.emplace_back(done, total);
    if (progress_listener_) progress_listener_(done, total);
}

void plugin_host::on_display(const PSPixelMap* source, const VRect* rect, int32_t row, int32_t col,
                             void* context)
{
    if (current_run_ == nullptr) return;
    display_call d;
    if (source != nullptr) d.map = *source;
    if (rect != nullptr) d.src_rect = *rect;
    d.dst_row = row;
    d.dst_col = col;
    d.have_context = context != nullptr;
    if (source != nullptr && rect != nullptr && source->baseAddr != nullptr && source->rowBytes > 0 &&
        rect->bottom > rect->top && rect->bottom - rect->top <= 4096) {
        const uint8_t* base = static_cast<const uint8_t*>(source->baseAddr);
        size_t bytes = (size_t)source->rowBytes * (size_t)(rect->bottom - rect->top);
        d.pixels.assign(base + (size_t)source->rowBytes * rect->top, base + (size_t)source->rowBytes * rect->top + bytes);
    }
    current_run_->display_calls.push_back(d);
}

// --- the parameters handle -------------------------------------------------------

std::vector<uint8_t> plugin_host::params_bytes() const
{
    std::vector<uint8_t> bytes;
    Handle h = record_.parameters;
    if (h == nullptr) return bytes;
    if (params_on_heap()) {
        SIZE_T n = HeapSize(GetProcessHeap(), 0, h);
        if (n == (SIZE_T)-1) return bytes;
        bytes.assign((const uint8_t*)h, (const uint8_t*)h + n);
        return bytes;
    }
    SIZE_T n = GlobalSize((HGLOBAL)h);
    void* p = GlobalLock((HGLOBAL)h);
    if (p != nullptr) {
        bytes.assign((const uint8_t*)p, (const uint8_t*)p + n);
        GlobalUnlock((HGLOBAL)h);
    }
    return bytes;
}

void plugin_host::free_params()
{
    Handle h = record_.parameters;
    if (h != nullptr && !params_on_heap()) {
        note_block(h, false, false);  // the plug-in may have made it; it is gone either way
        GlobalFree((HGLOBAL)h);
    }
    // Our own copy is freed even when the plug-in swapped it for another block.
    if (heap_params_ != nullptr) HeapFree(GetProcessHeap(), 0, heap_params_);
    heap_params_ = nullptr;
    record_.parameters = nullptr;
}

void plugin_host::set_params(const std::vector<uint8_t>& bytes)
{
    free_params();
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size());
    if (h == nullptr) return;
    void* p = GlobalLock(h);
    if (p != nullptr && !bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(h);
    record_.parameters = h;
}

void plugin_host::restore_params_for_run()
{
    if (params_mode_ != params_mode::copy_to_heap) return;
    free_params();
    if (saved_params_.empty()) return;
    void* block = HeapAlloc(GetProcessHeap(), 0, saved_params_.size());
    if (block == nullptr) return;
    std::memcpy(block, saved_params_.data(), saved_params_.size());
    record_.parameters = block;
    heap_params_ = block;
}

void plugin_host::save_params_after_run(bool success)
{
    if (params_mode_ != params_mode::copy_to_heap) return;
    if (success && record_.parameters != nullptr) saved_params_ = params_bytes();
    free_params();
}

}  // namespace testhost
