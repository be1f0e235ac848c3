// The test host's additions to plugin_host: the call log, the watchdog, the
// progress and display records of a run, and parameters kept on the heap.
#include <cstring>

#include "testhost.h"
#include "testhost_internal.h"

namespace testhost {

thread_local plugin_host* current_host = nullptr;

plugin_host::plugin_host(const std::string& plugin_path, const std::string& entry_name)
    : filter_host::plugin_host(plugin_path, entry_name)
{
    if (on_this_thread() != this) return;  // another host is alive on this thread
    current_host = this;
    // The filter host loaded the module before this part of the object
    // existed: its imports are redirected now, before any call.
    module_changed();
}

plugin_host::~plugin_host()
{
    // Parameters on the heap are this class's to free, before the filter
    // host frees the rest.
    free_params();
    if (current_host == this) current_host = nullptr;
}

void plugin_host::module_changed()
{
    imports_redirected_ = module() != nullptr && redirect_imports(module());
}

void plugin_host::clear_log()
{
    filter_host::plugin_host::clear_log();
    calls_.clear();
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
        const char* note = filter_host::crash_note();
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

void plugin_host::call_entry(int16_t selector, void* record, int16_t* result)
{
    call_record entry;
    entry.selector = selector;
    entry.result = result_not_written;
    calls_.push_back(entry);
    const int index = (int)calls_.size() - 1;

    const LONG outer_watch = watched_call;
    if (call_timeout_ms_ != 0) watch_call(selector, call_timeout_ms_);
    DWORD begin = GetTickCount();
    filter_host::plugin_host::call_entry(selector, record, result);
    DWORD elapsed = GetTickCount() - begin;
    if (call_timeout_ms_ != 0) InterlockedExchange(&watched_call, outer_watch);

    call_record& done = calls_[index];
    done.result = *result;
    done.milliseconds = elapsed;
    const FilterRecord& rec = this->record();
    if (record == &rec) {
        done.in_rect = rec.inRect;
        done.out_rect = rec.outRect;
        done.mask_rect = rec.maskRect;
        done.in_lo_plane = rec.inLoPlane;
        done.in_hi_plane = rec.inHiPlane;
        done.out_lo_plane = rec.outLoPlane;
        done.out_hi_plane = rec.outHiPlane;
    }
}

void plugin_host::on_progress(int32_t done, int32_t total)
{
    const int call = current_call();
    if (call >= 0 && call < (int)calls_.size()) calls_[call].progress.emplace_back(done, total);
    if (current_run_ != nullptr) current_run_->progress.emplace_back(done, total);
    filter_host::plugin_host::on_progress(done, total);
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
    if (!params_on_heap()) return filter_host::plugin_host::params_bytes();
    std::vector<uint8_t> bytes;
    const void* block = record().parameters;
    SIZE_T n = HeapSize(GetProcessHeap(), 0, block);
    if (n != (SIZE_T)-1) bytes.assign((const uint8_t*)block, (const uint8_t*)block + n);
    return bytes;
}

void plugin_host::free_params()
{
    Handle h = record().parameters;
    if (params_on_heap()) {
        record().parameters = nullptr;
    } else if (h != nullptr) {
        note_block(h, false, false);  // the plug-in may have made it; it is gone either way
    }
    filter_host::plugin_host::free_params();
    // Our own copy is freed even when the plug-in swapped it for another block.
    if (heap_params_ != nullptr) HeapFree(GetProcessHeap(), 0, heap_params_);
    heap_params_ = nullptr;
}

void plugin_host::restore_params_for_run()
{
    if (params_mode_ != params_mode::copy_to_heap) return;
    free_params();
    if (saved_params_.empty()) return;
    void* block = HeapAlloc(GetProcessHeap(), 0, saved_params_.size());
    if (block == nullptr) return;
    std::memcpy(block, saved_params_.data(), saved_params_.size());
    record().parameters = block;
    heap_params_ = block;
}

void plugin_host::save_params_after_run(bool success)
{
    if (params_mode_ != params_mode::copy_to_heap) return;
    if (success && record().parameters != nullptr) saved_params_ = params_bytes();
    free_params();
}

}  // namespace testhost
