// The contents of Poser geometry and material blocks.
#include "formats/poser_sections.h"

#include <cmath>
#include <cstring>

#include "core/int_math.h"
#include "core/memory.h"
#include "formats/face_slots.h"
#include "formats/obj_reader.h"
#include "formats/poser_tokens.h"
#include "formats/text_scan.h"

namespace {

// A block's announced count: a 32-bit integer that is not negative.
bool ReadCount(const char* text, int32_t* value) { return ScanInt32(text, value, nullptr) && *value >= 0; }

// Finds `name` among the first `count` entries of `names`; appends it when
// absent and there is room. Returns the index, or -1 when the table is full.
int FindOrAddName(char (*names)[MeshNameSize], int32_t* count, const char* name, int limit) {
    for (int i = 0; i < *count; ++i) {
        if (std::strcmp(names[i], name) == 0) return i;
    }
    if (*count >= limit) return -1;
    CopyName(names[*count], name, MeshNameSize);
    return (*count)++;
}

// Reads tokens up to the '{' that opens a block; a '}' first fails.
int OpenBlock(char* word, char* argument) {
    for (;;) {
        if (!NextPoserToken(word, argument) || IsPoserBrace(word, '}')) return 0;
        if (IsPoserBrace(word, '{')) return 1;
    }
}

bool IsNumberField(const char* begin, const char* end) {
    if (begin < end && (*begin == '-' || *begin == '+')) ++begin;
    if (begin == end) return false;
    for (const char* p = begin; p < end; ++p) {
        if ((*p < '0' || *p > '9') && *p != '.') return false;
    }
    return true;
}

// "KdColor", "KaColor" and "KsColor": a colour line of a material block.
bool IsColourWord(const char* word) {
    return word[0] == 'K' && (word[1] == 'd' || word[1] == 'a' || word[1] == 's') &&
           std::strcmp(word + 2, "Color") == 0;
}

// A colour line: its three values, and the level (and for the diffuse and
// specular colours the exponent) back to what a fresh material has. 0 when
// the values do not read.
int ReadColour(Material* m, const char* word, const char* argument) {
    float values[3];
    if (ScanFloats(argument, values, 3) != 3) return 0;
    const Material fresh = DefaultMaterial();
    switch (word[1]) {
        case 'd':
            std::memcpy(m->diffuse, values, sizeof values);
            m->diffuseLevel = fresh.diffuseLevel;
            m->diffuseExponent = fresh.diffuseExponent;
            break;
        case 'a':
            std::memcpy(m->ambient, values, sizeof values);
            m->ambientLevel = fresh.ambientLevel;
            break;
        default:
            std::memcpy(m->specular, values, sizeof values);
            m->specularLevel = fresh.specularLevel;
            m->specularExponent = fresh.specularExponent;
    }
    return 1;
}

}  // namespace

