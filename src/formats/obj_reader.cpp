// The OBJ reader: statements are recognised a whole line at a time in a
// large window over the input, and stored into the Mesh as they come.
#include "formats/obj_reader.h"

#include <cstdio>
#include <cstring>

#include "core/compiler.h"
#include "core/file_name.h"
#include "core/loaded_mesh.h"
#include "core/memory.h"
#include "core/platform.h"
#include "formats/byte_source.h"
#include "formats/file_source.h"
#include "formats/face_slots.h"
#include "formats/mtl_reader.h"
#include "formats/text_scan.h"

namespace {

constexpr int GrowthStep = 4096;
constexpr size_t ArgumentSize = StatementArgumentSize;

// One "%d" of an index group read as "%d %d" reads the group's text with
// every '/' turned into a blank and " 0" appended, so that a lone vertex
// index gets texture index 0. `*p` moves through the group, which ends at
// `end` (a blank or the terminator, so digits never run past it);
// `*tailUsed` notes that the appended 0 has been read. Returns 0 when no
// number is there or it passes 32 bits.
int ScanGroupInt(const char** p, const char* end, bool* tailUsed, int32_t* value) {
    while (*p < end && (**p == '/' || IsScanBlank(**p))) ++*p;
    if (*p == end) {
        if (*tailUsed) return 0;
        *tailUsed = true;
        *value = 0;
        return 1;
    }
    return ScanInt32(*p, value, p);
}

// A group of the general form at `*p`, moving past it: its vertex and
// texture index as "%d %d" reads them; 0 when they do not read.
int ScanGroup(const char** p, int32_t* vertex, int32_t* tex) {
    const char* start = *p;
    const char* end = start;
    bool noTexture = false;
    while (*end != '\0' && *end != ' ' && *end != '\t') {
        if (end[0] == '/' && end[1] == '/') noTexture = true;
        ++end;
    }
    *p = end;
    const char* cursor = start;
    bool tailUsed = false;
    if (!ScanGroupInt(&cursor, end, &tailUsed, vertex) || !ScanGroupInt(&cursor, end, &tailUsed, tex)) return 0;
    if (noTexture) *tex = 0;
    return 1;
}

// The common group, a lone vertex index of up to nine digits, read at once:
// its texture index is the appended 0, as ScanGroup would read it. False
// (nothing moved) for any other group.
bool ScanPlainGroup(const char** p, int32_t* vertex) {
    const char* q = *p;
    int32_t value = 0;
    // Two digits a step while both are digits (the second is read only
    // after a digit, so never past the terminator), then a last one.
    int digits = 0;
    for (; digits < 8 && IsDecimalDigit(q[0]) && IsDecimalDigit(q[1]); q += 2, digits += 2)
        value = value * 100 + (q[0] - '0') * 10 + (q[1] - '0');
    if (IsDecimalDigit(q[0])) value = value * 10 + (*q++ - '0');
    if (q == *p || (*q != ' ' && *q != '\t' && *q != '\0')) return false;
    *vertex = value;
    *p = q;
    return true;
}

}  // namespace

int ParseIndexGroups(const char* text, int32_t vertexCount, int32_t texCoordCount, int32_t* vertexIndices,
                     int32_t* texIndices) {
    int n = 0;
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') break;
        if (n == MaxCornersPerStatement) return 0;
        int32_t vertex = 0, tex = 0;
        if (!ScanPlainGroup(&p, &vertex) && !ScanGroup(&p, &vertex, &tex)) return 0;

        int64_t v = vertex;
        if (v < 0) v += static_cast<int64_t>(vertexCount) + 1;
        if (v < 1 || v > vertexCount) return 0;

        int64_t t = tex;
        if (t > texCoordCount) t = 1;
        if (t < 0) t += static_cast<int64_t>(texCoordCount) + 1;
        if (t <= 0) t = 1;

        vertexIndices[n] = static_cast<int32_t>(v);
        texIndices[n] = static_cast<int32_t>(t);
        ++n;
    }
    return n;
}

