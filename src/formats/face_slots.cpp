// Storing polygons as triangle fans and strands as chains of line slots, and
// walking those chains again.
#include "formats/face_slots.h"

int PolygonSlotCount(int n) { return n <= 4 ? 1 : n - 2; }

int StrandSlotCount(int n) { return n <= 4 ? 1 : 1 + (n - 4 + 2) / 3; }

namespace {

void SetCorner(Mesh* mesh, int32_t slot, int corner, int32_t vertex, int32_t tex) {
    mesh->faceVertexIndices[4 * slot + corner] = vertex;
    mesh->faceTexIndices[4 * slot + corner] = tex;
}

void ClearSlot(Mesh* mesh, int32_t slot) {
    for (int c = 0; c < 4; ++c) SetCorner(mesh, slot, c, -1, 0);
}

}  // namespace

void StorePolygonSlots(Mesh* mesh, int32_t slot, const int32_t* vertexIndices, const int32_t* texIndices, int n,
                       FaceAttributes attributes, int32_t vertexBase, int32_t texBase) {
    const int32_t vb = vertexBase - 1, tb = texBase - 1;
    if (n <= 4) {
        ClearSlot(mesh, slot);
        for (int i = 0; i < n; ++i) SetCorner(mesh, slot, i, vb + vertexIndices[i], tb + texIndices[i]);
        mesh->faceAttributes[slot] = attributes;
        return;
    }
    for (int i = 1; i + 1 < n; ++i, ++slot) {
        ClearSlot(mesh, slot);
        SetCorner(mesh, slot, 0, vb + vertexIndices[0], tb + texIndices[0]);
        SetCorner(mesh, slot, 1, vb + vertexIndices[i], tb + texIndices[i]);
        SetCorner(mesh, slot, 2, vb + vertexIndices[i + 1], tb + texIndices[i + 1]);
        mesh->faceAttributes[slot] = attributes;
    }
}

void StoreStrandSlots(Mesh* mesh, int32_t slot, const int32_t* vertexIndices, const int32_t* texIndices, int n,
                      FaceAttributes attributes, int32_t vertexBase, int32_t texBase) {
    const int32_t vb = vertexBase - 1, tb = texBase - 1;
    ClearSlot(mesh, slot);
    int point = 0;
    for (; point < n && point < 4; ++point) {
        SetCorner(mesh, slot, point, vb + vertexIndices[point], tb + texIndices[point]);
    }
    mesh->faceAttributes[slot] =
        attributes | FaceLine | ((static_cast<uint32_t>(n) & FaceStrandCountMask) << FaceStrandCountShift);
    while (point < n) {
        ++slot;
        ClearSlot(mesh, slot);
        SetCorner(mesh, slot, 0, vb + vertexIndices[point - 1], tb + texIndices[point - 1]);
        for (int c = 1; c < 4 && point < n; ++c, ++point) {
            SetCorner(mesh, slot, c, vb + vertexIndices[point], tb + texIndices[point]);
        }
        mesh->faceAttributes[slot] = attributes | FaceLine;
    }
}

int32_t StoreElementSlots(Mesh* mesh, bool line, int32_t slot, const int32_t* vertexIndices, const int32_t* texIndices,
                          int n, FaceAttributes attributes, int32_t vertexBase, int32_t texBase) {
    if (line) {
        StoreStrandSlots(mesh, slot, vertexIndices, texIndices, n, attributes, vertexBase, texBase);
        ++mesh->lineCount;
        return StrandSlotCount(n);
    }
    StorePolygonSlots(mesh, slot, vertexIndices, texIndices, n, attributes, vertexBase, texBase);
    ++mesh->polygonCount;
    return PolygonSlotCount(n);
}

int UsedCorners(const int32_t* corners) {
    int k = 0;
    while (k < 4 && corners[k] != -1) ++k;
    return k;
}

bool ContinuesStrand(const Mesh& mesh, int32_t slot) {
    const FaceAttributes a = mesh.faceAttributes[slot];
    return (a & FaceLine) && FaceStrandCount(a) == 0;
}

int StrandSlotSpan(const Mesh& mesh, int32_t firstSlot) {
    const FaceAttributes a = mesh.faceAttributes[firstSlot];
    const int count = static_cast<int>(FaceStrandCount(a));
    if (!(a & FaceLine) || count == 0) return 1;
    const int wanted = StrandSlotCount(count);
    int span = 1;
    while (span < wanted && firstSlot + span < mesh.faceCount && ContinuesStrand(mesh, firstSlot + span)) {
        ++span;
    }
    return span;
}

bool IsStrandContinuation(const Mesh& mesh, int32_t slot) {
    if (!ContinuesStrand(mesh, slot)) return false;
    // A chain is at most StrandSlotCount(511) slots long, so the first slot
    // lies within that distance behind.
    const int longest = StrandSlotCount(static_cast<int>(FaceStrandCountMask));
    for (int back = 1; back < longest && slot - back >= 0; ++back) {
        const FaceAttributes a = mesh.faceAttributes[slot - back];
        if (!(a & FaceLine)) return false;
        const int count = static_cast<int>(FaceStrandCount(a));
        if (count != 0) return StrandSlotCount(count) > back;
    }
    return false;
}

int GatherStrandPoints(const Mesh& mesh, int32_t firstSlot, int32_t* vertexIndices, int32_t* texIndices, int capacity) {
    const int span = StrandSlotSpan(mesh, firstSlot);
    int written = 0;
    for (int s = 0; s < span; ++s) {
        const int32_t* v = SlotCorners(mesh, firstSlot + s);
        const int32_t* t = mesh.faceTexIndices + 4 * (firstSlot + s);
        const int used = UsedCorners(v);
        for (int c = s == 0 ? 0 : 1; c < used; ++c) {
            if (written == capacity) return written;
            vertexIndices[written] = v[c];
            texIndices[written] = t[c];
            ++written;
        }
    }
    return written;
}
