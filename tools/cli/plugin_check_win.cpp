#include "cli/plugin_check.h"

#include <windows.h>

#include <vector>

namespace {

struct pipl_search {
    std::vector<pipl_info> filters;  // every PiPL of kind '8BFM'
    int lists = 0;                   // PiPL resources seen
    std::string damage;              // why the last unreadable one was refused
};

BOOL CALLBACK visit_pipl(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR context)
{
    pipl_search* search = (pipl_search*)context;
    HRSRC found = FindResourceA(module, name, type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const uint8_t* data = loaded ? (const uint8_t*)LockResource(loaded) : nullptr;
    if (data == nullptr) return TRUE;
    search->lists++;
    pipl_info info;
    std::string error;
    if (!parse_pipl(data, SizeofResource(module, found), &info, &error)) {
        search->damage = error;
        return TRUE;
    }
    if (info.kind == pipl_kind_filter) search->filters.push_back(info);
    return TRUE;
}

}  // namespace

bool choose_plugin(const std::string& path, const std::string& name, int16_t image_mode, plugin_choice* choice, std::string* error)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = "plug-in '" + name + "' not found";
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *error = "plug-in '" + name + "' is a directory, not a plug-in file";
        return false;
    }
    // As data only: nothing of the module runs while we look at it, and a
    // module of the other architecture can be read as well.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        *error = "'" + name + "' is not a filter plug-in (not a Windows DLL)";
        return false;
    }
    pipl_search search;
    EnumResourceNamesA(module, "PIPL", visit_pipl, (LONG_PTR)&search);
    FreeLibrary(module);

    if (search.filters.empty()) {
        if (!search.damage.empty())
            *error = "'" + name + "' has a damaged plug-in property list (" + search.damage + ")";
        else if (search.lists > 0)
            *error = "'" + name + "' is not a filter plug-in (its property list is not of kind 8BFM)";
        else
            *error = "'" + name + "' is not a filter plug-in (no PiPL resource)";
        return false;
    }
    std::string mode_refusal;
    for (const pipl_info& info : search.filters) {
#ifdef _WIN64
        const std::string& entry = info.entry_x64;
        const char* arch = "64-bit ('8664')";
#else
        const std::string& entry = info.entry_x86;
        const char* arch = "32-bit ('wx86')";
#endif
        if (entry.empty()) {
            mode_refusal = "'" + name + "' has no " + arch + " entry point; this host is " +
                           (sizeof(void*) == 8 ? "64-bit" : "32-bit");
            continue;
        }
        if (info.have_version && (info.version >> 16) != 4) {
            mode_refusal = "'" + name + "' needs filter interface version " + std::to_string(info.version >> 16) +
                           "." + std::to_string(info.version & 0xFFFF) + "; this host offers 4.0";
            continue;
        }
        if (!pipl_allows_mode(info, image_mode)) {
            mode_refusal = "the filter '" + info.name + "' does not support " + image_mode_name(image_mode) +
                           " images";
            continue;
        }
        choice->info = info;
        choice->entry_name = entry;
        return true;
    }
    *error = mode_refusal;
    return false;
}