namespace {

enum Keyword {
    KeywordVertex,
    KeywordTexCoord,
    KeywordPolygon,
    KeywordLine,
    KeywordGroup,
    KeywordUseMaterial,
    KeywordMaterialLibrary
};

struct ObjInput {
    TextWindow window;
    unsigned char storage[TextWindowSize + 1];
};

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// What the characters at `line[p]` (not a blank) begin: a keyword, or no
// statement. `*next` is where recognition goes on: after the keyword, or
// where it starts over.
enum Recognition { Recognised, StartOver, UnknownStatement };

Recognition RecogniseKeyword(const char* line, size_t p, size_t end, Keyword* found, size_t* next) {
    switch (line[p]) {
        case 'v':
            *found = p + 1 < end && line[p + 1] == 't' ? KeywordTexCoord : KeywordVertex;
            *next = p + (*found == KeywordTexCoord ? 2 : 1);
            return Recognised;
        case 'f':
            *found = KeywordPolygon;
            *next = p + (p + 1 < end && line[p + 1] == 'o' ? 2 : 1);
            return Recognised;
        case 'l': *found = KeywordLine; break;
        case 'g': *found = KeywordGroup; break;
        case 'u':
        case 'm': {
            const char* word = line[p] == 'u' ? "usemtl" : "mtllib";
            *found = line[p] == 'u' ? KeywordUseMaterial : KeywordMaterialLibrary;
            for (size_t i = 1; word[i] != '\0'; ++i) {
                // A line end abandons the attempt; any other mismatching
                // character is dropped and recognition starts over with the
                // character after it.
                if (p + i == end) {
                    *next = end;
                    return StartOver;
                }
                if (line[p + i] != word[i]) {
                    *next = p + i + 1;
                    return StartOver;
                }
            }
            *next = p + 6;
            return Recognised;
        }
        default: return UnknownStatement;
    }
    *next = p + 1;
    return Recognised;
}

// Finds the next statement with an argument; 0 at the end of input. The
// argument, terminated in place, stays valid until the next call.
int NextStatement(ObjInput* in, Keyword* keyword, char** argument) {
    TextWindow* w = &in->window;
    for (;;) {
        if (!SkipBlanks(w, true)) return 0;
        size_t end = 0;
        LineKind kind = FindLineEnd(w, &end);
        char* line = reinterpret_cast<char*>(w->bytes);
        size_t next = 0;
        const Recognition r = RecogniseKeyword(line, w->position, end, keyword, &next);
        if (r == UnknownStatement) {
            SkipLine(w);
            continue;
        }
        w->position = next;
        if (r == StartOver || next == end) continue;  // keyword without argument: abandoned
        if (!IsSpace(line[next])) {
            SkipLine(w);  // "vn", "vp", "s", "o", a comment: unknown statement
            continue;
        }
        if (!SkipBlanks(w, false)) return 0;
        kind = FindLineEnd(w, &end);
        line = reinterpret_cast<char*>(w->bytes);
        if (w->position == end) continue;  // no argument: ignored
        // An over-long argument costs only its own statement.
        const size_t start = w->position;
        if (kind == LineLong || end - start + 1 > ArgumentSize) {
            SkipLine(w);
            continue;
        }
        line[end] = '\0';
        w->position = kind == LineTerminated ? end + 1 : end;
        *argument = line + start;
        return 1;
    }
}

struct LoadState {
    Mesh* mesh;
    // Where the first vertex and the first element were read: the storage of
    // each grows toward what the rest of the input brings at its pace since.
    const TextWindow* window;
    uint64_t verticesFrom, texCoordsFrom, elementsFrom;
    int32_t currentGroup;
    int32_t currentMaterial;
    char library[ArgumentSize];
};

// The group and material rule: an exact name already in the table becomes
// current; a new one is appended while there is room; the first name of an
// empty table renames entry 0 (which the faces read so far already use).
void SelectName(char (*names)[MeshNameSize], int32_t* count, int32_t limit, const char* text, int32_t* current) {
    char name[MeshNameSize];
    CopyName(name, text, MeshNameSize);
    if (*count == 0) {
        std::memcpy(names[0], name, MeshNameSize);
        *count = 1;
        return;
    }
    for (int32_t i = 0; i < *count; ++i) {
        if (std::strcmp(names[i], name) == 0) {
            *current = i;
            return;
        }
    }
    if (*count >= limit) return;
    std::memcpy(names[*count], name, MeshNameSize);
    *current = *count;
    ++*count;
}

// The growth of storage that `count` records fill, read since `from`.
int64_t Forecast(const LoadState* state, int32_t capacity, int32_t count, uint64_t from) {
    const TextWindow* w = state->window;
    return ForecastGrowth(capacity, count, TextWindowOffset(w) - from, TextWindowExactBytesLeft(w), GrowthStep);
}

// RoomForOne for the first record of an array, or one that fills it.
template <typename Owner>
bool RoomForOneAfresh(const LoadState* state, Owner* owner, int (*grow)(Owner*, int64_t), int32_t count,
                      int32_t capacity, uint64_t* from) {
    if (count == 0) *from = TextWindowOffset(state->window);
    return count < capacity ||
           GrowByForecast(owner, grow, capacity, Forecast(state, capacity, count, *from), GrowthStep);
}

// Room for one more record of an array that `count` of `capacity` fill;
// `*from` notes where the first of them was read. Almost every record finds
// room, which costs a comparison and no call.
template <typename Owner>
QUILLMERE_ALWAYS_INLINE bool RoomForOne(const LoadState* state, Owner* owner, int (*grow)(Owner*, int64_t),
                                        int32_t count, int32_t capacity, uint64_t* from) {
    if (count > 0 && count < capacity) return true;
    return RoomForOneAfresh(state, owner, grow, count, capacity, from);
}

// An `f` or `l` statement; one of too few groups is dropped. 0 when storage
// could not grow.
int StoreElement(LoadState* state, bool line, const char* argument, FaceAttributes attributes) {
    Mesh* mesh = state->mesh;
    int32_t vertexIndices[MaxCornersPerStatement], texIndices[MaxCornersPerStatement];
    const int n = ParseIndexGroups(argument, mesh->vertexCount, mesh->texCoordCount, vertexIndices, texIndices);
    if (n < (line ? 2 : 3)) return 1;
    if (mesh->faceCount == 0) state->elementsFrom = TextWindowOffset(state->window);
    if (ElementRoomSlot(mesh->faceCount, line, n) >= mesh->faceCapacity &&
        !GrowByForecast(mesh, GrowFaces, mesh->faceCapacity,
                        Forecast(state, mesh->faceCapacity, mesh->faceCount, state->elementsFrom), GrowthStep))
        return 0;
    mesh->faceCount += StoreElementSlots(mesh, line, mesh->faceCount, vertexIndices, texIndices, n, attributes, 0, 0);
    return 1;
}

// The end of the bytes in the window, which holds the statement's argument:
// the numbers may be read in words up to there.
const char* WindowEnd(const LoadState* state) {
    return reinterpret_cast<const char*>(state->window->bytes) + state->window->fill;
}

// Handles one statement; 0 when storage could not grow.
int HandleStatement(LoadState* state, Keyword keyword, const char* argument) {
    Mesh* mesh = state->mesh;
    const FaceAttributes attributes =
        (static_cast<uint32_t>(state->currentGroup) << FaceGroupShift) | static_cast<uint32_t>(state->currentMaterial);
    switch (keyword) {
        case KeywordVertex: {
            if (!RoomForOne(state, mesh, GrowVertices, mesh->vertexCount, mesh->vertexCapacity, &state->verticesFrom))
                return 0;
            float xyz[3] = {0, 0, 0};
            if (ScanFloats(argument, xyz, 3, WindowEnd(state)) != 3) xyz[0] = xyz[1] = xyz[2] = 0;
            MeshVertex vertex{};
            vertex.position = Vec3{xyz[0], xyz[1], xyz[2]};
            mesh->vertices[mesh->vertexCount++] = vertex;
            return 1;
        }
        case KeywordTexCoord: {
            if (!RoomForOne(state, mesh, GrowTexCoords, mesh->texCoordCount, mesh->texCoordCapacity,
                            &state->texCoordsFrom))
                return 0;
            float uv[2] = {0, 0};
            if (ScanFloats(argument, uv, 2, WindowEnd(state)) != 2) uv[0] = uv[1] = 0;
            mesh->texCoords[mesh->texCoordCount++] = TexCoord{uv[0], uv[1]};
            return 1;
        }
        case KeywordPolygon:
        case KeywordLine: return StoreElement(state, keyword == KeywordLine, argument, attributes);
        case KeywordGroup:
            SelectName(mesh->groupNames, &mesh->groupCount, MaxGroups, argument, &state->currentGroup);
            return 1;
        case KeywordUseMaterial:
            SelectName(mesh->materialNames, &mesh->materialCount, MaxMaterials, argument, &state->currentMaterial);
            return 1;
        case KeywordMaterialLibrary: std::memcpy(state->library, argument, std::strlen(argument) + 1); return 1;
    }
    return 1;
}

// Reads statements until the end; 0 when storage could not grow.
int ReadStatements(ByteSource* source, LoadState* state) {
    ObjInput* in = static_cast<ObjInput*>(AllocateBytes(sizeof(ObjInput)));
    if (!in) return 0;
    StartTextWindow(&in->window, source, in->storage);
    state->window = &in->window;
    Keyword keyword;
    char* argument = nullptr;
    int ok = 1;
    while (ok && NextStatement(in, &keyword, &argument)) ok = HandleStatement(state, keyword, argument);
    ReleaseBytes(in);
    return ok;
}

// The library path: absolute names as they are, others beside the OBJ file.
void LibraryPath(const char* objPath, const char* name, char* out, size_t outSize) {
    const bool absolute = name[0] == '/' || name[0] == '\\' || (name[0] != '\0' && name[1] == ':');
    const size_t folder = absolute ? 0 : static_cast<size_t>(FileNameOf(objPath) - objPath);
    std::snprintf(out, outSize, "%.*s%s", static_cast<int>(folder), objPath, name);
}

int Fail(const char* path) {
    ShowMessageBox(OwnerNone, "Error: failed to open", path, MessageIconError);
    return 0;
}

}  // namespace

