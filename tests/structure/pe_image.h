// A plug-in DLL mapped by the Windows loader as data: headers, export and
// import directories and resources, for either bitness.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct export_entry {
    uint32_t ordinal;
    std::string name;
};

struct resource_id {
    std::string name;  // "#12" for an integer id
    std::vector<WORD> languages;
};

class pe_image {
public:
    explicit pe_image(const std::string& path);
    ~pe_image();
    pe_image(const pe_image&) = delete;
    pe_image& operator=(const pe_image&) = delete;

    bool loaded() const { return module_ != nullptr; }
    const std::string& error() const { return error_; }
    HMODULE module() const { return module_; }

    WORD machine() const;
    WORD characteristics() const;
    std::string export_module_name() const;
    std::vector<export_entry> exports() const;  // named exports
    uint32_t export_function_count() const;     // every exported function, named or not
    std::vector<std::string> imports() const;   // DLL names, import and delay-import tables

    // Resources through the loader: FindResourceEx for one language.
    bool find(const char* type, const char* name, WORD language, std::vector<uint8_t>* bytes) const;
    std::vector<std::string> resource_types() const;  // "#6" for integer types
    std::vector<resource_id> resource_names(const char* type) const;

private:
    const uint8_t* at(uint32_t rva) const;
    const IMAGE_DATA_DIRECTORY* directory(int index) const;
    const IMAGE_FILE_HEADER* file_header() const;

    HMODULE module_ = nullptr;
    const uint8_t* base_ = nullptr;
    bool image_layout_ = false;  // sections at their RVAs (else as in the file)
    std::string error_;
};

// The resource name or type as FindResource takes it ("#6" -> MAKEINTRESOURCE(6)).
const char* resource_arg(const std::string& name);
