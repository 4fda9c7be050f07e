// The tokens of Poser prop, hair and figure files (.pp2, .hr2, .cr2).
//
// A token is a word and the rest of its line (the argument, after the blanks
// that follow the word; it keeps trailing blanks). A brace is a token of its
// own only where a token begins: at the start of a line's text or right after
// another brace. A brace written after a word on the same line belongs to
// that word's argument and does not nest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mesh.h"
#include "formats/byte_source.h"
#include "formats/face_slots.h"

// A word holds at most 2047 characters, an argument at most 16,383 (a strand
// of 511 points fits), each with its terminator.
constexpr size_t PoserWordSize = 2048;
constexpr size_t PoserArgumentSize = StatementArgumentSize;

// The token input, read through a window of whole lines: a file that
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
// At most how many bytes of input are left to read (UINT64_MAX when the
// source cannot tell): what storage reserved for announced counts is sized by.
uint64_t PoserInputBytesLeft();
// Bytes of input read so far, and how many are left when the input knows
// its size exactly (else UINT64_MAX).
uint64_t PoserInputOffset();
uint64_t PoserInputExactBytesLeft();
// Cuts `text` in place at its first space, tab or ':' and to at most 63
// characters; returns the resulting length (0: no name).
int CutPoserName(char* text);

inline bool IsPoserBrace(const char* word, char brace) { return word[0] == brace && word[1] == '\0'; }
