// plugin_host: loading the plug-in, the host's records and window, single
// entry calls, the parameters handle, and the callbacks in the record.
#include "filter_host/plugin_host.h"

#include <cstring>

#include "filter_host/internal.h"
#include "filter_host/process.h"

namespace filter_host {

thread_local plugin_host* current_host = nullptr;
volatile LONG current_selector = no_call;

ps_boolean never_abort()
{
    return 0;
}

void progress_proc(int32_t done, int32_t total)
{
    if (current_host != nullptr) current_host->on_progress(done, total);
}

plugin_host* plugin_host::on_this_thread()
{
    return current_host;
}

static const char host_window_class[] = "glimmora_filter_host";

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
    return CreateWindowExA(0, host_window_class, "Glimmora host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
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
    module_changed();
    entry_ = (PluginEntryProc)(void*)GetProcAddress(module_, entry_name_.c_str());
    if (entry_ == nullptr) load_error_ = "no " + entry_name_ + " export in " + path;
    return loaded();
}

void plugin_host::unload()
{
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
    entry_ = nullptr;
    module_changed();
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
    boxes_.clear();
    dialogs_.clear();
    calls_made_ = 0;
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

int16_t plugin_host::invoke(int16_t selector, void* record)
{
    int16_t result = result_not_written;
    if (entry_ == nullptr) return result;
    const int previous_call = current_call_;
    current_call_ = calls_made_++;
    const LONG previous_selector = InterlockedExchange(&current_selector, selector);
    call_entry(selector, record, &result);
    InterlockedExchange(&current_selector, previous_selector);
    current_call_ = previous_call;
    return result;
}

void plugin_host::call_entry(int16_t selector, void* record, int16_t* result)
{
    entry_(selector, record, &data_, result);
}

void plugin_host::on_progress(int32_t done, int32_t total)
{
    if (progress_listener_) progress_listener_(done, total);
}

// --- the parameters handle -------------------------------------------------------

std::vector<uint8_t> plugin_host::params_bytes() const
{
    std::vector<uint8_t> bytes;
    Handle h = record_.parameters;
    if (h == nullptr) return bytes;
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
    if (record_.parameters != nullptr) GlobalFree((HGLOBAL)record_.parameters);
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

}  // namespace filter_host
