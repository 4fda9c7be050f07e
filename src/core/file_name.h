// The file-name part of a path, as the titles, the dialogs and the writers
// show and derive names.
#pragma once

// The text after the last '/' or '\\' of `path` (the whole path when it has
// neither, "" when it ends in one); a pointer into `path`, which must be a
// terminated string. Drive letters are not separators: "c:x.obj" names
// "c:x.obj".
const char* FileNameOf(const char* path);
