// The Poser tokenizer: words and the rest of their lines from the one input
// a load reads.
#include "formats/poser_tokens.h"

#include <cstdio>
#include <cstring>

#include "formats/byte_source.h"

namespace {

// The one input a load reads from: a file opened here, or a caller's source.
struct PoserInput {
    std::FILE* file;
    ByteSource fileSource;
    TextWindow window;
    unsigned char storage[TextWindowSize + 1];
};
PoserInput input = {};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The text from the window's position to the end of its line into `out`
// (`size` bytes), which ends the line; 0 when the line does not fit or the
// input ends before its CR or LF.
int TakeLine(char* out, size_t size) {
    TextWindow* w = &input.window;
    size_t end = 0;
    if (FindLineEnd(w, &end) != LineTerminated) return 0;
    const size_t length = end - w->position;
    if (length >= size) return 0;
    std::memcpy(out, w->bytes + w->position, length);
    out[length] = '\0';
    w->position = end + 1;
    return 1;
}
}  // namespace

int OpenPoserInput(const char* path) {
    ClosePoserInput();
    input.file = std::fopen(path, "rb");
    if (!input.file) return 0;
    input.fileSource = FileByteSource(input.file);
    StartTextWindow(&input.window, &input.fileSource, input.storage);
    return 1;
}

void StartPoserInput(ByteSource* source) {
    ClosePoserInput();
    StartTextWindow(&input.window, source, input.storage);
}

void ClosePoserInput() {
    if (input.file) std::fclose(input.file);
    input.file = nullptr;
    StartTextWindow(&input.window, nullptr, input.storage);
}

uint64_t PoserInputBytesLeft() { return TextWindowBytesLeft(&input.window); }

uint64_t PoserInputOffset() { return TextWindowOffset(&input.window); }

uint64_t PoserInputExactBytesLeft() { return TextWindowExactBytesLeft(&input.window); }

int NextPoserToken(char* word, char* argument) {
    word[0] = '\0';
    argument[0] = '\0';
    TextWindow* w = &input.window;
    for (;;) {
        if (!SkipBlanks(w, true)) return 0;
        const char c = static_cast<char>(w->bytes[w->position]);
        if (c == '{' || c == '}') {
            word[0] = c;
            word[1] = '\0';
            ++w->position;
            return 1;
        }
        // Every other token needs its line's end: the input ending before it
        // loses the token.
        size_t end = 0;
        const LineKind kind = FindLineEnd(w, &end);
        if (kind == LineAtEnd) return 0;
        const char* line = reinterpret_cast<const char*>(w->bytes);
        const size_t start = w->position;
        if (start + 1 < end && line[start] == '/' && line[start + 1] == '/') {
            if (!SkipLine(w)) return 0;  // a comment
            continue;
        }
        size_t stop = start + 1;  // the first character is no blank
        while (stop < end && !IsBlank(line[stop])) ++stop;
        if (stop - start + 1 > PoserWordSize) return 0;
        std::memcpy(word, line + start, stop - start);
        word[stop - start] = '\0';
        w->position = stop;
        if (stop == end) {
            ++w->position;  // the word ends the line: no argument
            return 1;
        }
        if (!SkipBlanks(w, false)) return 0;
        return TakeLine(argument, PoserArgumentSize);
    }
}

int SkipPoserBlock(char* word, char* argument) {
    int depth = 1;
    while (NextPoserToken(word, argument)) {
        if (IsPoserBrace(word, '{')) {
            ++depth;
        } else if (IsPoserBrace(word, '}') && --depth == 0) {
            return 1;
        }
    }
    return 0;
}

int SkipPoserMaterialBlock(char* word, char* argument) {
    if (!NextPoserToken(word, argument) || !IsPoserBrace(word, '{')) return 0;
    return SkipPoserBlock(word, argument);
}

int CutPoserName(char* text) {
    size_t length = 0;
    while (text[length] && text[length] != ' ' && text[length] != '\t' && text[length] != ':' &&
           length < MeshNameSize - 1)
        ++length;
    text[length] = '\0';
    return static_cast<int>(length);
}
