#include "pe_image.h"

#include <cstdlib>
#include <cstring>

#include "testhost.h"

pe_image::pe_image(const std::string& path)
{
    const std::string dos = filter_host::windows_path(path);
    // Image-resource mode maps the sections at their RVAs; plain data-file mode
    // maps the file as it is.  Both are handled, whichever the loader gives.
    module_ = LoadLibraryExA(dos.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module_ == nullptr) module_ = LoadLibraryExA(dos.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module_ == nullptr) {
        error_ = "cannot map " + dos + " as data, error " + std::to_string(GetLastError());
        return;
    }
    const uintptr_t h = (uintptr_t)module_;
    image_layout_ = (h & 2) != 0 || (h & 3) == 0;
    base_ = (const uint8_t*)(h & ~(uintptr_t)3);
    const IMAGE_DOS_HEADER* dos_header = (const IMAGE_DOS_HEADER*)base_;
    if (dos_header->e_magic != IMAGE_DOS_SIGNATURE ||
        *(const DWORD*)(base_ + dos_header->e_lfanew) != IMAGE_NT_SIGNATURE)
        error_ = "not a PE image: " + dos;
}

pe_image::~pe_image()
{
    if (module_ != nullptr) FreeLibrary(module_);
}

const IMAGE_FILE_HEADER* pe_image::file_header() const
{
    const IMAGE_DOS_HEADER* dos_header = (const IMAGE_DOS_HEADER*)base_;
    return (const IMAGE_FILE_HEADER*)(base_ + dos_header->e_lfanew + 4);
}

WORD pe_image::machine() const
{
    return file_header()->Machine;
}

WORD pe_image::characteristics() const
{
    return file_header()->Characteristics;
}

const IMAGE_DATA_DIRECTORY* pe_image::directory(int index) const
{
    const uint8_t* optional = (const uint8_t*)(file_header() + 1);
    const WORD magic = *(const WORD*)optional;
    if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        const IMAGE_OPTIONAL_HEADER64* h = (const IMAGE_OPTIONAL_HEADER64*)optional;
        return index < (int)h->NumberOfRvaAndSizes ? &h->DataDirectory[index] : nullptr;
    }
    const IMAGE_OPTIONAL_HEADER32* h = (const IMAGE_OPTIONAL_HEADER32*)optional;
    return index < (int)h->NumberOfRvaAndSizes ? &h->DataDirectory[index] : nullptr;
}

const uint8_t* pe_image::at(uint32_t rva) const
{
    if (image_layout_) return base_ + rva;
    const IMAGE_FILE_HEADER* fh = file_header();
    const IMAGE_SECTION_HEADER* s =
        (const IMAGE_SECTION_HEADER*)((const uint8_t*)(fh + 1) + fh->SizeOfOptionalHeader);
    for (WORD i = 0; i < fh->NumberOfSections; ++i)
        if (rva >= s[i].VirtualAddress && rva < s[i].VirtualAddress + s[i].SizeOfRawData)
            return base_ + s[i].PointerToRawData + (rva - s[i].VirtualAddress);
    return nullptr;
}

std::string pe_image::export_module_name() const
{
    const IMAGE_DATA_DIRECTORY* d = directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (d == nullptr || d->Size == 0) return std::string();
    const IMAGE_EXPORT_DIRECTORY* e = (const IMAGE_EXPORT_DIRECTORY*)at(d->VirtualAddress);
    return (const char*)at(e->Name);
}

uint32_t pe_image::export_function_count() const
{
    const IMAGE_DATA_DIRECTORY* d = directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (d == nullptr || d->Size == 0) return 0;
    const IMAGE_EXPORT_DIRECTORY* e = (const IMAGE_EXPORT_DIRECTORY*)at(d->VirtualAddress);
    const DWORD* functions = (const DWORD*)at(e->AddressOfFunctions);
    uint32_t n = 0;
    for (DWORD i = 0; i < e->NumberOfFunctions; ++i)
        if (functions[i] != 0) ++n;
    return n;
}

std::vector<export_entry> pe_image::exports() const
{
    std::vector<export_entry> list;
    const IMAGE_DATA_DIRECTORY* d = directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (d == nullptr || d->Size == 0) return list;
    const IMAGE_EXPORT_DIRECTORY* e = (const IMAGE_EXPORT_DIRECTORY*)at(d->VirtualAddress);
    const DWORD* names = (const DWORD*)at(e->AddressOfNames);
    const WORD* ordinals = (const WORD*)at(e->AddressOfNameOrdinals);
    for (DWORD i = 0; i < e->NumberOfNames; ++i) list.push_back({e->Base + ordinals[i], (const char*)at(names[i])});
    return list;
}

std::vector<std::string> pe_image::imports() const
{
    std::vector<std::string> names;
    const IMAGE_DATA_DIRECTORY* d = directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (d != nullptr && d->Size != 0)
        for (const IMAGE_IMPORT_DESCRIPTOR* i = (const IMAGE_IMPORT_DESCRIPTOR*)at(d->VirtualAddress); i->Name != 0;
             ++i)
            names.push_back((const char*)at(i->Name));
    const IMAGE_DATA_DIRECTORY* delay = directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT);
    if (delay != nullptr && delay->Size != 0)
        for (const IMAGE_DELAYLOAD_DESCRIPTOR* i = (const IMAGE_DELAYLOAD_DESCRIPTOR*)at(delay->VirtualAddress);
             i->DllNameRVA != 0; ++i)
            names.push_back((const char*)at(i->DllNameRVA));
    return names;
}

bool pe_image::find(const char* type, const char* name, WORD language, std::vector<uint8_t>* bytes) const
{
    HRSRC r = FindResourceExA(module_, type, name, language);
    if (r == nullptr) return false;
    HGLOBAL g = LoadResource(module_, r);
    const uint8_t* p = (const uint8_t*)LockResource(g);
    if (p == nullptr) return false;
    bytes->assign(p, p + SizeofResource(module_, r));
    return true;
}

static std::string id_text(LPCSTR id)
{
    if (IS_INTRESOURCE(id)) return "#" + std::to_string((unsigned)(uintptr_t)id);
    return id;
}

const char* resource_arg(const std::string& name)
{
    if (!name.empty() && name[0] == '#') return MAKEINTRESOURCEA(std::atoi(name.c_str() + 1));
    return name.c_str();
}

static BOOL CALLBACK add_type(HMODULE, LPSTR type, LONG_PTR list)
{
    ((std::vector<std::string>*)list)->push_back(id_text(type));
    return TRUE;
}

std::vector<std::string> pe_image::resource_types() const
{
    std::vector<std::string> types;
    EnumResourceTypesA(module_, add_type, (LONG_PTR)&types);
    return types;
}

static BOOL CALLBACK add_language(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list)
{
    ((std::vector<WORD>*)list)->push_back(language);
    return TRUE;
}

static BOOL CALLBACK add_name(HMODULE, LPCSTR, LPSTR name, LONG_PTR list)
{
    ((std::vector<resource_id>*)list)->push_back({id_text(name), {}});
    return TRUE;
}

std::vector<resource_id> pe_image::resource_names(const char* type) const
{
    std::vector<resource_id> names;
    EnumResourceNamesA(module_, type, add_name, (LONG_PTR)&names);
    for (resource_id& id : names)
        EnumResourceLanguagesA(module_, type, resource_arg(id.name), add_language, (LONG_PTR)&id.languages);
    return names;
}
