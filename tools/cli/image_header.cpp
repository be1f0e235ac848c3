#include "cli/image_header.h"

#include <cstdio>

namespace {

// The bytes of the file, read forward; every read is checked.
struct cursor {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool has(size_t n) const { return size - at >= n; }
    uint8_t u8() { return data[at++]; }
    uint32_t u16()
    {
        uint32_t v = (uint32_t)data[at] << 8 | data[at + 1];
        at += 2;
        return v;
    }
    uint32_t u32()
    {
        uint32_t v = u16() << 16;
        return v | u16();
    }
};

std::string hex_byte(unsigned v)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", v & 0xff);
    return text;
}

header_verdict refuse(header_verdict verdict, const std::string& reason, std::string* error)
{
    *error = reason;
    return verdict;
}

header_verdict check_size(int64_t width, int64_t height, std::string* error)
{
    std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (width > max_image_side || height > max_image_side)
        return refuse(header_verdict::too_large,
                      "the image is " + size + "; the filter interface takes at most " +
                          std::to_string(max_image_side) + " on each side",
                      error);
    if (width * height > max_image_pixels)
        return refuse(header_verdict::too_large,
                      "the image is " + size + ", more than this host can hold in memory (at most " +
                          std::to_string(max_image_pixels) + " pixels)",
                      error);
    return header_verdict::ok;
}

// ---- PNG ----

const uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

constexpr uint32_t chunk_type(const char (&c)[5])
{
    return (uint32_t)(uint8_t)c[0] << 24 | (uint32_t)(uint8_t)c[1] << 16 | (uint32_t)(uint8_t)c[2] << 8 |
           (uint32_t)(uint8_t)c[3];
}

std::string type_name(uint32_t type)
{
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = (char)(type >> shift);
        name += c >= 0x20 && c < 0x7f ? c : '?';
    }
    return name;
}

// The decoder reads the chunks in order and ends at IEND without reading its
// check value; its own checks cover the contents.
header_verdict read_png(cursor c, image_header* header, std::string* error)
{
    c.at = sizeof png_signature;
    bool have_ihdr = false;
    for (;;) {
        if (!c.has(8)) return refuse(header_verdict::damaged, "truncated PNG: the file ends before IEND", error);
        uint32_t length = c.u32();
        uint32_t type = c.u32();
        if (have_ihdr && type == chunk_type("IEND")) return header_verdict::ok;
        if (!have_ihdr && type == chunk_type("IHDR")) {
            if (length != 13) return refuse(header_verdict::damaged, "damaged PNG: its IHDR is not 13 bytes", error);
            if (!c.has(8)) return refuse(header_verdict::damaged, "truncated PNG: the file ends inside IHDR", error);
            int64_t width = c.u32(), height = c.u32();
            c.at -= 8;
            if (width == 0 || height == 0)
                return refuse(header_verdict::damaged, "damaged PNG: it declares no pixels", error);
            header_verdict size = check_size(width, height, error);
            if (size != header_verdict::ok) return size;
            header->width = (int32_t)width;
            header->height = (int32_t)height;
            have_ihdr = true;
        } else if (!have_ihdr && type != chunk_type("CgBI")) {
            return refuse(header_verdict::damaged, "damaged PNG: it does not start with an IHDR chunk", error);
        }
        if (!c.has((size_t)length) || !c.has((size_t)length + 4))
            return refuse(header_verdict::damaged,
                          "truncated PNG: the file ends inside its " + type_name(type) + " chunk", error);
        c.at += (size_t)length + 4;
    }
}

// ---- JPEG ----

const int end_of_file = -1;
const int no_marker = -2;

// What the decoder takes for a marker at this point: any number of 0xFF fill
// bytes and the code after them; one byte of anything else is no marker.
int next_marker(cursor* c)
{
    if (!c->has(1)) return end_of_file;
    if (c->u8() != 0xff) return no_marker;
    uint8_t code;
    do {
        if (!c->has(1)) return end_of_file;
        code = c->u8();
    } while (code == 0xff);
    return code;
}

bool is_frame(int m) { return m == 0xc0 || m == 0xc1 || m == 0xc2; }

// Frames of the kinds the decoder does not read: lossless, hierarchical and
// arithmetic-coded.
bool is_other_frame(int m) { return m >= 0xc3 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc; }

struct jpeg_walk {
    cursor c;
    std::string* error;
    bool dc_table[4] = {}, ac_table[4] = {}, quant_table[4] = {};
    bool progressive = false;
    int components = 0;
    uint32_t width = 0, height = 0;
    int id[4] = {}, h[4] = {}, v[4] = {}, quant[4] = {};

    header_verdict damaged(const std::string& what)
    {
        return refuse(header_verdict::damaged, "damaged JPEG: " + what, error);
    }
    header_verdict truncated(const std::string& where)
    {
        return refuse(header_verdict::damaged, "truncated JPEG: the file ends " + where, error);
    }

