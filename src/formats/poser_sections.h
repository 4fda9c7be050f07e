// The two Poser blocks whose contents the program keeps: the inline geometry
// of an object (geomCustom) and a material's colours and texture.
#pragma once

#include "core/mesh.h"

// What the numbVerts and numbTVerts counts of a load announced so far, from
// the mesh's capacities when the load began: the coordinates of every block
// together fit in it, or the load fails.
struct PoserRoom {
    int64_t vertices, texCoords;
};

// Called after the word "geomCustom": reads the block up to and including its
// closing '}' and appends it to `mesh`. Its "f" and "l" indices count from
// this block's first vertex and texture coordinate. Storage grows only through
// the block's numbVerts / numbTVerts / numbElems counts, so a "v" or "vt"
// before them fails. A numbVerts below 1 skips the block, keeping nothing of
// it. Returns 1, or 0 on a malformed count (not a number, or negative), a
// coordinate without room or numbers, a failed growth or the end of input.
// Storage is reserved for a count only as far as the rest of the input could
// fill it, and grows toward the announced room as the coordinates arrive.
// `word` and `argument` are the token buffers (PoserWordSize and
// PoserArgumentSize bytes).
int ReadPoserGeometry(Mesh* mesh, PoserRoom* room, char* word, char* argument);

// Called after the word "material", whose argument (still in `argument`)
// names it: fills that material when some geometry named it with "usemtl",
// else skips the block. Returns 1, or 0 on a malformed colour, NsExponent or
// tMax line, a block that closes before it opens, or the end of input.
int ReadPoserMaterial(Mesh* mesh, char* word, char* argument);

// Reduces a texture path in place to the bare file name: the text after the
// last ':', '"' or '\' (a '/' does not separate), without a closing quote and
// trailing blanks; "NO_MAP" becomes empty. The map's trailing number pair
// ("... .jpg" 0 0) that files carry on the same line is not part of the name.
void TextureFileNameFromPath(char* text);
