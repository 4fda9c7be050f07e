// Resource bytes compiled into portable builds (see cmake/EmbedResources.cmake).
#pragma once

#include <cstddef>

// The bytes of the embedded resource `name` (case-insensitive, no extension),
// or 0 when the build carries none of that name. The bytes are the program's
// own constant data: never freed, never written, valid for the whole run.
int LookupEmbeddedBytes(const char* name, const unsigned char** data, size_t* size);
