// The mesh checks and the scratch file of the fuzz targets.
#include "fuzz_support.h"

#include "core/memory.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// A storage request the allocator cannot meet comes back as null, as it does
// for the program, so the reader's failure path runs instead of the run
// ending.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:detect_leaks=1"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz: the result breaks a rule: %s\n", what);
    std::abort();
}

namespace {

// A plain loop rather than memchr: most names are empty, so their first byte
// answers, where the sanitizer's memchr checked all 64 bytes of 1,537 names.
bool Terminated(const char* name) {
    for (int i = 0; i < MeshNameSize; ++i)
        if (name[i] == '\0') return true;
    return false;
}

void CheckNames(const Mesh& mesh) {
    Require(Terminated(mesh.name), "mesh name terminated");
    for (int i = 0; i < MaxGroups; ++i) Require(Terminated(mesh.groupNames[i]), "group names terminated");
    for (int i = 0; i < MaxMaterials; ++i) {
        Require(Terminated(mesh.materialNames[i]), "material names terminated");
        Require(Terminated(mesh.textureNames[i]), "texture names terminated");
    }
}

void CheckCapacities(const Mesh& mesh) {
    Require(mesh.vertexCount >= 0 && mesh.vertexCount <= mesh.vertexCapacity, "vertices within capacity");
    Require(mesh.texCoordCount >= 0 && mesh.texCoordCount <= mesh.texCoordCapacity,
            "texture coordinates within capacity");
    Require(mesh.faceCount >= 0 && mesh.faceCount <= mesh.faceCapacity, "face slots within capacity");
    Require(mesh.groupCount >= 0 && mesh.groupCount <= MaxGroups, "group count within the table");
    Require(mesh.materialCount >= 0 && mesh.materialCount <= MaxMaterials, "material count within the table");
}

void CheckReaderCounts(const Mesh& mesh, bool needsFaces) {
    Require(mesh.vertexCount > 0, "a loaded mesh has vertices");
    // The spherical mapping gives each corner a coordinate: none without faces.
    Require(mesh.texCoordCount > 0 || mesh.faceCount == 0, "a loaded mesh has texture coordinates");
    Require(!needsFaces || mesh.faceCount > 0, "a loaded mesh has face slots");
    Require(mesh.polygonCount >= 0 && mesh.lineCount >= 0 &&
                static_cast<int64_t>(mesh.polygonCount) + mesh.lineCount <= mesh.faceCount,
            "every counted polygon and line has a slot");
}

// Corners of one slot: the used ones come first and name existing entries,
// the unused ones hold vertex -1 and texture 0. Returns the used count.
int CheckCorners(const Mesh& mesh, int32_t slot) {
    const int32_t* v = mesh.faceVertexIndices + 4 * slot;
    const int32_t* t = mesh.faceTexIndices + 4 * slot;
    int used = 0;
    while (used < 4 && v[used] != -1) {
        Require(v[used] >= 0 && v[used] < mesh.vertexCount, "corner names an existing vertex");
        Require(t[used] >= 0 && t[used] < mesh.texCoordCount, "corner names an existing texture coordinate");
        ++used;
    }
    for (int c = used; c < 4; ++c) Require(v[c] == -1 && t[c] == 0, "unused corners come last, marked");
    return used;
}

uint32_t StrandCountOf(FaceAttributes a) { return (a >> FaceStrandCountShift) & FaceStrandCountMask; }

// A strand of n points takes one slot for up to four points and one more for
// every further three.
int32_t ExpectedStrandSlots(uint32_t n) { return n <= 4 ? 1 : 1 + static_cast<int32_t>((n - 4 + 2) / 3); }

// The chain that starts at `first`; returns the slot after it.
int32_t CheckStrand(const Mesh& mesh, int32_t first) {
    const FaceAttributes head = mesh.faceAttributes[first];
    const uint32_t n = StrandCountOf(head);
    Require(n >= 2 && n <= static_cast<uint32_t>(MaxStrandPoints), "strand point count in range");
    const int32_t slots = ExpectedStrandSlots(n);
    Require(static_cast<int64_t>(first) + slots <= mesh.faceCount, "strand's slots all stored");
    uint32_t points = 0;
    for (int32_t s = first; s < first + slots; ++s) {
        const FaceAttributes a = mesh.faceAttributes[s];
        Require((a & FaceLine) != 0, "strand slots are line slots");
        Require(s == first || StrandCountOf(a) == 0, "continuation slots carry no count");
        Require((a & FaceCopyMask) == (head & FaceCopyMask), "a strand's slots share group and material");
        const int used = CheckCorners(mesh, s);
        Require(used >= 2, "a line slot holds two points or more");
        // The shared point's texture index is not compared: the spherical
        // mapping gives every corner a coordinate of its own.
        if (s > first)
            Require(mesh.faceVertexIndices[4 * s] == mesh.faceVertexIndices[4 * (s - 1) + 3],
                    "a continuation slot repeats the previous slot's last point");
        points += static_cast<uint32_t>(s == first ? used : used - 1);
    }
    Require(points == n, "a strand's slots hold its point count");
    return first + slots;
}

void CheckSlots(const Mesh& mesh) {
    const uint32_t known = FaceCopyMask | (FaceStrandCountMask << FaceStrandCountShift) | FaceLine;
    const int32_t groups = mesh.groupCount > 0 ? mesh.groupCount : 1;
    const int32_t materials = mesh.materialCount > 0 ? mesh.materialCount : 1;
    int32_t strands = 0;
    for (int32_t s = 0; s < mesh.faceCount; ++s) {
        const FaceAttributes a = mesh.faceAttributes[s];
        Require((a & ~known) == 0, "only the reader's attribute bits are set");
        Require(FaceGroupIndex(a) < static_cast<uint32_t>(groups), "slot's group exists");
        Require(FaceMaterialIndex(a) < static_cast<uint32_t>(materials), "slot's material exists");
        if (a & FaceLine) {
            Require(StrandCountOf(a) != 0, "every line slot belongs to a strand");
            s = CheckStrand(mesh, s) - 1;
            ++strands;
        } else {
            Require(StrandCountOf(a) == 0, "polygon slots carry no strand count");
            Require(CheckCorners(mesh, s) >= 3, "a polygon slot has three or four corners");
        }
    }
    Require(strands == mesh.lineCount, "one strand per counted line");
}

}  // namespace

