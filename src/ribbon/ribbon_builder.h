// The strand ribbon builder: turns every strand (chain of line slots) of a
// mesh into a ribbon of quads, two vertices per strand point, in a new mesh
// named "hair".
#pragma once

#include <cstdint>

#include "core/mesh.h"

// What the tool bar sets for the builder.
struct HairSettings {
    float radius;         // ribbon half-width at the root
    float stretch;        // taper: the tip is (1 - stretch * 0.95) times as wide
    int32_t onlyDynamic;  // 0: the hair mesh also keeps the source's faces
    int32_t reduce;       // non-zero: only each line slot's first and last points
};

// Builds the hair mesh of `source` with `settings`.
//
// `source` must have its vertex normals computed (as every reader leaves
// them). Its vertices' `strandMark` and `strandT` are overwritten as scratch;
// nothing else of it changes. Each strand point becomes the pair P - w*N,
// P + w*N with the half-width w = (1 - t * stretch * 0.95) * radius, t being
// the point's strand parameter (0 at the root, 1 at the tip, accumulated in
// single precision). Where a strand point's normal is exactly zero (straight
// strands, two-point strands) N is replaced by normalise(D x A), D the local
// strand direction and A the world axis least aligned with D, so that such
// ribbons keep their width.
//
// `previous`, when not null, is the hair mesh this one replaces (the one the
// last "Create" made; never `source`). The new mesh takes over each of its
// arrays that has room, so a rebuild writes into memory already mapped
// rather than paying for fresh pages. On success `previous` is left empty
// (counts 0, taken arrays null) for the caller to free as before; on
// failure it is untouched.
//
// Returns the new mesh, owned by the caller (FreeMesh), or null when the
// source has no strand segment or storage cannot be had; the caller tells
// the user ("unable to create hair", caption "error").
Mesh* BuildHairMesh(Mesh* source, const HairSettings& settings, Mesh* previous = nullptr);

// Returns the index of the (0, t) texture coordinate of the ribbon pair for
// t among the first *count coordinates of `mesh` (the even indices hold the
// (0, t) halves), appending (0, t), (1, t) at *count and raising *count by 2
// when there is none. The caller guarantees room for two more coordinates.
// This is the plain linear search; the builder uses an index that gives the
// same indices in the same order.
int FindOrAddRibbonTexPair(Mesh* mesh, float t, int32_t* count);
