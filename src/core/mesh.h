// The mesh and scene records every subsystem shares, and the operations that
// create, grow, measure and free them.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int MaxMaterials = 512;
constexpr int MaxGroups = 512;
constexpr int MeshNameSize = 64;  // 63 characters and the terminator
constexpr int MaxSceneMeshes = 32;

struct Vec3 {
    float x, y, z;
};

// The renderer keeps its per-frame values of each vertex in an array of its
// own (render/screen_vertex.h), so the record stays at half a cache line.
struct MeshVertex {
    Vec3 position;
    Vec3 normal;
    // Hair builder working storage.
    int32_t strandMark;
    float strandT;
};

struct TexCoord {
    float u, v;
};

struct FacePlane {
    float nx, ny, nz, d;
};

// FaceAttributes word: material in bits 0-8, group in bits 9-17, the strand
// point count in bits 18-26 on the first slot of a line element (nine bits:
// strands of up to 511 points keep their count), and two flags.
using FaceAttributes = uint32_t;
constexpr uint32_t FaceMaterialMask = 0x1FF;
constexpr int FaceGroupShift = 9;
constexpr uint32_t FaceGroupMask = 0x1FF;
constexpr int FaceStrandCountShift = 18;
constexpr uint32_t FaceStrandCountMask = 0x1FF;
constexpr uint32_t FaceCopyMask = 0x3FFFF;  // material and group
constexpr uint32_t FaceLine = 0x08000000;
constexpr uint32_t FaceFront = 0x40000000;
constexpr int MaxStrandPoints = 511;

inline uint32_t FaceMaterialIndex(FaceAttributes a) { return a & FaceMaterialMask; }
inline uint32_t FaceGroupIndex(FaceAttributes a) { return (a >> FaceGroupShift) & FaceGroupMask; }
inline uint32_t FaceStrandCount(FaceAttributes a) { return (a >> FaceStrandCountShift) & FaceStrandCountMask; }

constexpr int32_t MaterialTransparent = 8;

struct Material {
    float ambient[3];
    float diffuse[3];
    float specular[3];
    float reserved0[3];
    float ambientLevel;
    float diffuseLevel;
    float specularLevel;
    int32_t diffuseExponent;
    int32_t specularExponent;
    int32_t materialFlags;
    int32_t reserved1[4];
    int32_t transparency;  // packed grey: a + a*256 + a*65536
    int32_t reserved2;
};

static_assert(sizeof(Material) == 96, "Material is twenty-four 4-byte values");
static_assert(offsetof(Material, ambientLevel) == 12 * 4, "Material layout");
static_assert(offsetof(Material, specularExponent) == 16 * 4, "Material layout");
static_assert(offsetof(Material, materialFlags) == 17 * 4, "Material layout");
static_assert(offsetof(Material, transparency) == 22 * 4, "Material layout");
static_assert(sizeof(MeshVertex) == 32, "MeshVertex is eight 4-byte values");
static_assert(offsetof(MeshVertex, normal) == 3 * 4, "MeshVertex layout");
static_assert(offsetof(MeshVertex, strandT) == 7 * 4, "MeshVertex layout");

struct ScreenRect {
    int32_t minX, minY, maxX, maxY;
};

struct Mesh {
    int32_t vertexCount;
    int32_t texCoordCount;
    int32_t faceCount;
    int32_t polygonCount;
    int32_t lineCount;
    int32_t materialCount;
    int32_t groupCount;
    int32_t faceCapacity;
    int32_t vertexCapacity;
    int32_t texCoordCapacity;
    MeshVertex* vertices;
    TexCoord* texCoords;
    int32_t* faceTexIndices;     // four per face slot
    int32_t* faceVertexIndices;  // four per face slot, -1 marks an empty corner
    FacePlane* facePlanes;
    FaceAttributes* faceAttributes;
    Material materials[MaxMaterials];
    Vec3 boundsMin;
    Vec3 boundsMax;
    Vec3 centre;
    float radius;
    ScreenRect screenRect;
    char groupNames[MaxGroups][MeshNameSize];
    char materialNames[MaxMaterials][MeshNameSize];
    char textureNames[MaxMaterials][MeshNameSize];
    char name[MeshNameSize];
};

// Corner count of a face slot (2 line segment, 3 triangle, 4 quadrilateral),
// decided by the vertex indices alone. `slot` must be below faceCount.
inline int SlotCornerCount(const Mesh& mesh, int slot) {
    const int32_t* c = mesh.faceVertexIndices + 4 * slot;
    if (c[2] == -1) return 2;
    if (c[3] == -1) return 3;
    return 4;
}

struct Scene {
    int32_t meshCount;
    Mesh* meshes[MaxSceneMeshes];
    Vec3 boundsMin;
    Vec3 boundsMax;
    Vec3 centre;
    float radius;
};

// Copies the NUL-terminated `text` into a fixed name buffer of `size` bytes,
// cut to size - 1 characters and always terminated; a size of 0 writes
// nothing. Names from files go through here, so no name overruns its field.
void CopyName(char* destination, const char* text, size_t size);

// The material a mesh slot holds until a file says otherwise: white diffuse,
// half-grey specular, every level 1, exponents 1 and 10, opaque.
Material DefaultMaterial();