// Every load starts from one record that is reset to what CreateMesh makes,
// instead of a record made afresh: clearing and filling its 150 KB of name
// tables and materials through the sanitizer's checked memset cost a fifth
// of an OBJ input. The copy runs outside the sanitizers (both are whole
// records) and is kept from becoming a memcpy call, which it would check.
static_assert(sizeof(Mesh) % sizeof(uint64_t) == 0, "the record copies in words");
__attribute__((no_sanitize("address", "undefined", "coverage"), no_builtin("memcpy"))) void CopyMeshRecord(
    Mesh* to, const Mesh* from) {
    uint64_t* out = reinterpret_cast<uint64_t*>(to);
    const uint64_t* in = reinterpret_cast<const uint64_t*>(from);
    for (size_t i = 0; i < sizeof(Mesh) / sizeof(uint64_t); ++i) out[i] = in[i];
}

__attribute__((no_sanitize("address", "undefined", "coverage"), no_builtin("memcmp"))) bool SameBytes(const void* a,
                                                                                                      const void* b,
                                                                                                      size_t size) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    unsigned char differ = 0;
    for (size_t i = 0; i < size; ++i) differ |= static_cast<unsigned char>(x[i] ^ y[i]);
    return differ == 0;
}

namespace {

// The table entries a load may have written: those below the count it left,
// and the one after (a name about to be added).
size_t EntriesInUse(int32_t count, int32_t limit) {
    if (count < 0) count = 0;
    return static_cast<size_t>(count < limit ? count + 1 : limit);
}

// Bytes [begin, end) of the record, copied as CopyMeshRecord copies.
__attribute__((no_sanitize("address", "undefined", "coverage"), no_builtin("memcpy"))) void CopyRecordPart(
    Mesh* to, const Mesh* from, const void* begin, const void* end) {
    const size_t first = static_cast<const char*>(begin) - reinterpret_cast<const char*>(from);
    const size_t last = static_cast<const char*>(end) - reinterpret_cast<const char*>(from);
    char* out = reinterpret_cast<char*>(to);
    const char* in = reinterpret_cast<const char*>(from);
    for (size_t i = first; i < last; ++i) out[i] = in[i];
}

}  // namespace

// Only what the last load can have changed goes back: the counts and the
// arrays, the table entries in use and the one after, the bounds and the
// name. A whole copy of the 150 KB record was a tenth of a Poser input.
Mesh* FreshMesh() {
    static Mesh* const made = CreateMesh("prop");
    static Mesh* const reused = CreateMesh("prop");
    Require(made && reused, "the mesh records are made");
    const size_t materials = EntriesInUse(reused->materialCount, MaxMaterials);
    const size_t groups = EntriesInUse(reused->groupCount, MaxGroups);
    CopyRecordPart(reused, made, made, made->materials + materials);
    CopyRecordPart(reused, made, &made->boundsMin, made->groupNames + groups);
    CopyRecordPart(reused, made, made->materialNames, made->materialNames + materials);
    CopyRecordPart(reused, made, made->textureNames, made->textureNames + materials);
    CopyRecordPart(reused, made, made->name, made->name + MeshNameSize);
    return reused;
}

namespace {

std::string scratchFolder;
std::vector<std::string> scratchFiles;

void RemoveScratch() {
    for (const std::string& path : scratchFiles) unlink(path.c_str());
    rmdir(scratchFolder.c_str());
}

}  // namespace

void CheckMeshStorage(const Mesh& mesh) {
    CheckNames(mesh);
    CheckCapacities(mesh);
    for (int32_t s = 0; s < mesh.faceCount; ++s) Require(CheckCorners(mesh, s) >= 2, "a slot has two corners or more");
}

void CheckLoadedMesh(const Mesh& mesh, bool needsFaces) {
    CheckMeshStorage(mesh);
    CheckReaderCounts(mesh, needsFaces);
    CheckSlots(mesh);
}

void CheckMeshLoad(MeshLoad load, bool needsFaces, const uint8_t* data, size_t size) {
    Mesh* mesh = FreshMesh();
    const long live = LiveAllocationCount();
    if (load(mesh, data, size)) CheckLoadedMesh(*mesh, needsFaces);
    ReleaseMeshArrays(mesh);
    Require(LiveAllocationCount() == live, "no block outlives the load");
}

const char* ScratchFolder() {
    if (scratchFolder.empty()) {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        scratchFolder = std::string(base) + "/quillmere-fuzz-" + std::to_string(getpid()) + "/";
        mkdir(scratchFolder.c_str(), 0700);
        std::atexit(RemoveScratch);
    }
    return scratchFolder.c_str();
}

const char* WriteScratchFile(const char* fileName, const uint8_t* data, size_t size) {
    static std::string path;
    path = std::string(ScratchFolder()) + fileName;
    bool known = false;
    for (const std::string& written : scratchFiles) known = known || written == path;
    if (!known) scratchFiles.push_back(path);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    Require(file != nullptr, "the scratch file can be written");
    Require(std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0,
            "the scratch file takes the whole input");
    return path.c_str();
}