namespace {

// What one geometry block keeps while it is read: its indices count from
// the bases, and the counts reach the mesh when the block closes.
struct GeometryBlock {
    Mesh* mesh;
    PoserRoom* room;
    int32_t vertexBase, texBase;
    int32_t polygonsBefore, linesBefore;
    int32_t vertexCounter, texCounter;
    int32_t slot;
    int32_t group, material;
    // The slot and input offset of the block's first element: the slots grow
    // toward what the rest of the input brings at their pace since.
    int32_t elementsSlot;
    uint64_t elementsFrom;
};

// Token results: go on, the block is done (1 or 0 its result), or failure.
enum GeometryStep { StepContinue, StepDone, StepFailed };

// The fewest bytes a record takes in the file: "v 0 0 0" or "vt 0 0" and
// its line end, and a strand's further point ("7 ") for a face slot. A count
// announced past what the rest of the file could hold is taken no further
// than that, so that a small file cannot make the reader reserve gigabytes.
constexpr uint64_t FewestBytesPerCoordinate = 6;
constexpr uint64_t FewestBytesPerSlot = 2;
// The records a count reserves beyond itself.
constexpr int64_t CoordinateSpare = 256;
constexpr int64_t SlotSpare = 1024;

// The records to reserve for `wanted` more, as far as the input left could
// hold them and the block's usual `spare`: a short block then reserves once,
// as it always did, instead of growing step by step.
int64_t FillableRecords(int64_t wanted, uint64_t bytesPerRecord, uint64_t spare) {
    const uint64_t fillable = PoserInputBytesLeft() / bytesPerRecord + spare;
    return fillable < static_cast<uint64_t>(wanted) ? static_cast<int64_t>(fillable) : wanted;
}

// A count's room added to what the counts announced: it must stay within
// 32 bits and its bytes within the address space, as reserving it all would.
// The storage is reserved toward it as far as the input left could fill it.
bool AnnounceRoom(int64_t* room, int64_t more, size_t recordSize, int32_t capacity, int (*grow)(Mesh*, int64_t),
                  Mesh* mesh) {
    size_t bytes = 0;
    if (!ArrayByteSize(*room + more, recordSize, &bytes)) return false;
    *room += more;
    return grow(mesh, FillableRecords(*room - capacity, FewestBytesPerCoordinate, CoordinateSpare)) != 0;
}

// Room for the coordinate at `counter`: within the announced room, the
// storage grows by half when the reservation fell short of it.
bool CoordinateRoom(int32_t counter, int64_t room, int32_t capacity, int (*grow)(Mesh*, int64_t), Mesh* mesh) {
    if (counter < capacity) return true;
    if (counter >= room) return false;
    const int64_t step = GeometricGrowth(capacity, 256);
    return grow(mesh, step < room - capacity ? step : room - capacity) != 0;
}

// "numbVerts", "numbTVerts" and "numbElems": storage for what the block
// announces. An empty block keeps nothing of itself.
GeometryStep ReserveAnnounced(GeometryBlock* block, char* word, char* argument) {
    Mesh* mesh = block->mesh;
    PoserRoom* room = block->room;
    int32_t count = 0;
    if (!ReadCount(argument, &count)) return StepFailed;
    if (word[4] == 'V') {
        if (count < 1) {
            mesh->polygonCount = block->polygonsBefore;
            mesh->lineCount = block->linesBefore;
            return SkipPoserBlock(word, argument) ? StepDone : StepFailed;
        }
        return AnnounceRoom(&room->vertices, static_cast<int64_t>(count) + CoordinateSpare, sizeof(MeshVertex),
                            mesh->vertexCapacity, GrowVertices, mesh)
                   ? StepContinue
                   : StepFailed;
    }
    if (word[4] == 'T') {
        return count == 0 || AnnounceRoom(&room->texCoords, static_cast<int64_t>(count) + CoordinateSpare,
                                          sizeof(TexCoord), mesh->texCoordCapacity, GrowTexCoords, mesh)
                   ? StepContinue
                   : StepFailed;
    }
    // The slots arrive with their elements, which grow the storage as they
    // need; a count too large for the face arrays still fails the load.
    const int64_t more = static_cast<int64_t>(count) + SlotSpare;
    size_t bytes = 0;
    if (!ArrayByteSize(4 * (mesh->faceCapacity + more), sizeof(int32_t), &bytes)) return StepFailed;
    return GrowFaces(mesh, FillableRecords(more, FewestBytesPerSlot, SlotSpare)) ? StepContinue : StepFailed;
}

// "v" and "vt": a coordinate in the room announced for it.
GeometryStep StoreCoordinate(GeometryBlock* block, bool texture, const char* argument) {
    Mesh* mesh = block->mesh;
    float p[3];
    if (texture) {
        if (!CoordinateRoom(block->texCounter, block->room->texCoords, mesh->texCoordCapacity, GrowTexCoords, mesh) ||
            ScanFloats(argument, p, 2, argument + PoserArgumentSize) != 2)
            return StepFailed;
        mesh->texCoords[block->texCounter++] = TexCoord{p[0], p[1]};
        return StepContinue;
    }
    if (!CoordinateRoom(block->vertexCounter, block->room->vertices, mesh->vertexCapacity, GrowVertices, mesh) ||
        ScanFloats(argument, p, 3, argument + PoserArgumentSize) != 3)
        return StepFailed;
    MeshVertex vertex{};
    vertex.position = Vec3{p[0], p[1], p[2]};
    mesh->vertices[block->vertexCounter++] = vertex;
    return StepContinue;
}

// "f" and "l": a polygon or a strand, dropped when it has too few groups.
GeometryStep StoreElement(GeometryBlock* block, bool line, const char* argument) {
    Mesh* mesh = block->mesh;
    int32_t vertexIndices[MaxCornersPerStatement];
    int32_t texIndices[MaxCornersPerStatement];
    const int n = ParseIndexGroups(argument, block->vertexCounter - block->vertexBase,
                                   block->texCounter - block->texBase, vertexIndices, texIndices);
    if (n < (line ? 2 : 3)) return StepContinue;
    if (block->elementsSlot < 0) {
        block->elementsSlot = block->slot;
        block->elementsFrom = PoserInputOffset();
    }
    // Room for the statement's last slot (the stored growth test).
    if (ElementRoomSlot(block->slot, line, n) >= mesh->faceCapacity &&
        !GrowByForecast(mesh, GrowFaces, mesh->faceCapacity,
                        ForecastGrowth(mesh->faceCapacity, block->slot - block->elementsSlot,
                                       PoserInputOffset() - block->elementsFrom, PoserInputExactBytesLeft(), 1024),
                        1024))
        return StepFailed;
    const FaceAttributes attributes =
        static_cast<FaceAttributes>(block->group) << FaceGroupShift | static_cast<FaceAttributes>(block->material);
    block->slot += StoreElementSlots(mesh, line, block->slot, vertexIndices, texIndices, n, attributes,
                                     block->vertexBase, block->texBase);
    return StepContinue;
}

// "g" and "usemtl": the current group or material; an empty name or a full
// table changes nothing.
void SelectGeometryName(GeometryBlock* block, bool group, char* argument) {
    Mesh* mesh = block->mesh;
    if (CutPoserName(argument) == 0) return;
    const int index = group ? FindOrAddName(mesh->groupNames, &mesh->groupCount, argument, MaxGroups)
                            : FindOrAddName(mesh->materialNames, &mesh->materialCount, argument, MaxMaterials);
    if (index >= 0) (group ? block->group : block->material) = index;
}

GeometryStep HandleGeometryToken(GeometryBlock* block, char* word, char* argument) {
    // The one-letter words come first: they are nearly all of a block.
    if (word[1] == '\0' || (word[2] == '\0' && word[0] == 'v' && word[1] == 't')) {
        switch (word[0]) {
            case 'v': return StoreCoordinate(block, word[1] == 't', argument);
            case 'f':
            case 'l': return StoreElement(block, word[0] == 'l', argument);
            case 'g': SelectGeometryName(block, true, argument); return StepContinue;
            case '{': return SkipPoserBlock(word, argument) ? StepContinue : StepFailed;
            case '}': {
                Mesh* mesh = block->mesh;
                mesh->faceCount = block->slot;
                mesh->vertexCount = block->vertexCounter;
                mesh->texCoordCount = block->texCounter;
                return StepDone;
            }
            default: return StepContinue;
        }
    }
    if (std::strcmp(word, "numbVerts") == 0 || std::strcmp(word, "numbTVerts") == 0 ||
        std::strcmp(word, "numbElems") == 0)
        return ReserveAnnounced(block, word, argument);
    if (std::strcmp(word, "usemtl") == 0) SelectGeometryName(block, false, argument);
    return StepContinue;
}

}  // namespace