// A new empty mesh named `name` (cut to MeshNameSize - 1): every count,
// capacity and array 0 or null, every material DefaultMaterial(), material 0
// named "Preview" and group 0 "default". The record alone is about 150 KB (the
// name tables), taken through AllocateBytes. Null when that fails. The caller
// owns the mesh and frees it with FreeMesh.
Mesh* CreateMesh(const char* name);
// Releases the mesh's arrays and the record. Null is ignored; a mesh whose
// Grow call failed half way is still freed whole.
void FreeMesh(Mesh* mesh);
// The vertex, texture coordinate and face arrays released and their pointers
// null; the record itself and its counts stay.
void ReleaseMeshArrays(Mesh* mesh);

// The Grow operations add `n` records of room to an array's capacity; they
// never change a count, and the new records are uninitialised (the producer
// that raises the count writes them). `n` may come straight from a file's
// declared count: a negative n, a capacity past INT32_MAX or a byte size past
// size_t (the 32-bit program's limit) returns 0 without allocating, as does a
// failed allocation; on failure the capacity stays as it was and every array
// still holds at least that many records, so the mesh is valid and freeable. n == 0 succeeds at once.
// Returns 1 on success.
int GrowVertices(Mesh* mesh, int64_t n);
int GrowTexCoords(Mesh* mesh, int64_t n);
// Grows the four per-slot arrays (vertex and texture corners, attributes,
// planes) together; faceCapacity changes only when all four have the room.
int GrowFaces(Mesh* mesh, int64_t n);
// The increment a producer that grows storage as its input arrives asks for
// when an array of `capacity` records is full: at least `minimum`, and half
// the present capacity, so that however large the input, each record is
// copied only a few times in all (a fixed step makes that quadratic wherever
// realloc moves the block, as the Windows heap does).
int64_t GeometricGrowth(int32_t capacity, int64_t minimum);
// The increment for a full array of `capacity` records when the input can
// tell its size: `count` records of this kind came from the last `bytesRead`
// bytes, and what is left (`bytesLeft`) would bring as many more at that
// rate; that and a sixteenth more, so that a large block fills without
// moving again (where the heap cannot resize in place, each move maps and
// copies the whole block afresh). Never below GeometricGrowth(capacity,
// minimum), which it is when nothing tells what is left (UINT64_MAX).
int64_t ForecastGrowth(int32_t capacity, int64_t count, uint64_t bytesRead, uint64_t bytesLeft, int64_t minimum);
// Grows with `grow` by the forecast, or when that much cannot be had, by the
// geometric step alone; 0 when neither can.
template <typename Owner>
int GrowByForecast(Owner* owner, int (*grow)(Owner*, int64_t), int32_t capacity, int64_t forecast, int64_t minimum) {
    if (grow(owner, forecast)) return 1;
    const int64_t step = GeometricGrowth(capacity, minimum);
    return forecast > step && grow(owner, step);
}
// Gives the unused tail of the vertex, texture-coordinate and face arrays
// back (capacities become the counts in use, where a count is not 0), once a
// producer that grew them geometrically is done. A shrink that cannot be done
// leaves that block larger than needed; the mesh stays valid either way.
void FitMeshStorage(Mesh* mesh);
// Face planes and unit vertex normals from the positions: each slot's normal
// is the Newell sum over its corners, normalised, and each vertex's normal the
// normalised sum of the normals of the slots that use it (a zero sum stays
// zero). Every corner of slots 0..faceCount-1 must already be a vertex index
// below vertexCount (unused corners -1): the readers check indices from a
// file before calling this, which does not.
void ComputeNormals(Mesh* mesh);
// ComputeNormals' work for one slot: adds the slot's unit normal to its
// corners' vertex normals and sets its plane. ComputeNormals zeroes the
// vertex normals, does this for every slot in order, then normalises them.
void AddFaceNormal(Mesh* mesh, int slot);
// The Newell terms of the polygon edge a -> b added to n: a slot's normal is
// their sum over its edges in corner order, closing at the first corner.
inline void AddNewellEdge(const Vec3& a, const Vec3& b, Vec3* n) {
    n->x += (a.y - b.y) * (a.z + b.z);
    n->y += (a.z - b.z) * (a.x + b.x);
    n->z += (a.x - b.x) * (a.y + b.y);
}
// The plane of a slot with unit normal n through its first corner p.
inline FacePlane PlaneThrough(const Vec3& n, const Vec3& p) {
    return FacePlane{n.x, n.y, n.z, n.x * p.x + n.y * p.y + n.z * p.z};
}
// Sets boundsMin, boundsMax, centre and radius (half the box's diagonal) from
// the vertex positions and returns 1; with no vertices returns 0 and leaves
// them as they were, which callers report as an empty model.
int ComputeBounds(Mesh* mesh);
// Sets the bounds of `mesh` to the box lo..hi, and its centre and radius.
void SetBounds(Mesh* mesh, const Vec3& lo, const Vec3& hi);
// Widens the box lo..hi to take in pmin..pmax (a NaN coordinate never does).
inline void WidenBox(Vec3* lo, Vec3* hi, const Vec3& pmin, const Vec3& pmax) {
    if (lo->x > pmin.x) lo->x = pmin.x;
    if (lo->y > pmin.y) lo->y = pmin.y;
    if (lo->z > pmin.z) lo->z = pmin.z;
    if (hi->x < pmax.x) hi->x = pmax.x;
    if (hi->y < pmax.y) hi->y = pmax.y;
    if (hi->z < pmax.z) hi->z = pmax.z;
}
// Frees every mesh of the scene and sets its count to 0.
void ClearScene(Scene* scene);
// The scene's box, centre and radius from its meshes' boxes (ComputeBounds
// done). Needs meshCount >= 1 and meshes[0] non-null; null later slots are
// passed over.
void ComputeSceneBounds(Scene* scene);
