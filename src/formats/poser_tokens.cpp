// The Poser tokenizer, the walk over the file and object blocks, and the
// load that ties them to the mesh.
#include "formats/poser_tokens.h"

#include <cstdio>
#include <cstring>

#include "core/mapping.h"
#include "core/platform.h"
#include "formats/byte_source.h"
#include "formats/file_source.h"
#include "formats/poser_sections.h"

namespace {

// The one input a load reads from: a file opened here, or a caller's source.
struct PoserInput {
    std::FILE* file;
    ByteSource fileSource;
    TextWindow window;
    unsigned char storage[TextWindowSize + 1];
};
PoserInput input = {};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The text from the window's position to the end of its line into `out`
// (`size` bytes), which ends the line; 0 when the line does not fit or the
// input ends before its CR or LF.
int TakeLine(char* out, size_t size) {
    TextWindow* w = &input.window;
    size_t end = 0;
    if (FindLineEnd(w, &end) != LineTerminated) return 0;
    const size_t length = end - w->position;
    if (length >= size) return 0;
    std::memcpy(out, w->bytes + w->position, length);
    out[length] = '\0';
    w->position = end + 1;
    return 1;
}

// Walk results.
constexpr int WalkNoGeometry = -1;
constexpr int WalkFailed = 0;
constexpr int WalkDone = 1;

int ReadObjectBlock(Mesh* mesh, char* word, char* argument) {
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
            if (!ReadPoserGeometry(mesh, word, argument)) return 0;
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
            if (!ReadObjectBlock(mesh, word, argument)) return WalkFailed;
        }
    }
    if (mesh->vertexCount == 0) return WalkNoGeometry;
    ClampTexIndices(mesh);
    FitMeshStorage(mesh);
    ComputeNormals(mesh);
    ComputeBounds(mesh);
    if (mesh->texCoordCount == 0 && !MapSpherical(mesh)) return WalkFailed;
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

int OpenPoserInput(const char* path) {
    ClosePoserInput();
    input.file = std::fopen(path, "rb");
    if (!input.file) return 0;
    input.fileSource = FileByteSource(input.file);
    StartTextWindow(&input.window, &input.fileSource, input.storage);
    return 1;
}

void StartPoserInput(ByteSource* source) {
    ClosePoserInput();
    StartTextWindow(&input.window, source, input.storage);
}

void ClosePoserInput() {
    if (input.file) std::fclose(input.file);
    input.file = nullptr;
    StartTextWindow(&input.window, nullptr, input.storage);
}

int NextPoserToken(char* word, char* argument) {
    word[0] = '\0';
    argument[0] = '\0';
    TextWindow* w = &input.window;
    for (;;) {
        if (!SkipBlanks(w, true)) return 0;
        const char c = static_cast<char>(w->bytes[w->position]);
        if (c == '{' || c == '}') {
            word[0] = c;
            word[1] = '\0';
            ++w->position;
            return 1;
        }
        // Every other token needs its line's end: the input ending before it
        // loses the token.
        size_t end = 0;
        const LineKind kind = FindLineEnd(w, &end);
        if (kind == LineAtEnd) return 0;
        const char* line = reinterpret_cast<const char*>(w->bytes);
        const size_t start = w->position;
        if (start + 1 < end && line[start] == '/' && line[start + 1] == '/') {
            if (!SkipLine(w)) return 0;  // a comment
            continue;
        }
        size_t stop = start + 1;  // the first character is no blank
        while (stop < end && !IsBlank(line[stop])) ++stop;
        if (stop - start + 1 > PoserWordSize) return 0;
        std::memcpy(word, line + start, stop - start);
        word[stop - start] = '\0';
        w->position = stop;
        if (stop == end) {
            ++w->position;  // the word ends the line: no argument
            return 1;
        }
        if (!SkipBlanks(w, false)) return 0;
        return TakeLine(argument, PoserArgumentSize);
    }
}

int SkipPoserBlock(char* word, char* argument) {
    int depth = 1;
    while (NextPoserToken(word, argument)) {
        if (IsPoserBrace(word, '{')) {
            ++depth;
        } else if (IsPoserBrace(word, '}') && --depth == 0) {
            return 1;
        }
    }
    return 0;
}

int SkipPoserMaterialBlock(char* word, char* argument) {
    if (!NextPoserToken(word, argument) || !IsPoserBrace(word, '{')) return 0;
    return SkipPoserBlock(word, argument);
}

int CutPoserName(char* text) {
    size_t length = 0;
    while (text[length] && text[length] != ' ' && text[length] != '\t' && text[length] != ':' &&
           length < MeshNameSize - 1)
        ++length;
    text[length] = '\0';
    return static_cast<int>(length);
}

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