    // The length of the segment starting here and whether its body lies in
    // the file; on false the verdict is set.
    bool segment_body(const char* name, uint32_t* body, header_verdict* verdict)
    {
        if (!c.has(2)) {
            *verdict = truncated(std::string("inside its ") + name);
            return false;
        }
        uint32_t length = c.u16();
        if (length < 2) {
            *verdict = damaged(std::string("its ") + name + " has a length below 2");
            return false;
        }
        *body = length - 2;
        if (!c.has(*body)) {
            *verdict = truncated(std::string("inside its ") + name);
            return false;
        }
        return true;
    }

    header_verdict huffman_tables()
    {
        uint32_t left;
        header_verdict verdict;
        if (!segment_body("Huffman tables", &left, &verdict)) return verdict;
        while (left > 0) {
            if (left < 17) return damaged("a Huffman table runs past the end of its segment");
            uint8_t q = c.u8();
            int table_class = q >> 4, slot = q & 15;
            if (table_class > 1 || slot > 3)
                return damaged("a Huffman table of class " + std::to_string(table_class) + " in slot " +
                               std::to_string(slot));
            uint32_t codes = 0, code = 0;
            bool lengths_fit = true;
            for (int bits = 1; bits <= 16; bits++) {
                uint8_t count = c.u8();
                codes += count;
                code += count;
                if (code > (1u << bits)) lengths_fit = false;
                code <<= 1;
            }
            if (codes > 256)
                return damaged("a Huffman table with " + std::to_string(codes) + " codes (at most 256)");
            if (!lengths_fit) return damaged("a Huffman table with more codes than its code lengths allow");
            if (17 + codes > left) return damaged("a Huffman table runs past the end of its segment");
            c.at += codes;
            left -= 17 + codes;
            (table_class == 0 ? dc_table : ac_table)[slot] = true;
        }
        return header_verdict::ok;
    }

    header_verdict quantization_tables()
    {
        uint32_t left;
        header_verdict verdict;
        if (!segment_body("quantization tables", &left, &verdict)) return verdict;
        while (left > 0) {
            uint8_t q = c.u8();
            int precision = q >> 4, slot = q & 15;
            if (precision > 1 || slot > 3)
                return damaged("a quantization table of precision " + std::to_string(precision) + " in slot " +
                               std::to_string(slot));
            uint32_t bytes = 1 + 64 * (precision + 1);
            if (bytes > left) return damaged("a quantization table runs past the end of its segment");
            c.at += bytes - 1;
            left -= bytes;
            quant_table[slot] = true;
        }
        return header_verdict::ok;
    }

    // A segment that may come before the frame or between scans.
    header_verdict segment(int m)
    {
        header_verdict verdict;
        uint32_t body;
        if (m == 0xc4) return huffman_tables();
        if (m == 0xdb) return quantization_tables();
        if (m == 0xdd) {
            if (!segment_body("restart interval", &body, &verdict)) return verdict;
            if (body != 2) return damaged("its restart interval segment is not 4 bytes");
            c.at += body;
            return header_verdict::ok;
        }
        if ((m >= 0xe0 && m <= 0xef) || m == 0xfe) {
            if (!segment_body(m == 0xfe ? "comment" : "application data", &body, &verdict)) return verdict;
            c.at += body;
            return header_verdict::ok;
        }
        if (m == no_marker) return damaged("a segment is followed by something that is no marker");
        if (is_frame(m)) return damaged("a second frame header");
        if (is_other_frame(m))
            return damaged("lossless, hierarchical or arithmetic-coded, which this host does not read");
        return damaged("unknown marker " + hex_byte((unsigned)m));
    }

    header_verdict frame(int m)
    {
        progressive = m == 0xc2;
        if (!c.has(8)) return truncated("inside its frame header");
        uint32_t length = c.u16();
        uint32_t precision = c.u8();
        height = c.u16();
        width = c.u16();
        components = c.u8();
        if (precision != 8) return damaged(std::to_string(precision) + "-bit samples; this host reads 8-bit JPEGs");
        if (width == 0 || height == 0) return damaged("it declares no pixels");
        header_verdict size = check_size(width, height, error);
        if (size != header_verdict::ok) return size;
        if (components != 1 && components != 3 && components != 4)
            return damaged(std::to_string(components) + " components (1, 3 or 4 are read)");
        if (length != 8 + 3 * (uint32_t)components) return damaged("its frame header has the wrong length");
        if (!c.has(3 * (size_t)components)) return truncated("inside its frame header");
        int h_max = 1, v_max = 1;
        for (int i = 0; i < components; i++) {
            id[i] = c.u8();
            uint8_t factors = c.u8();
            h[i] = factors >> 4;
            v[i] = factors & 15;
            quant[i] = c.u8();
            if (h[i] < 1 || h[i] > 4 || v[i] < 1 || v[i] > 4)
                return damaged("sampling factors " + std::to_string(h[i]) + "x" + std::to_string(v[i]) +
                               " (1 to 4 are read)");
            if (quant[i] > 3) return damaged("a component uses quantization table " + std::to_string(quant[i]));
            if (h[i] > h_max) h_max = h[i];
            if (v[i] > v_max) v_max = v[i];
        }
        for (int i = 0; i < components; i++)
            if (h_max % h[i] != 0 || v_max % v[i] != 0)
                return damaged("sampling factors in no whole ratio to each other");
        return header_verdict::ok;
    }

