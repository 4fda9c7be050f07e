// The load of a Poser file: the walk over its file and object blocks, which
// hands the blocks the program keeps to their readers, and the messages.
#include "formats/poser_reader.h"

#include <cstring>

#include "core/loaded_mesh.h"
#include "core/platform.h"
#include "formats/file_source.h"
#include "formats/poser_sections.h"
#include "formats/poser_tokens.h"

namespace {

// Walk results.
constexpr int WalkNoGeometry = -1;
constexpr int WalkFailed = 0;
constexpr int WalkDone = 1;

int ReadObjectBlock(Mesh* mesh, PoserRoom* room, char* word, char* argument) {
    if (CutPoserName(argument) > 0) CopyName(mesh->name, argument, MeshNameSize);
    for (;;) {
        if (!NextPoserToken(word, argument) || IsPoserBrace(word, '}')) return 0;
        if (IsPoserBrace(word, '{')) break;
    }
    for (;;) {
        if (!NextPoserToken(word, argument)) return 0;
        if (IsPoserBrace(word, '}')) return 1;
        if (IsPoserBrace(word, '{')) {
            if (!SkipPoserBlock(word, argument)) return 0;
        } else if (std::strcmp(word, "geomCustom") == 0) {
            if (!ReadPoserGeometry(mesh, room, word, argument)) return 0;
        } else if (std::strcmp(word, "material") == 0) {
            if (!ReadPoserMaterial(mesh, word, argument)) return 0;
        }
    }
}

bool IsObjectKeyword(const char* word) {
    return std::strcmp(word, "prop") == 0 || std::strcmp(word, "hairProp") == 0 || std::strcmp(word, "actor") == 0 ||
           std::strcmp(word, "figure") == 0;
}

// A geometry block without texture coordinates after one with them leaves
// indices past the end; they fall back to the first coordinate.
void ClampTexIndices(Mesh* mesh) {
    for (int64_t k = 0; k < 4 * static_cast<int64_t>(mesh->faceCount); ++k) {
        int32_t& index = mesh->faceTexIndices[k];
        if (index >= mesh->texCoordCount || index < 0) index = 0;
    }
}

int WalkFile(Mesh* mesh, char* word, char* argument) {
    PoserRoom room{mesh->vertexCapacity, mesh->texCoordCapacity};
    for (;;) {
        if (!NextPoserToken(word, argument) || IsPoserBrace(word, '}')) return WalkFailed;
        if (IsPoserBrace(word, '{')) break;
    }
    for (;;) {
        if (!NextPoserToken(word, argument)) return WalkFailed;
        if (IsPoserBrace(word, '}')) break;
        if (IsPoserBrace(word, '{')) {
            if (!SkipPoserBlock(word, argument)) return WalkFailed;
        } else if (IsObjectKeyword(word)) {
            if (!ReadObjectBlock(mesh, &room, word, argument)) return WalkFailed;
        }
    }
    if (mesh->vertexCount == 0) return WalkNoGeometry;
    ClampTexIndices(mesh);
    FitMeshStorage(mesh);
    if (!FinishLoadedMesh(mesh)) return WalkFailed;
    return WalkDone;
}

// Tells the user how a walk ended; 1 when it loaded.
int Report(int result) {
    if (result == WalkNoGeometry) {
        ShowMessageBox(OwnerNone, "No internal geometry", "Error", MessageOk);
        return 0;
    }
    if (result == WalkFailed) {
        ShowMessageBox(OwnerNone, "Unable to read file", "Error", MessageOk);
        return 0;
    }
    return 1;
}

}  // namespace

int LoadPoserSource(Mesh* mesh, ByteSource* source) {
    static char word[PoserWordSize];
    static char argument[PoserArgumentSize];
    StartPoserInput(source);
    int result = WalkFile(mesh, word, argument);
    // The walk ends with the file block; a compressed stream can still be
    // damaged behind it (its tail, its check sum), and such a file must not
    // load.
    if (result != WalkFailed) DrainByteSource(source);
    if (source->failed) result = WalkFailed;
    ClosePoserInput();
    return Report(result);
}

int LoadPoserFile(Mesh* mesh, const char* path) {
    // A file that cannot be opened is told like any other unreadable file.
    ByteSource source;
    if (!OpenMeshFileSource(path, &source)) return Report(WalkFailed);
    const int ok = LoadPoserSource(mesh, &source);
    CloseMeshFileSource(&source);
    return ok;
}

int LoadPoserMemory(Mesh* mesh, const void* data, size_t size) {
    ByteSource source = MemoryByteSource(data, size);
    return LoadPoserSource(mesh, &source);
}
