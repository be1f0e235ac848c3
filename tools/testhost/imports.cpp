// Fault injection and accounting through the plug-in's import address table:
// after loading, the entries for a few KERNEL32, USER32 and GDI32 functions
// point at the wrappers below.  Each wrapper counts the call, fails it when
// the host's fault plan says so (the way Windows reports that failure), and
// otherwise calls the real function and notes what the plug-in now holds.
#include <algorithm>
#include <cstring>

#include "testhost.h"
#include "testhost_internal.h"

namespace testhost {

// --- the wrappers -------------------------------------------------------------------
//
// The plug-in calls them on the host's thread, and also from its DllMain when
// the host frees it; without a host on the thread they only pass the call on.

static HGLOBAL WINAPI global_alloc(UINT flags, SIZE_T bytes)
{
    plugin_host* host = current_host;
    if (host != nullptr && host->fail_call(&import_counts::global_alloc, &fault_plan::global_alloc)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HGLOBAL block = GlobalAlloc(flags, bytes);
    if (host != nullptr && block != nullptr) host->note_block(block, true, true);
    return block;
}

static HGLOBAL WINAPI global_free(HGLOBAL block)
{
    plugin_host* host = current_host;
    if (host != nullptr) host->note_block(block, false, true);
    return GlobalFree(block);
}

static ATOM WINAPI register_class(const WNDCLASSA* wc)
{
    plugin_host* host = current_host;
    if (host != nullptr && host->fail_call(&import_counts::register_class, &fault_plan::register_class)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    return RegisterClassA(wc);
}

static INT_PTR WINAPI dialog_box(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM l)
{
    plugin_host* host = current_host;
    if (host != nullptr && host->fail_call(&import_counts::dialog_box, &fault_plan::dialog_box)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    return DialogBoxParamA(instance, name, owner, procedure, l);
}

static HBITMAP WINAPI create_bitmap(int width, int height, UINT planes, UINT bits, const void* data)
{
    plugin_host* host = current_host;
    if (host != nullptr && host->fail_call(&import_counts::gdi_object, &fault_plan::gdi_object)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HBITMAP bitmap = CreateBitmap(width, height, planes, bits, data);
    if (host != nullptr && bitmap != nullptr) host->note_gdi_object(bitmap, true);
    return bitmap;
}

static HDC WINAPI create_compatible_dc(HDC dc)
{
    plugin_host* host = current_host;
    if (host != nullptr && host->fail_call(&import_counts::gdi_object, &fault_plan::gdi_object)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HDC memory = CreateCompatibleDC(dc);
    if (host != nullptr && memory != nullptr) host->note_gdi_object(memory, true);
    return memory;
}

static BOOL WINAPI delete_object(HGDIOBJ object)
{
    plugin_host* host = current_host;
    BOOL done = DeleteObject(object);
    // Stock objects and foreign ones are not ours to count.
    if (host != nullptr && done) host->note_gdi_object(object, false);
    return done;
}

static BOOL WINAPI delete_dc(HDC dc)
{
    plugin_host* host = current_host;
    BOOL done = DeleteDC(dc);
    if (host != nullptr && done) host->note_gdi_object(dc, false);
    return done;
}

// --- redirecting the imports -----------------------------------------------------------

struct redirect {
    const char* library;
    const char* function;
    void* wrapper;
};

static const redirect redirects[] = {
    {"kernel32.dll", "GlobalAlloc", (void*)global_alloc},
    {"kernel32.dll", "GlobalFree", (void*)global_free},
    {"user32.dll", "RegisterClassA", (void*)register_class},
    {"user32.dll", "DialogBoxParamA", (void*)dialog_box},
    {"gdi32.dll", "CreateBitmap", (void*)create_bitmap},
    {"gdi32.dll", "CreateCompatibleDC", (void*)create_compatible_dc},
    {"gdi32.dll", "DeleteObject", (void*)delete_object},
    {"gdi32.dll", "DeleteDC", (void*)delete_dc},
};

static void* wrapper_for(const char* library, const char* function)
{
    for (const redirect& r : redirects)
        if (lstrcmpiA(r.library, library) == 0 && std::strcmp(r.function, function) == 0) return r.wrapper;
    return nullptr;
}

static void write_slot(ULONG_PTR* slot, void* value)
{
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return;
    *slot = (ULONG_PTR)value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

bool redirect_imports(HMODULE module)
{
    uint8_t* base = (uint8_t*)module;
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)base;
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return false;
    int redirected = 0;
    for (const IMAGE_IMPORT_DESCRIPTOR* d = (const IMAGE_IMPORT_DESCRIPTOR*)(base + dir.VirtualAddress); d->Name != 0;
         ++d) {
        const char* library = (const char*)(base + d->Name);
        // The name table; without it the loader has overwritten the only copy.
        if (d->OriginalFirstThunk == 0) continue;
        const IMAGE_THUNK_DATA* names = (const IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const IMAGE_IMPORT_BY_NAME* by_name = (const IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData);
            void* wrapper = wrapper_for(library, (const char*)by_name->Name);
            if (wrapper == nullptr) continue;
            write_slot((ULONG_PTR*)&slots->u1.Function, wrapper);
            ++redirected;
        }
    }
    return redirected > 0;
}

// --- the host's accounts ----------------------------------------------------------------

void plugin_host::set_fault_plan(const fault_plan& plan)
{
    faults_ = plan;
    counts_ = import_counts();
}

bool plugin_host::fail_call(int import_counts::*counter, int fault_plan::*when)
{
    const int n = ++(counts_.*counter);
    return faults_.*when != 0 && n == faults_.*when;
}

void plugin_host::note_block(void* block, bool live, bool by_plugin)
{
    if (block == nullptr) return;
    auto found = std::find(live_blocks_.begin(), live_blocks_.end(), block);
    if (live) {
        if (found == live_blocks_.end()) live_blocks_.push_back(block);
        return;
    }
    if (found != live_blocks_.end())
        live_blocks_.erase(found);
    else if (by_plugin)
        ++counts_.foreign_frees;  // the host's parameters handle, say
}

bool plugin_host::note_gdi_object(void* object, bool live)
{
    auto found = std::find(live_gdi_.begin(), live_gdi_.end(), object);
    if (live) {
        if (found == live_gdi_.end()) live_gdi_.push_back(object);
        return true;
    }
    if (found == live_gdi_.end()) {
        ++counts_.foreign_frees;
        return false;
    }
    live_gdi_.erase(found);
    return true;
}

int plugin_host::live_blocks() const
{
    int n = 0;
    for (void* block : live_blocks_)
        if (block != record().parameters) ++n;
    return n;
}

}  // namespace testhost
