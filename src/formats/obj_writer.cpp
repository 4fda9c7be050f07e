// The OBJ and MTL writer behind "Export as obj".
#include "formats/obj_writer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/compiler.h"
#include "core/file_name.h"
#include "core/memory.h"
#include "formats/face_slots.h"
#include "formats/number_format.h"
#include "formats/written_file.h"

namespace {

constexpr size_t SaveNameSize = ObjSavePathSize;

// Length of `name` without its extension: up to its last '.', unless that
// '.' is the first character or there is none.
size_t StemLength(const char* name) {
    const char* dot = std::strrchr(name, '.');
    if (!dot || dot == name) return std::strlen(name);
    return static_cast<size_t>(dot - name);
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return *a == *b;
}

// A text file being written: lines are assembled in one large buffer that
// goes to the file in few writes (a C runtime may turn every formatted write
// into a system call of its own), the first failed write is remembered, and
// closing checks the flush as well.
constexpr size_t OutBufferSize = size_t(1) << 16;

struct TextOut {
    FILE* file;
    bool ok;
    size_t used;
    char buffer[OutBufferSize];
};

void Flush(TextOut* out) {
    if (out->used > 0 && std::fwrite(out->buffer, 1, out->used, out->file) != out->used) out->ok = false;
    out->used = 0;
}

// Room for `bytes` (at most OutBufferSize) at the end of the buffer.
char* Reserve(TextOut* out, size_t bytes) {
    if (OutBufferSize - out->used < bytes) Flush(out);
    return out->buffer + out->used;
}

void Put(TextOut* out, const char* format, ...) QUILLMERE_PRINTF_FORMAT(2, 3);

void Put(TextOut* out, const char* format, ...) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(out->buffer + out->used, OutBufferSize - out->used, format, args);
        va_end(args);
        if (n < 0) {
            out->ok = false;
            return;
        }
        if (static_cast<size_t>(n) < OutBufferSize - out->used) {
            out->used += static_cast<size_t>(n);
            return;
        }
        Flush(out);
    }
    // Longer than the whole buffer: straight to the file.
    va_list args;
    va_start(args, format);
    if (std::vfprintf(out->file, format, args) < 0) out->ok = false;
    va_end(args);
}

// "v %10.8f %10.8f %10.8f \r\n" and "vt %8.6f %8.6f \r\n".
void PutCoordinates(TextOut* out, const char* keyword, size_t keywordLength, const float* values, int count, int width,
                    int precision) {
    char* line = Reserve(out, 8 + static_cast<size_t>(count) * NumberTextSize);
    size_t n = keywordLength;
    std::memcpy(line, keyword, n);
    for (int i = 0; i < count; ++i) {
        line[n++] = ' ';
        n += static_cast<size_t>(FormatFixed(line + n, values[i], width, precision));
    }
    std::memcpy(line + n, " \r\n", 3);
    out->used += n + 3;
}

void PutLineEnd(TextOut* out) {
    std::memcpy(Reserve(out, 2), "\r\n", 2);
    out->used += 2;
}

// Closes the file; on a failed write or close reports it and removes the file.
int Finish(TextOut* out, PlatformOwner owner, const char* path) {
    Flush(out);
    if (!CloseWrittenFile(out->file)) out->ok = false;
    if (out->ok) return 1;
    RemoveWrittenFile(path);
    ShowMessageBox(owner, path, "Error cannot write", MessageIconError);
    return 0;
}

// Room for one slot's corners: four " index/index" pieces.
constexpr size_t SlotRoom = 4 * (3 + 2 * 11);

// The corners of one slot from `first` on, into room reserved for them.
size_t WriteCorners(char* piece, const int32_t* vertices, const int32_t* texIndices, int first, bool withTexture) {
    size_t n = 0;
    for (int c = first; c < 4 && vertices[c] != -1; ++c) {
        piece[n++] = ' ';
        n += static_cast<size_t>(FormatInt32(piece + n, vertices[c] + 1));
        if (withTexture) {
            piece[n++] = '/';
            n += static_cast<size_t>(FormatInt32(piece + n, texIndices[c] + 1));
        }
    }
    return n;
}

// One face slot's statement; a strand's first slot writes the whole strand.
void WriteFaceLine(TextOut* out, const Mesh& mesh, int32_t slot) {
    const bool withTexture = mesh.texCoordCount > 0;
    const bool line = (mesh.faceAttributes[slot] & FaceLine) != 0;
    char* text = Reserve(out, 1 + SlotRoom);
    text[0] = line ? 'l' : 'f';
    out->used +=
        1 + WriteCorners(text + 1, mesh.faceVertexIndices + 4 * slot, mesh.faceTexIndices + 4 * slot, 0, withTexture);
    const int span = line ? StrandSlotSpan(mesh, slot) : 1;
    for (int s = 1; s < span; ++s) {
        out->used += WriteCorners(Reserve(out, SlotRoom), mesh.faceVertexIndices + 4 * (slot + s),
                                  mesh.faceTexIndices + 4 * (slot + s), 1, withTexture);
    }
    PutLineEnd(out);
}

