// How polygons and strands are laid out in a Mesh's face slots, shared by the
// OBJ and Poser readers (which store them), the OBJ writer and the ribbon
// builder (which walk them).
//
// A polygon of 3 or 4 corners takes one slot; a larger one becomes a fan of
// n - 2 triangles (p0, p1, p2), (p0, p2, p3), ... A strand of n points
// (2 <= n <= 511) becomes a chain of line slots: the first holds points 0..3
// and carries n in its strand point count (bits 18-26); each continuation
// slot repeats the previous slot's corner 3 in its corner 0 and adds up to
// three points, with a point count of 0. Unused corners hold vertex -1 and
// texture index 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mesh.h"

// Index groups an `f` or `l` statement may have: as many points as a strand's
// count can hold; a longer statement is dropped.
constexpr int MaxCornersPerStatement = MaxStrandPoints;
// Bytes of a reader's argument buffer: an argument (the text after a
// statement's keyword) of at most 16,383 characters, so that a statement of
// 511 groups with texture and normal indices fits.
constexpr size_t StatementArgumentSize = 16384;

// Slots taken by a polygon of n >= 3 corners: 1 for n <= 4, else n - 2.
int PolygonSlotCount(int n);
// Slots taken by a strand of n >= 2 points: 1 for n <= 4, else
// 1 + ceil((n - 4) / 3).
int StrandSlotCount(int n);

// Store a polygon or a strand at face slot `slot` onwards; the caller has made
// room (see the counts above). `vertexIndices` and `texIndices` hold n 1-based
// indices relative to `vertexBase` / `texBase` (stored: base + index - 1).
// Every slot gets `attributes`; a strand's slots also get FaceLine, and its
// first slot the point count n. They do not touch the mesh's counts.
void StorePolygonSlots(Mesh* mesh, int32_t slot, const int32_t* vertexIndices, const int32_t* texIndices, int n,
                       FaceAttributes attributes, int32_t vertexBase, int32_t texBase);
void StoreStrandSlots(Mesh* mesh, int32_t slot, const int32_t* vertexIndices, const int32_t* texIndices, int n,
                      FaceAttributes attributes, int32_t vertexBase, int32_t texBase);
// An `f` (polygon) or `l` (strand) element of n groups stored at `slot` as
// above and counted in the mesh's polygon or line count; returns the slots
// it took. Elements of too few groups (under 3 corners, under 2 points) are
// the caller's to drop.
int32_t StoreElementSlots(Mesh* mesh, bool line, int32_t slot, const int32_t* vertexIndices, const int32_t* texIndices,
                          int n, FaceAttributes attributes, int32_t vertexBase, int32_t texBase);
// Where the readers' room test for such an element looks: the slot `slot`
// plus n for a strand, n - 3 for a polygon, which must be below the capacity.
inline int64_t ElementRoomSlot(int32_t slot, bool line, int n) {
    return static_cast<int64_t>(slot) + (line ? n : n - 3);
}

// The four vertex indices of face slot `slot`; -1 marks an unused corner.
inline const int32_t* SlotCorners(const Mesh& mesh, int32_t slot) { return mesh.faceVertexIndices + 4 * slot; }
inline bool IsLineSlot(const Mesh& mesh, int32_t slot) { return (mesh.faceAttributes[slot] & FaceLine) != 0; }
// Used corners of a slot: from corner 0 up to the first -1, at most four.
int UsedCorners(const int32_t* corners);
// A line slot without a point count, which goes on with the strand of the
// slot before it.
bool ContinuesStrand(const Mesh& mesh, int32_t slot);

// Number of slots, from `firstSlot` on, that belong to the strand whose first
// slot is `firstSlot` (a line slot with a point count): the continuation slots
// that follow it, as far as its point count asks and as long as they are line
// slots with a count of 0. A line slot without a count on its own gives 1.
int StrandSlotSpan(const Mesh& mesh, int32_t firstSlot);
// True when `slot` is a continuation slot inside the chain of an earlier
// first slot (as StrandSlotSpan counts it).
bool IsStrandContinuation(const Mesh& mesh, int32_t slot);
// The points of the strand starting at `firstSlot`, in order, without the
// repeated shared points: vertex and texture indices (0-based, as stored) into
// arrays of `capacity` entries. Returns the number of points written (at most
// `capacity`).
int GatherStrandPoints(const Mesh& mesh, int32_t firstSlot, int32_t* vertexIndices, int32_t* texIndices, int capacity);
