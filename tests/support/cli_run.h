// Runs the built quillmere-cli as a separate program, as a user would.
#pragma once

#include <string>

struct CliRunResult {
    int status;  // the exit status, -1 when it did not exit normally
    std::string out, err;
};

// `arguments` are shell words after the program name; `environment` is put in
// front of the command ("QUILLMERE_SCALAR=1"). `tag` names the folder that
// catches the output streams.
CliRunResult RunCliProgram(const std::string& tag, const std::string& arguments, const std::string& environment = "");
