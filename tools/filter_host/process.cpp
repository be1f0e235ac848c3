// Process-wide helpers: the program's name, the crash report and Unix-to-DOS
// paths.
#include "filter_host/process.h"

#include <cstdio>
#include <cstring>

#include "filter_host/internal.h"

namespace filter_host {

static const char* name_of_program = "filter_host";

void set_program_name(const char* name)
{
    name_of_program = name;
}

const char* program_name()
{
    return name_of_program;
}

// Fixed storage: the crash report must not allocate.
static char crash_note_text[4096];

void set_crash_note(const std::string& note)
{
    size_t n = note.size() < sizeof crash_note_text - 1 ? note.size() : sizeof crash_note_text - 1;
    std::memcpy(crash_note_text, note.data(), n);
    crash_note_text[n] = '\0';
}

const char* crash_note()
{
    return crash_note_text;
}

static LONG WINAPI report_crash(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* e = info->ExceptionRecord;
    char module[MAX_PATH] = "?";
    HMODULE owner = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCSTR)e->ExceptionAddress, &owner))
        GetModuleFileNameA(owner, module, sizeof module);
    const LONG selector = current_selector;
    std::fprintf(stderr, "%s: exception 0x%08lx at %s+0x%llx", name_of_program, (unsigned long)e->ExceptionCode,
                 module, (unsigned long long)((const char*)e->ExceptionAddress - (const char*)owner));
    if (selector == no_call)
        std::fprintf(stderr, " outside any plug-in call\n");
    else
        std::fprintf(stderr, " during the plug-in call with selector %ld\n", (long)selector);
    if (crash_note_text[0] != '\0') std::fprintf(stderr, "%s\n", crash_note_text);
    std::fflush(stderr);
    std::fflush(stdout);
    return EXCEPTION_CONTINUE_SEARCH;  // Wine then prints its backtrace and ends the process
}

void install_crash_report()
{
    SetUnhandledExceptionFilter(report_crash);
}

std::string windows_path(const std::string& path)
{
    if (path.empty() || path[0] != '/') return path;
    // Wine maps the Unix root to drive Z: in every default prefix; its own
    // converter knows about other drive mappings too.
    typedef WCHAR*(CDECL * to_dos)(const char*);
    to_dos convert = (to_dos)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name");
    if (convert != nullptr) {
        WCHAR* dos = convert(path.c_str());
        if (dos != nullptr) {
            char buffer[MAX_PATH * 2];
            int n = WideCharToMultiByte(CP_ACP, 0, dos, -1, buffer, sizeof buffer, nullptr, nullptr);
            HeapFree(GetProcessHeap(), 0, dos);
            if (n > 0) return buffer;
        }
    }
    std::string dos = "Z:" + path;
    for (char& c : dos)
        if (c == '/') c = '\\';
    return dos;
}

}  // namespace filter_host