int ReadPoserGeometry(Mesh* mesh, PoserRoom* room, char* word, char* argument) {
    GeometryBlock block{};
    block.mesh = mesh;
    block.room = room;
    block.vertexBase = block.vertexCounter = mesh->vertexCount;
    block.texBase = block.texCounter = mesh->texCoordCount;
    block.polygonsBefore = mesh->polygonCount;
    block.linesBefore = mesh->lineCount;
    block.slot = mesh->faceCount;
    block.elementsSlot = -1;
    if (!OpenBlock(word, argument)) return 0;
    for (;;) {
        if (!NextPoserToken(word, argument)) return 0;
        const GeometryStep step = HandleGeometryToken(&block, word, argument);
        if (step != StepContinue) return step == StepDone;
    }
}

int ReadPoserMaterial(Mesh* mesh, char* word, char* argument) {
    CutPoserName(argument);
    int index = -1;
    for (int i = 0; argument[0] && i < mesh->materialCount; ++i) {
        if (std::strcmp(mesh->materialNames[i], argument) == 0) {
            index = i;
            break;
        }
    }
    if (index < 0) return SkipPoserMaterialBlock(word, argument);
    if (!OpenBlock(word, argument)) return 0;
    Material& m = mesh->materials[index];
    for (;;) {
        if (!NextPoserToken(word, argument)) return 0;
        if (IsPoserBrace(word, '}')) return 1;
        float values[3];
        if (IsPoserBrace(word, '{')) {
            if (!SkipPoserBlock(word, argument)) return 0;
        } else if (IsColourWord(word)) {
            if (!ReadColour(&m, word, argument)) return 0;
        } else if (std::strcmp(word, "NsExponent") == 0) {
            if (ScanFloats(argument, values, 1) != 1) return 0;
            m.specularExponent = TruncateSaturated(values[0]);
        } else if (std::strcmp(word, "tMax") == 0) {
            if (ScanFloats(argument, values, 1) != 1) return 0;
            const float v = values[0] < 0.0f ? 0.0f : values[0] > 1.0f ? 1.0f : values[0];
            if (v == 0.0f) {
                m.transparency = 0;
            } else {
                m.materialFlags |= MaterialTransparent;
                const int32_t a = static_cast<int32_t>(v * 255.0f);
                m.transparency = a | a << 8 | a << 16;
            }
        } else if (std::strcmp(word, "textureMap") == 0) {
            TextureFileNameFromPath(argument);
            CopyName(mesh->textureNames[index], argument, MeshNameSize);
        }
    }
}

void TextureFileNameFromPath(char* text) {
    size_t end = std::strlen(text);
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    if (text[0] == '"') {
        // A quoted path ends at its closing quote, whatever follows it.
        const char* close = static_cast<const char*>(std::memchr(text + 1, '"', end > 0 ? end - 1 : 0));
        if (close) end = static_cast<size_t>(close - text) + 1;
    } else {
        // An unquoted map keeps its name without the trailing number pair.
        for (int field = 0; field < 2; ++field) {
            size_t start = end;
            while (start > 0 && text[start - 1] != ' ' && text[start - 1] != '\t') --start;
            if (start == 0 || !IsNumberField(text + start, text + end)) break;
            end = start;
            while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
        }
    }
    if (end > 0 && text[end - 1] == '"') --end;
    size_t start = end;
    while (start > 0 && text[start - 1] != ':' && text[start - 1] != '"' && text[start - 1] != '\\') --start;
    std::memmove(text, text + start, end - start);
    text[end - start] = '\0';
    if (std::strcmp(text, "NO_MAP") == 0) text[0] = '\0';
}
