// The strand ribbon builder: one pass per step over the source's vertices or
// face slots, so the build stays linear in the number of strand points.
#include "ribbon/ribbon_builder.h"

#include <cstring>

#include "core/math3d.h"
#include "core/memory.h"
#include "formats/face_slots.h"
#include "ribbon/unit_batch.h"

namespace {

// Corner step of a line slot. With reduce only the slot's first and last
// points are visited. Never 0: a slot holding one point (which no reader
// makes) visits just that point instead of looping on it.
int SlotStride(const int32_t* corners, bool reduce) {
    if (!reduce) return 1;
    const int stride = UsedCorners(corners) - 1;
    return stride < 1 ? 1 : stride;
}

bool IsZero(const Vec3& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

template <typename T>
T* AllocateArray(int64_t count) {
    size_t bytes = 0;
    if (!ArrayByteSize(count < 1 ? 1 : count, sizeof(T), &bytes)) return nullptr;
    return static_cast<T*>(AllocateBytes(bytes));
}

// Index over the ribbon pairs made so far, keyed by the bit pattern of t.
// It answers exactly as the linear search over the pairs does: t values are
// never -0 (but +0 and -0 would share a key, as they compare equal) and a
// NaN t is never found, so every NaN gets a pair of its own.
struct PairIndex {
    struct Entry {
        uint32_t key;
        int32_t texIndex;  // -1: empty
    };
    Entry* entries = nullptr;
    uint32_t capacity = 0;  // a power of two
    uint32_t used = 0;
    // The pairs are the coordinates below pairEnd; `last` is the pair the
    // latest look-up gave (-1: none yet).
    int32_t pairEnd = 0;
    int32_t last = -1;
    // Set when the index could not grow: the build goes on with the plain
    // search, which gives the same pairs, rather than fail after it has
    // started writing into storage taken from the previous hair mesh.
    bool linear = false;
};

uint32_t KeyOf(float t) {
    if (t == 0.0f) t = 0.0f;
    uint32_t bits;
    std::memcpy(&bits, &t, sizeof bits);
    return bits;
}

uint32_t HomeOf(uint32_t key, uint32_t capacity) { return (key * 0x9E3779B1u) & (capacity - 1); }

bool ResizePairIndex(PairIndex* index, uint32_t capacity) {
    PairIndex::Entry* entries = AllocateArray<PairIndex::Entry>(capacity);
    if (!entries) return false;
    for (uint32_t i = 0; i < capacity; ++i) entries[i].texIndex = -1;
    for (uint32_t i = 0; i < index->capacity; ++i) {
        const PairIndex::Entry& e = index->entries[i];
        if (e.texIndex < 0) continue;
        uint32_t h = HomeOf(e.key, capacity);
        while (entries[h].texIndex >= 0) h = (h + 1) & (capacity - 1);
        entries[h] = e;
    }
    ReleaseBytes(index->entries);
    index->entries = entries;
    index->capacity = capacity;
    return true;
}

// The pair for t when it is the latest one found or the one after it, as
// it mostly is: strand after strand visits the same parameters in the same
// order, and a continuation slot repeats the point it continues from. No
// two pairs have t values that compare equal, so a pair whose t equals is
// the one the search would find. -1 otherwise.
inline int32_t NearbyPair(const PairIndex& index, const Mesh& mesh, float t) {
    const int32_t next = index.last + 2;
    if (next < index.pairEnd && mesh.texCoords[next].v == t) return next;
    if (index.last >= 0 && mesh.texCoords[index.last].v == t) return index.last;
    return -1;
}

// The pair (0, t), (1, t) appended at *count.
int32_t AppendPair(PairIndex* index, Mesh* mesh, float t, int32_t* count) {
    const int32_t at = *count;
    mesh->texCoords[at] = TexCoord{0.0f, t};
    mesh->texCoords[at + 1] = TexCoord{1.0f, t};
    *count = at + 2;
    index->pairEnd = at + 2;
    return at;
}

// The plain search over the pairs, for a build whose index could not grow.
int32_t SearchedPair(PairIndex* index, Mesh* mesh, float t, int32_t* count) {
    for (int32_t i = 0; i < index->pairEnd; i += 2) {
        if (mesh->texCoords[i].v == t) return i;
    }
    return AppendPair(index, mesh, t, count);
}

// FindOrAddIndexedPair past the nearby pairs.
int32_t IndexedPair(PairIndex* index, Mesh* mesh, float t, int32_t* count) {
    const bool findable = t == t;
    if (findable && !index->linear && (index->used + 1) * 2 > index->capacity) {
        index->linear =
            index->capacity >= 0x40000000u || !ResizePairIndex(index, index->capacity ? index->capacity * 2 : 256);
    }
    if (index->linear) return index->last = SearchedPair(index, mesh, t, count);
    const uint32_t key = KeyOf(t);
    uint32_t h = findable ? HomeOf(key, index->capacity) : 0;
    if (findable) {
        while (index->entries[h].texIndex >= 0) {
            if (index->entries[h].key == key) return index->last = index->entries[h].texIndex;
            h = (h + 1) & (index->capacity - 1);
        }
    }
    const int32_t at = AppendPair(index, mesh, t, count);
    if (findable) {
        index->entries[h] = PairIndex::Entry{key, at};
        ++index->used;
    }
    return index->last = at;
}

// FindOrAddRibbonTexPair through the index.
inline int32_t FindOrAddIndexedPair(PairIndex* index, Mesh* mesh, float t, int32_t* count) {
    const int32_t nearby = NearbyPair(*index, *mesh, t);
    if (nearby >= 0) return index->last = nearby;
    return IndexedPair(index, mesh, t, count);
}

// Scratch storage of one build; released whatever the outcome. It stays
// small beside the meshes (a byte per source vertex), since the build runs
// with both meshes in memory at once.
struct BuildScratch {
    // Per source vertex: 0 off the strands, else 1 + the ribbon quad
    // corners its pair will be (at most PairTouchLimit); the face pass
    // counts it down and finishes the pair's normal at the last.
    uint8_t* visited = nullptr;
    int32_t* copyTex = nullptr;  // per source texture coordinate
    PairIndex pairs;
    ~BuildScratch() {
        ReleaseBytes(visited);
        ReleaseBytes(copyTex);
        ReleaseBytes(pairs.entries);
    }
};

// What the marking pass counted.
struct StrandCounts {
    int64_t segments = 0;
    int64_t visits = 0;
    int64_t copiedSlots = 0;
    int64_t strandPoints = 0;  // distinct source vertices visited
    bool manyTouches = false;  // some pair's count reached PairTouchLimit
    bool inIndexOrder = true;  // strands reach new points in index order
    int32_t lastReached = -1;
};

constexpr int PairTouchLimit = 255;

// The strand's neighbours of corner k of line slot `slot`: the point before
// and the point after it along the strand, crossing into the previous or the
// next slot of the same strand; at the root and the tip the point itself.
void StrandNeighbours(const Mesh& mesh, int slot, int k, int32_t* before, int32_t* after) {
    const int32_t* corners = SlotCorners(mesh, slot);
    *before = *after = corners[k];
    if (k > 0) {
        *before = corners[k - 1];
    } else if (slot > 0 && ContinuesStrand(mesh, slot) && IsLineSlot(mesh, slot - 1)) {
        const int32_t* previous = SlotCorners(mesh, slot - 1);
        const int last = UsedCorners(previous) - 1;
        if (last >= 1) *before = previous[last - 1];
    }
    if (k + 1 < 4 && corners[k + 1] != -1) {
        *after = corners[k + 1];
    } else if (slot + 1 < mesh.faceCount && ContinuesStrand(mesh, slot + 1)) {
        const int32_t* next = SlotCorners(mesh, slot + 1);
        if (next[0] != -1 && next[1] != -1) *after = next[1];
    }
}

// A direction across the strand for a point whose normal is exactly zero:
// normalise(D x A), D the local strand direction, A the world axis of D's
// smallest absolute component (x before y before z on ties), so that the
// cross product is as long as it can be.
Vec3 AcrossStrand(const Vec3& d) {
    const float ax = d.x < 0 ? -d.x : d.x, ay = d.y < 0 ? -d.y : d.y, az = d.z < 0 ? -d.z : d.z;
    Vec3 axis{0.0f, 0.0f, 0.0f};
    if (ax <= ay && ax <= az) {
        axis.x = 1.0f;
    } else if (ay <= az) {
        axis.y = 1.0f;
    } else {
        axis.z = 1.0f;
    }
    Vec3 across;
    CrossProduct(d, axis, &across);
    Normalise(&across);
    return across;
}

// The direction across the strand at strand point v, whose normal is zero,
// from its last visit (in line slot `slot`, the last corner there that is
// v), as the last visit decides strandT.
Vec3 FallbackNormal(const Mesh& source, int32_t v, int slot, bool reduce) {
    const int32_t* corners = SlotCorners(source, slot);
    const int stride = SlotStride(corners, reduce);
    int last = 0;
    for (int k = 0; k < 4 && corners[k] != -1; k += stride) {
        if (corners[k] == v) last = k;
    }
    int32_t before, after;
    StrandNeighbours(source, slot, last, &before, &after);
    const Vec3& p = source.vertices[after].position;
    const Vec3& q = source.vertices[before].position;
    return AcrossStrand(Vec3{p.x - q.x, p.y - q.y, p.z - q.z});
}

// Step 1: marks the strand points and gives each its parameter t. t and
// step are single precision, and t is carried from slot to slot by adding
// and taking back stride * step, so the parameters come out exactly as the
// running sum gives them; the last visit of a point decides its t. Its
// strandMark keeps the slot of that visit, where a zero normal's stand-in
// is found when the point's pair is written.
void MarkStrands(Mesh* source, bool reduce, bool keepFaces, BuildScratch* scratch, StrandCounts* counts) {
    MeshVertex* vertices = source->vertices;
    float t = 0.0f, step = 0.0f;
    for (int slot = 0; slot < source->faceCount; ++slot) {
        if (!IsLineSlot(*source, slot)) {
            if (keepFaces) ++counts->copiedSlots;
            continue;
        }
        const int32_t* corners = SlotCorners(*source, slot);
        const int n = static_cast<int>(FaceStrandCount(source->faceAttributes[slot]));
        if (n - 1 > 0) {
            step = 1.0f / static_cast<float>(n - 1);
            t = 0.0f;
        }
        const int stride = SlotStride(corners, reduce);
        int visited = 0;
        for (int k = 0; k < 4 && corners[k] != -1; k += stride) {
            const int32_t v = corners[k];
            uint8_t& mark = scratch->visited[v];
            if (!mark) {
                mark = 1;
                ++counts->strandPoints;
                counts->inIndexOrder = counts->inIndexOrder && v > counts->lastReached;
                counts->lastReached = v;
            }
            // The quads before and after this visit, as the face pass makes them.
            const int touches = (k > 0) + (k + stride < 4 && corners[k + stride] != -1);
            const int marked = mark + touches < PairTouchLimit ? mark + touches : PairTouchLimit;
            mark = static_cast<uint8_t>(marked);
            counts->manyTouches = counts->manyTouches || marked == PairTouchLimit;
            vertices[v].strandT = t;
            vertices[v].strandMark = slot;
            t = t + static_cast<float>(stride) * step;
            ++visited;
        }
        t = t - static_cast<float>(stride) * step;
        // A slot of k points is k - 1 segments; an empty slot is none.
        if (visited > 0) counts->segments += visited - 1;
        counts->visits += visited;
    }
}

// Moves one array of `from` into `to`, with its capacity when given.
template <typename T>
void MoveArray(T** from, T** to, int32_t* fromCapacity = nullptr, int32_t* toCapacity = nullptr) {
    *to = *from;
    *from = nullptr;
    if (!fromCapacity) return;
    *toCapacity = *fromCapacity;
    *fromCapacity = 0;
}

// Moves the vertex, texture-coordinate or face storage (as `part` says)
// of `from` into the empty `to`.
enum class Storage { Vertices, TexCoords, Faces };

void MoveStorage(Mesh* from, Mesh* to, Storage part) {
    switch (part) {
        case Storage::Vertices:
            MoveArray(&from->vertices, &to->vertices, &from->vertexCapacity, &to->vertexCapacity);
            break;
        case Storage::TexCoords:
            MoveArray(&from->texCoords, &to->texCoords, &from->texCoordCapacity, &to->texCoordCapacity);
            break;
        case Storage::Faces:
            MoveArray(&from->faceVertexIndices, &to->faceVertexIndices, &from->faceCapacity, &to->faceCapacity);
            MoveArray(&from->faceTexIndices, &to->faceTexIndices);
            MoveArray(&from->facePlanes, &to->facePlanes);
            MoveArray(&from->faceAttributes, &to->faceAttributes);
            break;
    }
}

// Step 2: the new mesh. Texture storage is reserved at its upper bound: a
// pair per visited point and a copy per corner of every copied slot. An
// array of `previous` with that room is taken over once every fresh block
// has been had, so a failure leaves `previous` whole; past this point the
// build cannot fail.
Mesh* CreateHairMesh(const Mesh& source, const StrandCounts& counts, bool keepFaces, Mesh* previous) {
    const int64_t loose = keepFaces ? source.vertexCount - counts.strandPoints : 0;
    const int64_t newVertexCount = 2 * counts.strandPoints + loose;
    const int64_t faceCount = counts.segments + counts.copiedSlots;
    const int64_t texCoordBound = 2 * counts.visits + 4 * counts.copiedSlots;
    if (newVertexCount > INT32_MAX || faceCount > INT32_MAX) return nullptr;
    Mesh* hair = CreateMesh("hair");
    if (!hair) return nullptr;
    const bool takeVertices = previous && previous->vertexCapacity >= newVertexCount + 256;
    const bool takeTexCoords = previous && previous->texCoordCapacity >= texCoordBound;
    const bool takeFaces = previous && previous->faceCapacity >= faceCount + 256;
    if ((!takeVertices && !GrowVertices(hair, newVertexCount + 256)) ||
        (!takeTexCoords && !GrowTexCoords(hair, texCoordBound)) || (!takeFaces && !GrowFaces(hair, faceCount + 256))) {
        FreeMesh(hair);
        return nullptr;
    }
    if (takeVertices) MoveStorage(previous, hair, Storage::Vertices);
    if (takeTexCoords) MoveStorage(previous, hair, Storage::TexCoords);
    if (takeFaces) MoveStorage(previous, hair, Storage::Faces);
    if (previous) {
        previous->vertexCount = previous->texCoordCount = 0;
        previous->faceCount = previous->polygonCount = previous->lineCount = 0;
    }
    hair->vertexCount = static_cast<int32_t>(newVertexCount);
    return hair;
}

// The hair mesh's box, widened vertex by vertex in index order.
struct Box {
    Vec3 lo{0, 0, 0}, hi{0, 0, 0};
};

inline void TakeIntoBox(Box* box, int32_t index, const Vec3& p) {
    if (index == 0) box->lo = box->hi = p;
    WidenBox(&box->lo, &box->hi, p, p);
}

// The ribbon pair of strand point v as hair vertices i, i + 1, taken into
// the box: P - w*N, P + w*N with w = (1 - t * stretch * 0.95) * radius,
// normals zero for the face pass; the point's mark (the slot of its last
// visit) becomes i.
void WriteRibbonPair(Mesh* source, int32_t v, const HairSettings& settings, MeshVertex* out, int32_t i, Box* box) {
    MeshVertex& vertex = source->vertices[v];
    const Vec3& p = vertex.position;
    Vec3 normal = vertex.normal;
    if (IsZero(normal)) normal = FallbackNormal(*source, v, vertex.strandMark, settings.reduce != 0);
    const float w = (1.0f - vertex.strandT * settings.stretch * 0.95f) * settings.radius;
    out[i] = MeshVertex{};
    out[i + 1] = MeshVertex{};
    out[i].position = Vec3{p.x - w * normal.x, p.y - w * normal.y, p.z - w * normal.z};
    out[i + 1].position = Vec3{p.x + w * normal.x, p.y + w * normal.y, p.z + w * normal.z};
    TakeIntoBox(box, i, out[i].position);
    TakeIntoBox(box, i + 1, out[i + 1].position);
    vertex.strandMark = i;
}

// Step 3: vertices, in source order, with their normals zeroed for the face
// pass, and the box of them; the mark becomes the new index (or -1 for a
// vertex left out).
Box WriteHairVertices(Mesh* source, Mesh* hair, const HairSettings& settings, const BuildScratch& scratch) {
    const bool keepFaces = settings.onlyDynamic == 0;
    MeshVertex* vertices = source->vertices;
    MeshVertex* out = hair->vertices;
    Box box;
    int32_t i = 0;
    for (int v = 0; v < source->vertexCount; ++v) {
        MeshVertex& vertex = vertices[v];
        const Vec3& p = vertex.position;
        if (scratch.visited[v]) {
            WriteRibbonPair(source, v, settings, out, i, &box);
            i += 2;
        } else if (keepFaces) {
            out[i] = MeshVertex{};
            out[i].position = p;
            TakeIntoBox(&box, i, p);
            vertex.strandMark = i;
            i += 1;
        } else {
            vertex.strandMark = -1;
        }
    }
    return box;
}

// Step 4: ribbon texture pairs, in the order of first use: the strand
// points of every line slot in order, each looked up by its t. Looking the
// same points up again in the same order (as the face pass does) finds the
// same pairs and makes none, t being never NaN.
void AddRibbonTexPairs(const Mesh& source, Mesh* hair, bool reduce, BuildScratch* scratch, int32_t* texCount) {
    for (int slot = 0; slot < source.faceCount; ++slot) {
        if (!IsLineSlot(source, slot)) continue;
        const int32_t* corners = SlotCorners(source, slot);
        const int stride = SlotStride(corners, reduce);
        for (int k = 0; k < 4 && corners[k] != -1; k += stride) {
            FindOrAddIndexedPair(&scratch->pairs, hair, source.vertices[corners[k]].strandT, texCount);
        }
    }
}

// A texture index outside the source's table reads as its first coordinate.
int32_t SourceTex(const Mesh& source, int32_t index) { return index >= 0 && index < source.texCoordCount ? index : 0; }

// Step 5: with the faces kept, a copy of the source texture coordinate of
// every corner of every copied slot; a source without coordinates gives
// (0, 0).
void CopySourceTexCoords(const Mesh& source, Mesh* hair, BuildScratch* scratch, int32_t* texCount) {
    for (int slot = 0; slot < source.faceCount; ++slot) {
        if (IsLineSlot(source, slot)) continue;
        const int32_t* corners = SlotCorners(source, slot);
        const int32_t* texCorners = source.faceTexIndices + 4 * slot;
        for (int j = 0; j < 4 && corners[j] != -1; ++j) {
            const int32_t from = SourceTex(source, texCorners[j]);
            hair->texCoords[*texCount] = source.texCoordCount > 0 ? source.texCoords[from] : TexCoord{0, 0};
            scratch->copyTex[from] = *texCount;
            ++*texCount;
        }
    }
}

// Quad normals and finished pair normals waiting to be normalised four at
// a time (the square roots and divisions are most of a quad's wait). A
// quad's normal is used only when its batch is flushed, which adds it to
// its pairs in quad order, so every pair gets the sums it got quad by
// quad; a finished pair gets nothing more, so its normalising can wait.
struct NormalBatches {
    NormaliseBatchFunction normalise = NormaliseBatchScalar;
    UnitBatch quadNormals{};
    int32_t quad[4], ma[4], mb[4];
    uint8_t* markA[4];
    uint8_t* markB[4];
    int quads = 0;
    UnitBatch pairNormals{};
    int32_t pair[4];
    int pairs = 0;
};

void FlushPairs(MeshVertex* out, NormalBatches* batches) {
    if (batches->pairs == 0) return;
    batches->normalise(&batches->pairNormals);
    const UnitBatch& n = batches->pairNormals;
    for (int i = 0; i < batches->pairs; ++i) {
        const int32_t m = batches->pair[i];
        out[m].normal = out[m + 1].normal = Vec3{n.x[i], n.y[i], n.z[i]};
    }
    batches->pairs = 0;
}

// A quad's normal n added to the pair m, m + 1, whose mark counts the
// pair's quad corners still to come. Both vertices of a pair get the same
// sums in the same order, so the sum is made once, kept in the minus
// vertex; the pair's last corner hands it to be normalised, as the closing
// pass would, and only then are both vertices' normals written.
void AddPairNormal(MeshVertex* out, int32_t m, const Vec3& n, uint8_t* mark, NormalBatches* batches) {
    Vec3 sum = out[m].normal;
    sum.x += n.x;
    sum.y += n.y;
    sum.z += n.z;
    if (--*mark != 1) {
        out[m].normal = sum;
        return;
    }
    const int i = batches->pairs;
    batches->pairNormals.x[i] = sum.x;
    batches->pairNormals.y[i] = sum.y;
    batches->pairNormals.z[i] = sum.z;
    batches->pair[i] = m;
    if (++batches->pairs == 4) FlushPairs(out, batches);
}

// The waiting quads' unit normals: their planes, and their sums added to
// the pairs.
void FlushQuads(Mesh* hair, NormalBatches* batches) {
    if (batches->quads == 0) return;
    batches->normalise(&batches->quadNormals);
    const UnitBatch& n = batches->quadNormals;
    for (int i = 0; i < batches->quads; ++i) {
        const Vec3 normal{n.x[i], n.y[i], n.z[i]};
        hair->facePlanes[batches->quad[i]] = PlaneThrough(normal, hair->vertices[batches->ma[i]].position);
        AddPairNormal(hair->vertices, batches->ma[i], normal, batches->markA[i], batches);
        AddPairNormal(hair->vertices, batches->mb[i], normal, batches->markB[i], batches);
    }
    batches->quads = 0;
}

// AddFaceNormal's work for the ribbon quad a-, b-, b+, a+ (hair vertices
// ma, mb, mb + 1, ma + 1) as new slot q: the same Newell sum in the same
// order, without looking the corners up (which are read in place: a copy
// of them made the loads wait for the stores); the normalising waits for
// the batch.
void AddRibbonQuad(Mesh* hair, int32_t q, int32_t ma, int32_t mb, uint8_t* markA, uint8_t* markB,
                   NormalBatches* batches) {
    const MeshVertex* v = hair->vertices;
    const Vec3& c0 = v[ma].position;
    const Vec3& c1 = v[mb].position;
    const Vec3& c2 = v[mb + 1].position;
    const Vec3& c3 = v[ma + 1].position;
    Vec3 n{0, 0, 0};
    AddNewellEdge(c0, c1, &n);
    AddNewellEdge(c1, c2, &n);
    AddNewellEdge(c2, c3, &n);
    AddNewellEdge(c3, c0, &n);
    const int i = batches->quads;
    batches->quadNormals.x[i] = n.x;
    batches->quadNormals.y[i] = n.y;
    batches->quadNormals.z[i] = n.z;
    batches->quad[i] = q;
    batches->ma[i] = ma;
    batches->mb[i] = mb;
    batches->markA[i] = markA;
    batches->markB[i] = markB;
    if (++batches->quads == 4) FlushQuads(hair, batches);
}

// What the face pass carries from slot to slot.
struct FacePass {
    bool reduce;
    bool finishPairs;  // normals finished pair by pair (no copied slot)
    NormalBatches batches;
    // Every source vertex is a strand point and the strands reach them in
    // index order: each pair is written as its point is first reached,
    // which is where step 3 would have put it, and the box grows in the
    // same order.
    bool writesPairs;
    const HairSettings* settings;
    BuildScratch* scratch;
    int32_t q = 0;  // next new slot
    int32_t texCount = 0;
    int32_t lastReached = -1;
    int32_t nextPair = 0;
    Box box;
};

// The new index of strand point v, its pair written now if the face pass
// writes pairs and reaches v for the first time.
int32_t PairOf(Mesh* source, Mesh* hair, int32_t v, FacePass* pass) {
    if (!pass->writesPairs || v <= pass->lastReached) return source->vertices[v].strandMark;
    pass->lastReached = v;
    const int32_t i = pass->nextPair;
    WriteRibbonPair(source, v, *pass->settings, hair->vertices, i, &pass->box);
    pass->nextPair = i + 2;
    return i;
}

// The ribbon quads of line slot `slot`, one between each two points
// visited in turn; every visited point is looked up among the texture
// pairs in step 4's order. A quad runs a's minus vertex, b's minus, b's
// plus, a's plus, so u is 0 along the minus edge.
void WriteRibbonQuads(Mesh* source, Mesh* hair, int slot, FacePass* pass) {
    const int32_t* corners = SlotCorners(*source, slot);
    const FaceAttributes attributes = source->faceAttributes[slot] & FaceCopyMask;
    const int stride = SlotStride(corners, pass->reduce);
    BuildScratch* scratch = pass->scratch;
    int32_t ma = -1, ta = 0, va = -1;
    for (int k = 0; k < 4 && corners[k] != -1; k += stride) {
        const int32_t vb = corners[k];
        const int32_t mb = PairOf(source, hair, vb, pass);
        const int32_t tb = FindOrAddIndexedPair(&scratch->pairs, hair, source->vertices[vb].strandT, &pass->texCount);
        if (k > 0) {
            const int32_t q = pass->q++;
            int32_t* out = hair->faceVertexIndices + 4 * q;
            int32_t* outTex = hair->faceTexIndices + 4 * q;
            out[0] = ma;
            out[1] = mb;
            out[2] = mb + 1;
            out[3] = ma + 1;
            outTex[0] = ta;
            outTex[1] = tb;
            outTex[2] = tb + 1;
            outTex[3] = ta + 1;
            hair->faceAttributes[q] = attributes;
            // Pair by pair, finished as they go, when no copied slot adds
            // to a pair's minus vertex alone; else corner by corner, for
            // the closing pass.
            if (pass->finishPairs) {
                AddRibbonQuad(hair, q, ma, mb, scratch->visited + va, scratch->visited + vb, &pass->batches);
            } else {
                AddFaceNormal(hair, q);
            }
        }
        ma = mb;
        ta = tb;
        va = vb;
    }
}

// The copy of a slot that is not a line slot, as new slot q. A strand point
// among its corners is its minus-side ribbon vertex.
void WriteCopiedSlot(const Mesh& source, Mesh* hair, int slot, const BuildScratch& scratch, int32_t q) {
    const int32_t* corners = SlotCorners(source, slot);
    const int32_t* texCorners = source.faceTexIndices + 4 * slot;
    int32_t* out = hair->faceVertexIndices + 4 * q;
    int32_t* outTex = hair->faceTexIndices + 4 * q;
    int j = 0;
    for (; j < 4 && corners[j] != -1; ++j) {
        out[j] = source.vertices[corners[j]].strandMark;
        outTex[j] = scratch.copyTex[SourceTex(source, texCorners[j])];
    }
    for (; j < 4; ++j) {
        out[j] = -1;
        outTex[j] = 0;
    }
    hair->faceAttributes[q] = source.faceAttributes[slot] & FaceCopyMask;
    AddFaceNormal(hair, q);
}

// Step 6: face slots in source order, each adding its normal to its corners
// as it is written (the normal pass of any mesh, slot by slot).
void WriteHairFaces(Mesh* source, Mesh* hair, bool keepFaces, FacePass* pass) {
    for (int slot = 0; slot < source->faceCount; ++slot) {
        if (IsLineSlot(*source, slot)) {
            WriteRibbonQuads(source, hair, slot, pass);
        } else if (keepFaces) {
            WriteCopiedSlot(*source, hair, slot, *pass->scratch, pass->q++);
        }
    }
    FlushQuads(hair, &pass->batches);
    FlushPairs(hair->vertices, &pass->batches);
    const int32_t q = pass->q;
    hair->faceCount = q;
    hair->polygonCount = q;
    hair->lineCount = 0;
}

// Step 7: vertex normals normalised, where the face pass left them as sums;
// the bounds; names of groups and materials, the materials keeping
// CreateMesh's defaults.
void FinishHairMesh(const Mesh& source, const Box& box, bool normalsFinished, Mesh* hair) {
    for (int i = 0; i < hair->vertexCount && !normalsFinished; ++i) Normalise(&hair->vertices[i].normal);
    SetBounds(hair, box.lo, box.hi);
    hair->groupCount = source.groupCount;
    hair->materialCount = source.materialCount;
    for (int g = 0; g < source.groupCount && g < MaxGroups; ++g) {
        std::memcpy(hair->groupNames[g], source.groupNames[g], MeshNameSize);
    }
    for (int m = 0; m < source.materialCount && m < MaxMaterials; ++m) {
        std::memcpy(hair->materialNames[m], source.materialNames[m], MeshNameSize);
    }
}

}  // namespace

int FindOrAddRibbonTexPair(Mesh* mesh, float t, int32_t* count) {
    for (int32_t i = 0; i < *count; i += 2) {
        if (mesh->texCoords[i].v == t) return i;
    }
    const int32_t at = *count;
    mesh->texCoords[at] = TexCoord{0.0f, t};
    mesh->texCoords[at + 1] = TexCoord{1.0f, t};
    *count = at + 2;
    return at;
}

Mesh* BuildHairMesh(Mesh* source, const HairSettings& settings, Mesh* previous) {
    const bool reduce = settings.reduce != 0;
    const bool keepFaces = settings.onlyDynamic == 0;
    BuildScratch scratch;
    scratch.visited = AllocateArray<uint8_t>(source->vertexCount);
    if (!scratch.visited) return nullptr;
    std::memset(scratch.visited, 0, static_cast<size_t>(source->vertexCount));
    StrandCounts counts;
    MarkStrands(source, reduce, keepFaces, &scratch, &counts);
    if (counts.segments <= 0) {
        // The marks a failed build leaves: -1 off the strands, 0 on them.
        for (int v = 0; v < source->vertexCount; ++v) source->vertices[v].strandMark = scratch.visited[v] ? 0 : -1;
        return nullptr;
    }
    if (keepFaces) {
        scratch.copyTex = AllocateArray<int32_t>(source->texCoordCount);
        if (!scratch.copyTex) return nullptr;
    }
    Mesh* hair = CreateHairMesh(*source, counts, keepFaces, previous == source ? nullptr : previous);
    if (!hair) return nullptr;
    FacePass pass;
    pass.reduce = reduce;
    pass.finishPairs = counts.copiedSlots == 0 && !counts.manyTouches;
    pass.batches.normalise = NormaliseBatchFor(ActiveSimdLevel());
    pass.writesPairs = counts.copiedSlots == 0 && counts.inIndexOrder && counts.strandPoints == source->vertexCount;
    pass.settings = &settings;
    pass.scratch = &scratch;
    if (!pass.writesPairs) pass.box = WriteHairVertices(source, hair, settings, scratch);
    // With copied slots the pairs must all come first, before the copies;
    // without, the face pass makes them as it goes.
    if (keepFaces) {
        AddRibbonTexPairs(*source, hair, reduce, &scratch, &pass.texCount);
        CopySourceTexCoords(*source, hair, &scratch, &pass.texCount);
    }
    WriteHairFaces(source, hair, keepFaces, &pass);
    hair->texCoordCount = pass.texCount;
    FinishHairMesh(*source, pass.box, pass.finishPairs, hair);
    return hair;
}
