// tinyobjloader's implementation, compiled once for the groom bench (its
// header is all of it, so the Windows build needs no library of it).
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>