int LoadObjSource(Mesh* mesh, ByteSource* source, const char* path) {
    if (!GrowVertices(mesh, GrowthStep) || !GrowTexCoords(mesh, GrowthStep) || !GrowFaces(mesh, GrowthStep))
        return Fail(path);
    LoadState* state = static_cast<LoadState*>(AllocateBytes(sizeof(LoadState)));
    if (!state) return Fail(path);
    *state = LoadState{};
    state->mesh = mesh;
    const int read = ReadStatements(source, state);
    int ok = read && !source->failed && mesh->vertexCount > 0 && mesh->faceCount > 0;
    if (ok) {
        FitMeshStorage(mesh);
        ok = FinishLoadedMesh(mesh);
    }
    if (ok && state->library[0] != '\0') {
        const size_t size = std::strlen(path) + std::strlen(state->library) + 1;
        char* libraryPath = static_cast<char*>(AllocateBytes(size));
        if (libraryPath) {
            LibraryPath(path, state->library, libraryPath, size);
            LoadMtlFile(mesh, libraryPath);
        }
        ok = libraryPath != nullptr;
        ReleaseBytes(libraryPath);
    }
    ReleaseBytes(state);
    return ok ? 1 : Fail(path);
}

int LoadObjFile(Mesh* mesh, const char* path) {
    ByteSource source;
    if (!OpenMeshFileSource(path, &source)) return Fail(path);
    const int ok = LoadObjSource(mesh, &source, path);
    CloseMeshFileSource(&source);
    return ok;
}

int LoadObjMemory(Mesh* mesh, const void* data, size_t size, const char* path) {
    ByteSource source = MemoryByteSource(data, size);
    return LoadObjSource(mesh, &source, path);
}
