#include "core/mesh.h"

#include <cmath>
#include <cstring>

#include "core/math3d.h"
#include "core/memory.h"

void CopyName(char* destination, const char* text, size_t size) {
    if (size == 0) return;
    size_t length = std::strlen(text);
    if (length > size - 1) length = size - 1;
    std::memcpy(destination, text, length);
    destination[length] = '\0';
}

Material DefaultMaterial() {
    Material m{};
    for (int i = 0; i < 3; ++i) {
        m.diffuse[i] = 1.0f;
        m.specular[i] = 0.5f;
    }
    m.ambientLevel = 1.0f;
    m.diffuseLevel = 1.0f;
    m.specularLevel = 1.0f;
    m.diffuseExponent = 1;
    m.specularExponent = 10;
    return m;
}

Mesh* CreateMesh(const char* name) {
    Mesh* mesh = static_cast<Mesh*>(AllocateBytes(sizeof(Mesh)));
    if (!mesh) return nullptr;
    std::memset(static_cast<void*>(mesh), 0, sizeof(Mesh));
    CopyName(mesh->name, name, MeshNameSize);
    const Material defaults = DefaultMaterial();
    for (Material& m : mesh->materials) m = defaults;
    CopyName(mesh->materialNames[0], "Preview", MeshNameSize);
    CopyName(mesh->groupNames[0], "default", MeshNameSize);
    return mesh;
}

void ReleaseMeshArrays(Mesh* mesh) {
    ReleaseBytes(mesh->vertices);
    ReleaseBytes(mesh->texCoords);
    ReleaseBytes(mesh->faceTexIndices);
    ReleaseBytes(mesh->faceVertexIndices);
    ReleaseBytes(mesh->facePlanes);
    ReleaseBytes(mesh->faceAttributes);
    mesh->vertices = nullptr;
    mesh->texCoords = nullptr;
    mesh->faceTexIndices = nullptr;
    mesh->faceVertexIndices = nullptr;
    mesh->facePlanes = nullptr;
    mesh->faceAttributes = nullptr;
}

void FreeMesh(Mesh* mesh) {
    if (!mesh) return;
    ReleaseMeshArrays(mesh);
    ReleaseBytes(mesh);
}

namespace {

// New capacity after growing `capacity` by `n`, or failure when n is negative
// or the result passes the signed 32-bit range.
int GrownCapacity(int32_t capacity, int64_t n, int32_t* grown) {
    if (n < 0) return 0;
    const int64_t total = static_cast<int64_t>(capacity) + n;
    if (total > INT32_MAX) return 0;
    *grown = static_cast<int32_t>(total);
    return 1;
}

// Reallocates `*array` to hold `count` elements; the old block stays when
// that fails.
template <typename T>
int ResizeArray(T** array, int32_t count, size_t perElement = 1) {
    size_t bytes = 0;
    if (!ArrayByteSize(static_cast<int64_t>(count) * static_cast<int64_t>(perElement), sizeof(T), &bytes)) return 0;
    void* block = ReallocateBytes(*array, bytes);
    if (!block) return 0;
    *array = static_cast<T*>(block);
    return 1;
}

// One array and its capacity grown by `n`; both stay as they were on failure.
template <typename T>
int GrowArray(T** array, int32_t* capacity, int64_t n) {
    if (n == 0) return 1;
    int32_t grown = 0;
    if (!GrownCapacity(*capacity, n, &grown)) return 0;
    if (!ResizeArray(array, grown)) return 0;
    *capacity = grown;
    return 1;
}

}  // namespace

int GrowVertices(Mesh* mesh, int64_t n) { return GrowArray(&mesh->vertices, &mesh->vertexCapacity, n); }

int GrowTexCoords(Mesh* mesh, int64_t n) { return GrowArray(&mesh->texCoords, &mesh->texCoordCapacity, n); }

int GrowFaces(Mesh* mesh, int64_t n) {
    if (n == 0) return 1;
    int32_t capacity = 0;
    if (!GrownCapacity(mesh->faceCapacity, n, &capacity)) return 0;
    // The four arrays grow together; the capacity changes only when all four
    // have room, so a failure leaves a consistent, freeable mesh.
    if (!ResizeArray(&mesh->faceVertexIndices, capacity, 4)) return 0;
    if (!ResizeArray(&mesh->faceTexIndices, capacity, 4)) return 0;
    if (!ResizeArray(&mesh->faceAttributes, capacity)) return 0;
    if (!ResizeArray(&mesh->facePlanes, capacity)) return 0;
    mesh->faceCapacity = capacity;
    return 1;
}

int64_t GeometricGrowth(int32_t capacity, int64_t minimum) {
    int64_t half = capacity / 2;
    if (half > INT32_MAX - static_cast<int64_t>(capacity)) half = INT32_MAX - static_cast<int64_t>(capacity);
    return half > minimum ? half : minimum;
}

