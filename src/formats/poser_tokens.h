// Reading Poser prop, hair and figure files (.pp2, .hr2, .cr2): the tokens
// and the walk over their blocks. Only the inline geometry (geomCustom) and
// the materials are kept; every other block is skipped by brace matching.
//
// A token is a word and the rest of its line (the argument, after the blanks
// that follow the word; it keeps trailing blanks). A brace is a token of its
// own only where a token begins: at the start of a line's text or right after
// another brace. A brace written after a word on the same line belongs to
// that word's argument and does not nest.
#pragma once

#include <cstddef>

#include "core/mesh.h"
#include "formats/byte_source.h"
#include "formats/face_slots.h"

// A word holds at most 2047 characters, an argument at most 16,383 (a strand
// of 511 points fits), each with its terminator.
constexpr size_t PoserWordSize = 2048;
constexpr size_t PoserArgumentSize = StatementArgumentSize;

// Reads `path` (gzip-compressed when its extension is "hrz", "ppz" or "crz")
// into the newly created, empty `mesh` (owned by the caller, which frees it
// on failure). On success the mesh has normals, face planes,
// bounds and texture coordinates (spherical ones when the file has none); the
// mesh name becomes the name of the last object block that has one.
// Failures are shown (caption "Error", OK button, no owner window):
// "No internal geometry" when the file block closes without any vertex,
// "Unable to read file" for a file that cannot be opened, a malformed or
// truncated structure, a damaged compressed stream or a failed storage
// growth. Returns 1 or 0.
int LoadPoserFile(Mesh* mesh, const char* path);
// The same load from `size` bytes at `data` (a file's contents).
int LoadPoserMemory(Mesh* mesh, const void* data, size_t size);
// The same load from any byte source (see byte_source.h); a source that
// reports a read error, up to its end (what follows the file block is read
// and dropped), fails the load with "Unable to read file".
int LoadPoserSource(Mesh* mesh, ByteSource* source);

// The token input, read through a 4096-byte block: a file that
// OpenPoserInput opens (0 when it cannot), or a source of the caller's, which
// must outlive the reading. Starting resets the block; the loads start and
// close it around their walk.
int OpenPoserInput(const char* path);
void StartPoserInput(ByteSource* source);
void ClosePoserInput();

// The next token into `word` (PoserWordSize bytes) and `argument`
// (PoserArgumentSize bytes). Returns 1 with a token; 0 at the end of input,
// when the input ends inside a token (a last line without a line break is
// lost), or when a word reaches 2048 characters or an argument 16,384.
int NextPoserToken(char* word, char* argument);
// After a '{' has been read: reads up to the matching '}' (1), or 0 when the
// input ends first.
int SkipPoserBlock(char* word, char* argument);
// Skips a block whose '{' is still to come: 0 when the next token is not '{'
// or the input ends before the block closes.
int SkipPoserMaterialBlock(char* word, char* argument);
// Cuts `text` in place at its first space, tab or ':' and to at most 63
// characters; returns the resulting length (0: no name).
int CutPoserName(char* text);

inline bool IsPoserBrace(const char* word, char brace) { return word[0] == brace && word[1] == '\0'; }