int32_t GroupOf(const Mesh& mesh, int32_t slot) {
    return static_cast<int32_t>(FaceGroupIndex(mesh.faceAttributes[slot]));
}
int32_t MaterialOf(const Mesh& mesh, int32_t slot) {
    return static_cast<int32_t>(FaceMaterialIndex(mesh.faceAttributes[slot]));
}

// The order of the export, literally: for every group g and material m, one
// pass over all slots. Used when there is no memory for the sorted order.
void WriteFacesByPasses(TextOut* out, const Mesh& mesh) {
    const int32_t groups = mesh.groupCount > 0 ? mesh.groupCount : 1;
    const int32_t materials = mesh.materialCount > 0 ? mesh.materialCount : 1;
    int32_t lastGroup = -1, lastMaterial = -1;
    for (int32_t g = 0; g < groups; ++g) {
        for (int32_t m = 0; m < materials; ++m) {
            for (int32_t s = 0; s < mesh.faceCount; s += StrandSlotSpan(mesh, s)) {
                if (GroupOf(mesh, s) != g) continue;
                // The group line comes at the group's first slot, whatever
                // its material.
                if (g != lastGroup && mesh.groupCount > 0) {
                    lastGroup = g;
                    Put(out, "g %s%c%c", mesh.groupNames[g], 13, 10);
                }
                if (MaterialOf(mesh, s) != m) continue;
                // Not reset between groups: a group that starts with the
                // material last named gets no usemtl line of its own.
                if (m != lastMaterial && mesh.materialCount > 0) {
                    lastMaterial = m;
                    Put(out, "usemtl %s%c%c", mesh.materialNames[m], 13, 10);
                }
                WriteFaceLine(out, mesh, s);
            }
        }
    }
}

// The same output from one counting sort of the slots by (group, material),
// stable in stored order: the passes above cost groups x materials x slots.
// Both step over a strand's continuation slots from its first slot, which
// stays linear however long the strands are.
// Returns 0 (nothing written) when the sort's memory is not there.
int WriteFacesSorted(TextOut* out, const Mesh& mesh) {
    const int32_t groups = mesh.groupCount > 0 ? mesh.groupCount : 1;
    const int32_t materials = mesh.materialCount > 0 ? mesh.materialCount : 1;
    const int32_t keys = groups * materials;  // at most 512 x 512
    size_t startBytes = 0, orderBytes = 0;
    if (!ArrayByteSize(static_cast<int64_t>(keys) + 1, sizeof(int32_t), &startBytes) ||
        !ArrayByteSize(mesh.faceCount, sizeof(int32_t), &orderBytes))
        return 0;
    int32_t* start = static_cast<int32_t*>(AllocateBytes(startBytes));
    int32_t* order = static_cast<int32_t*>(AllocateBytes(orderBytes));
    if (!start || !order) {
        ReleaseBytes(start);
        ReleaseBytes(order);
        return 0;
    }
    bool groupUsed[MaxGroups] = {};
    std::memset(start, 0, startBytes);
    for (int32_t s = 0; s < mesh.faceCount; s += StrandSlotSpan(mesh, s)) {
        const int32_t g = GroupOf(mesh, s), m = MaterialOf(mesh, s);
        if (g >= groups) continue;
        groupUsed[g] = true;
        if (m < materials) ++start[g * materials + m + 1];
    }
    for (int32_t k = 0; k < keys; ++k) start[k + 1] += start[k];
    // start[k] becomes the end of bucket k while the slots are placed.
    for (int32_t s = 0; s < mesh.faceCount; s += StrandSlotSpan(mesh, s)) {
        const int32_t g = GroupOf(mesh, s), m = MaterialOf(mesh, s);
        if (g < groups && m < materials) order[start[g * materials + m]++] = s;
    }
    int32_t lastMaterial = -1, begin = 0;
    for (int32_t g = 0; g < groups; ++g) {
        if (groupUsed[g] && mesh.groupCount > 0) Put(out, "g %s%c%c", mesh.groupNames[g], 13, 10);
        for (int32_t m = 0; m < materials; ++m) {
            const int32_t end = start[g * materials + m];
            if (end > begin && m != lastMaterial && mesh.materialCount > 0) {
                lastMaterial = m;
                Put(out, "usemtl %s%c%c", mesh.materialNames[m], 13, 10);
            }
            for (; begin < end; ++begin) WriteFaceLine(out, mesh, order[begin]);
        }
    }
    ReleaseBytes(start);
    ReleaseBytes(order);
    return 1;
}