    header_verdict scan()
    {
        if (!c.has(3)) return truncated("inside a scan header");
        uint32_t length = c.u16();
        int count = c.u8();
        if (count < 1 || count > 4 || count > components)
            return damaged("a scan of " + std::to_string(count) + " components");
        if (length != 6 + 2 * (uint32_t)count) return damaged("a scan header of the wrong length");
        if (!c.has(2 * (size_t)count + 3)) return truncated("inside a scan header");
        int which[4], dc[4], ac[4];
        for (int i = 0; i < count; i++) {
            int component_id = c.u8();
            uint8_t tables = c.u8();
            which[i] = -1;
            for (int k = 0; k < components && which[i] < 0; k++)
                if (id[k] == component_id) which[i] = k;
            if (which[i] < 0) return damaged("a scan names a component the frame does not have");
            dc[i] = tables >> 4;
            ac[i] = tables & 15;
            if (dc[i] > 3 || ac[i] > 3) return damaged("a scan uses Huffman table slots beyond 3");
        }
        int start = c.u8(), end = c.u8(), approximation = c.u8();
        int high = approximation >> 4, low = approximation & 15;
        if (progressive ? start > 63 || end > 63 || start > end || high > 13 || low > 13
                        : start != 0 || high != 0 || low != 0)
            return damaged("a scan with an impossible coefficient range");
        if (progressive && start == 0 && end != 0) return damaged("a scan mixes DC and AC coefficients");
        // The tables the decoder will use for these coefficients.
        bool uses_dc = progressive ? start == 0 && high == 0 : true;
        bool uses_ac = progressive ? start > 0 : true;
        for (int i = 0; i < count; i++) {
            if ((uses_dc && !dc_table[dc[i]]) || (uses_ac && !ac_table[ac[i]]))
                return damaged("a scan uses a Huffman table the file has not defined");
            if (!quant_table[quant[which[i]]])
                return damaged("a scan uses a quantization table the file has not defined");
        }
        return header_verdict::ok;
    }

    // Past the entropy-coded data to the marker that ends it: 0xFF 0x00 is a
    // data byte and restart markers belong to the data.
    int marker_after_scan()
    {
        for (;;) {
            if (!c.has(1)) return end_of_file;
            if (c.u8() != 0xff) continue;
            uint8_t code;
            do {
                if (!c.has(1)) return end_of_file;
                code = c.u8();
            } while (code == 0xff);
            if (code != 0 && (code < 0xd0 || code > 0xd7)) return code;
        }
    }

    header_verdict walk(image_header* header)
    {
        if (next_marker(&c) != 0xd8) return refuse(header_verdict::not_an_image, "not a PNG or JPEG image", error);
        // Up to the frame header: the first segment follows at once, later
        // ones may have padding before them.
        int m = next_marker(&c);
        while (!is_frame(m)) {
            if (m == end_of_file) return truncated("before its frame header");
            header_verdict verdict = segment(m);
            if (verdict != header_verdict::ok) return verdict;
            do m = next_marker(&c);
            while (m == no_marker);
        }
        header_verdict verdict = frame(m);
        if (verdict != header_verdict::ok) return verdict;
        header->format = image_format::jpeg;
        header->width = (int32_t)width;
        header->height = (int32_t)height;
        // Scans and the segments between them, up to the end of the image.
        m = next_marker(&c);
        while (m != 0xd9) {
            if (m == end_of_file) return truncated("before the end of its image");
            if (m == 0xda) {
                verdict = scan();
                if (verdict != header_verdict::ok) return verdict;
                m = marker_after_scan();
                continue;
            }
            if (m == 0xdc) {
                if (!c.has(4)) return truncated("inside its line count");
                if (c.u16() != 4 || c.u16() != height) return damaged("a line count segment that does not match");
            } else {
                verdict = segment(m);
                if (verdict != header_verdict::ok) return verdict;
            }
            m = next_marker(&c);
        }
        return header_verdict::ok;
    }
};

}  // namespace

header_verdict read_image_header(const uint8_t* data, size_t size, image_header* header, std::string* error)
{
    *header = image_header();
    cursor c{data, size};
    if (size >= sizeof png_signature) {
        bool png = true;
        for (size_t i = 0; i < sizeof png_signature; i++) png = png && data[i] == png_signature[i];
        if (png) {
            header->format = image_format::png;
            return read_png(c, header, error);
        }
    }
    jpeg_walk walk{c, error};
    return walk.walk(header);
}