int64_t ForecastGrowth(int32_t capacity, int64_t count, uint64_t bytesRead, uint64_t bytesLeft, int64_t minimum) {
    const int64_t step = GeometricGrowth(capacity, minimum);
    if (bytesLeft == UINT64_MAX || bytesRead == 0 || count <= 0) return step;
    // In double: the product may pass 64 bits; the result is only a size.
    const double more = static_cast<double>(count) * (static_cast<double>(bytesLeft) / static_cast<double>(bytesRead));
    const double wanted = static_cast<double>(count) + more * (17.0 / 16.0) - static_cast<double>(capacity);
    const double room = static_cast<double>(INT32_MAX) - static_cast<double>(capacity);
    if (!(wanted > static_cast<double>(step))) return step;
    return wanted < room ? static_cast<int64_t>(wanted) : static_cast<int64_t>(room);
}

void FitMeshStorage(Mesh* mesh) {
    // A shrink that fails keeps the larger block, which still holds every
    // record in use, so the capacity can become the count either way.
    if (mesh->vertexCount > 0 && mesh->vertexCount < mesh->vertexCapacity) {
        ResizeArray(&mesh->vertices, mesh->vertexCount);
        mesh->vertexCapacity = mesh->vertexCount;
    }
    if (mesh->texCoordCount > 0 && mesh->texCoordCount < mesh->texCoordCapacity) {
        ResizeArray(&mesh->texCoords, mesh->texCoordCount);
        mesh->texCoordCapacity = mesh->texCoordCount;
    }
    if (mesh->faceCount > 0 && mesh->faceCount < mesh->faceCapacity) {
        ResizeArray(&mesh->faceVertexIndices, mesh->faceCount, 4);
        ResizeArray(&mesh->faceTexIndices, mesh->faceCount, 4);
        ResizeArray(&mesh->faceAttributes, mesh->faceCount);
        ResizeArray(&mesh->facePlanes, mesh->faceCount);
        mesh->faceCapacity = mesh->faceCount;
    }
}

void AddFaceNormal(Mesh* mesh, int slot) {
    const int32_t* corners = mesh->faceVertexIndices + 4 * slot;
    const int k = SlotCornerCount(*mesh, slot);
    Vec3 n{0, 0, 0};
    for (int i = 0; i < k; ++i) {
        AddNewellEdge(mesh->vertices[corners[i]].position, mesh->vertices[corners[i + 1 == k ? 0 : i + 1]].position,
                      &n);
    }
    Normalise(&n);
    for (int i = 0; i < k; ++i) {
        Vec3& normal = mesh->vertices[corners[i]].normal;
        normal.x += n.x;
        normal.y += n.y;
        normal.z += n.z;
    }
    mesh->facePlanes[slot] = PlaneThrough(n, mesh->vertices[corners[0]].position);
}

void ComputeNormals(Mesh* mesh) {
    for (int i = 0; i < mesh->vertexCount; ++i) mesh->vertices[i].normal = Vec3{0, 0, 0};
    for (int slot = 0; slot < mesh->faceCount; ++slot) AddFaceNormal(mesh, slot);
    for (int i = 0; i < mesh->vertexCount; ++i) Normalise(&mesh->vertices[i].normal);
}

namespace {

void CentreAndRadius(const Vec3& lo, const Vec3& hi, Vec3* centre, float* radius) {
    *centre = Vec3{(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
    const float hx = (hi.x - lo.x) * 0.5f, hy = (hi.y - lo.y) * 0.5f, hz = (hi.z - lo.z) * 0.5f;
    *radius = std::sqrt(hx * hx + hy * hy + hz * hz);
}

}  // namespace

int ComputeBounds(Mesh* mesh) {
    if (mesh->vertexCount == 0) return 0;
    Vec3 lo = mesh->vertices[0].position, hi = lo;
    for (int i = 1; i < mesh->vertexCount; ++i) {
        const Vec3& p = mesh->vertices[i].position;
        WidenBox(&lo, &hi, p, p);
    }
    SetBounds(mesh, lo, hi);
    return 1;
}

void SetBounds(Mesh* mesh, const Vec3& lo, const Vec3& hi) {
    mesh->boundsMin = lo;
    mesh->boundsMax = hi;
    CentreAndRadius(lo, hi, &mesh->centre, &mesh->radius);
}

void ClearScene(Scene* scene) {
    for (int i = 0; i < scene->meshCount && i < MaxSceneMeshes; ++i) {
        FreeMesh(scene->meshes[i]);
        scene->meshes[i] = nullptr;
    }
    scene->meshCount = 0;
}

void ComputeSceneBounds(Scene* scene) {
    Vec3 lo = scene->meshes[0]->boundsMin, hi = scene->meshes[0]->boundsMax;
    for (int i = 1; i < scene->meshCount && i < MaxSceneMeshes; ++i) {
        if (scene->meshes[i]) WidenBox(&lo, &hi, scene->meshes[i]->boundsMin, scene->meshes[i]->boundsMax);
    }
    scene->boundsMin = lo;
    scene->boundsMax = hi;
    CentreAndRadius(lo, hi, &scene->centre, &scene->radius);
}