// Opens `path` for binary writing or reports that it cannot be created.
int Create(TextOut* out, PlatformOwner owner, const char* path) {
    out->file = std::fopen(path, "wb");
    out->ok = true;
    out->used = 0;
    if (out->file) return 1;
    ShowMessageBox(owner, path, "Error cannot create", MessageIconError);
    return 0;
}

}  // namespace

void MaterialLibraryName(const char* objFileName, char* out, size_t outSize) {
    size_t stem = StemLength(objFileName);
    if (objFileName[stem] == '.' && EqualsIgnoringCase(objFileName + stem + 1, "mtl")) {
        stem = std::strlen(objFileName);
    }
    std::snprintf(out, outSize, "%.*s.mtl", static_cast<int>(stem), objFileName);
}

void ProposedObjName(const char* fileName, char* out, size_t outSize) {
    std::snprintf(out, outSize, "%.*s.obj", static_cast<int>(StemLength(fileName)), fileName);
}

int WriteObjFile(PlatformOwner owner, const Mesh* mesh, const char* path, const char* libraryName) {
    TextOut out;
    if (!Create(&out, owner, path)) return 0;
    Put(&out, "#vertices  %d%c%c", mesh->vertexCount, 13, 10);
    Put(&out, "#tvertices %d%c%c", mesh->texCoordCount, 13, 10);
    Put(&out, "#faces     %d%c%c", mesh->faceCount, 13, 10);
    Put(&out, "#groups    %d%c%c", mesh->groupCount, 13, 10);
    Put(&out, "#materials %d%c%c", mesh->materialCount, 13, 10);
    for (int32_t i = 0; i < mesh->vertexCount; ++i) {
        const Vec3& p = mesh->vertices[i].position;
        const float xyz[3] = {p.x, p.y, p.z};
        PutCoordinates(&out, "v", 1, xyz, 3, 10, 8);
    }
    for (int32_t i = 0; i < mesh->texCoordCount; ++i) {
        const float uv[2] = {mesh->texCoords[i].u, mesh->texCoords[i].v};
        PutCoordinates(&out, "vt", 2, uv, 2, 8, 6);
    }
    if (mesh->materialCount > 0) Put(&out, "mtllib %s%c%c", libraryName, 13, 10);
    if (!WriteFacesSorted(&out, *mesh)) WriteFacesByPasses(&out, *mesh);
    return Finish(&out, owner, path);
}

int WriteMtlFile(const Mesh* mesh, const char* objPath) {
    if (mesh->materialCount <= 0) return 1;
    const char* objName = FileNameOf(objPath);
    const size_t folder = static_cast<size_t>(objName - objPath);
    const size_t size = std::strlen(objPath) + 8;  // the name gains at most ".mtl"
    char* path = static_cast<char*>(AllocateBytes(size));
    if (!path) {
        ShowMessageBox(OwnerMainWindow, objPath, "Error cannot create", MessageIconError);
        return 0;
    }
    std::memcpy(path, objPath, folder);
    MaterialLibraryName(objName, path + folder, size - folder);
    TextOut out;
    int ok = Create(&out, OwnerMainWindow, path);
    if (ok) {
        for (int32_t i = 0; i < mesh->materialCount && i < MaxMaterials; ++i) {
            const Material& m = mesh->materials[i];
            Put(&out, "newmtl %s%c%c", mesh->materialNames[i], 13, 10);
            Put(&out, "Ns %d%c%c", m.specularExponent, 13, 10);
            Put(&out, "Ka %f %f %f%c%c", static_cast<double>(m.ambient[0]), static_cast<double>(m.ambient[1]),
                static_cast<double>(m.ambient[2]), 13, 10);
            Put(&out, "Kd %f %f %f%c%c", static_cast<double>(m.diffuse[0]), static_cast<double>(m.diffuse[1]),
                static_cast<double>(m.diffuse[2]), 13, 10);
            Put(&out, "Ks %f %f %f%c%c", static_cast<double>(m.specular[0]), static_cast<double>(m.specular[1]),
                static_cast<double>(m.specular[2]), 13, 10);
            if (mesh->textureNames[i][0] != '\0') Put(&out, "map_Kd %s%c%c", mesh->textureNames[i], 13, 10);
        }
        ok = Finish(&out, OwnerMainWindow, path);
    }
    ReleaseBytes(path);
    return ok;
}

int SaveObjFile(PlatformOwner owner, const Mesh* mesh, char* meshFileName, size_t meshFileNameSize) {
    char path[SaveNameSize];
    ProposedObjName(meshFileName, path, sizeof path);
    const FileDialogRequest request{"wavefront obj files", "*.obj", "save mesh", "obj", 1};
    if (!AskSaveFileName(owner, request, path, sizeof path, meshFileName, meshFileNameSize)) return 0;
    char library[SaveNameSize + 8];
    MaterialLibraryName(FileNameOf(path), library, sizeof library);
    if (!WriteObjFile(owner, mesh, path, library)) return 0;
    WriteMtlFile(mesh, path);
    return 1;
}
