// What the plug-in makes of an image, from the plain reference
// (tests/reference), which shares nothing with the engine the web build is
// compiled from: the whole image planned for the view, every pixel shaded by
// the reference's rule on its R, G, B bytes, alpha copied.
//
// Reads lines from standard input:
//   IN.png RESULT.png spokes angle thickness intensity radius length cx cy view_width view_height
// and prints for each "same", or where RESULT (as stb_image reads it, RGBA)
// differs from what the plug-in makes of IN.  Exit status 1 when any differs.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "reference.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
// Its warnings stay its own: every build includes stb as a system header.
#include <stb_image.h>

namespace {

std::string compare(const std::string& in_path, const std::string& result_path, const reference::values& v,
                    int32_t cx, int32_t cy, int32_t view_width, int32_t view_height)
{
    int w = 0, h = 0, n = 0, rw = 0, rh = 0;
    stbi_uc* in = stbi_load(in_path.c_str(), &w, &h, &n, 4);
    stbi_uc* result = stbi_load(result_path.c_str(), &rw, &rh, &n, 4);
    std::ostringstream verdict;
    if (in == nullptr || result == nullptr) {
        verdict << "cannot read " << (in == nullptr ? in_path : result_path);
    } else if (rw != w || rh != h) {
        verdict << "result is " << rw << " x " << rh << ", input " << w << " x " << h;
    } else {
        const reference::preview_plan plan = reference::fit_preview(w, h, view_width, view_height, 1);
        const reference::geometry g = reference::make_geometry(v, plan.extent, static_cast<int32_t>(plan.image_scale));
        for (int y = 0; y < h && verdict.tellp() == 0; ++y) {
            for (int x = 0; x < w; ++x) {
                const stbi_uc* s = in + (static_cast<size_t>(y) * w + x) * 4;
                const stbi_uc* r = result + (static_cast<size_t>(y) * w + x) * 4;
                uint8_t e[4] = {0, 0, 0, s[3]};
                reference::shade(g, cx, cy, x, y, s, 3, e);
                if (e[0] != r[0] || e[1] != r[1] || e[2] != r[2] || e[3] != r[3]) {
                    verdict << "differs at " << x << "," << y << ": expected " << +e[0] << " " << +e[1] << " "
                            << +e[2] << " " << +e[3] << ", got " << +r[0] << " " << +r[1] << " " << +r[2] << " "
                            << +r[3];
                    break;
                }
            }
        }
    }
    stbi_image_free(in);
    stbi_image_free(result);
    return verdict.tellp() == 0 ? "same" : verdict.str();
}

}  // namespace

int main()
{
    std::string line;
    int status = 0;
    while (std::getline(std::cin, line)) {
        std::istringstream fields(line);
        std::string in, result;
        int32_t n[10];
        fields >> in >> result;
        for (int32_t& k : n) fields >> k;
        if (!fields) {
            std::cout << "bad line: " << line << std::endl;
            return 2;
        }
        const reference::values v = {static_cast<int16_t>(n[0]), static_cast<int16_t>(n[1]),
                                     static_cast<int16_t>(n[2]), static_cast<int16_t>(n[3]),
                                     static_cast<int16_t>(n[4]), static_cast<int16_t>(n[5])};
        const std::string verdict = compare(in, result, v, n[6], n[7], n[8], n[9]);
        if (verdict != "same") status = 1;
        std::cout << verdict << std::endl;
    }
    return status;
}
