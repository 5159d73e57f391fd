// The subcommands of disctool. Each takes the arguments after its own name
// (argv[0] is the subcommand) and returns the process exit code.
#pragma once

namespace disctool {

int RunTree(int argc, char** argv);
int RunPack(int argc, char** argv);
int RunProject(int argc, char** argv);
int RunPe(int argc, char** argv);
int RunIni(int argc, char** argv);

// "disctool: " + message on standard error; returns 1.
int Fail(const char* format, ...);

}  // namespace disctool
