// The MTL reader: lines of at most 255 characters, each a keyword, one space
// and a value; keywords compared exactly.
#include "formats/mtl_reader.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/int_math.h"
#include "formats/text_scan.h"

namespace {

constexpr int LineSize = 256;  // 255 characters and the terminator

void ApplyColour(const char* value, float* colour) {
    float rgb[3];
    if (ScanFloats(value, rgb, 3) != 3) return;
    for (int i = 0; i < 3; ++i) colour[i] = rgb[i];
}

}  // namespace

void LoadMtlFile(Mesh* mesh, const char* path) {
    if (!path || path[0] == '\0') return;
    FILE* file = std::fopen(path, "rb");
    if (!file) return;
    int32_t current = mesh->materialCount;
    char line[LineSize];
    while (std::fgets(line, LineSize, file)) {
        char* space = std::strchr(line, ' ');
        if (!space) continue;  // all keyword, its line break included: matches nothing
        *space = '\0';
        char* value = space + 1;
        value[std::strcspn(value, "\r\n")] = '\0';
        const char* keyword = line;
        if (std::strcmp(keyword, "newmtl") == 0) {
            current = mesh->materialCount;
            for (int32_t i = 0; i < mesh->materialCount; ++i) {
                if (std::strcmp(mesh->materialNames[i], value) == 0) {
                    current = i;
                    break;
                }
            }
            continue;
        }
        if (current >= MaxMaterials) continue;
        Material& material = mesh->materials[current];
        if (std::strcmp(keyword, "Ns") == 0) {
            float exponent;
            if (ScanFloats(value, &exponent, 1) == 1) material.specularExponent = TruncateSaturated(exponent);
        } else if (std::strcmp(keyword, "Ka") == 0) {
            ApplyColour(value, material.ambient);
        } else if (std::strcmp(keyword, "Kd") == 0) {
            ApplyColour(value, material.diffuse);
        } else if (std::strcmp(keyword, "Ks") == 0) {
            ApplyColour(value, material.specular);
        } else if (std::strcmp(keyword, "map_Kd") == 0) {
            CopyName(mesh->textureNames[current], value, MeshNameSize);
        }
    }
    std::fclose(file);
}
