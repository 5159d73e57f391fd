// Signing runs Debian's osslsigncode: the program goes to a file, comes back
// signed, and the files are removed.
#include "tools/disctool/signing.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

extern char** environ;

namespace fs = std::filesystem;

namespace disctool {

namespace {

bool Read(const fs::path& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool Write(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

// Runs the command with its output in log: its exit code, -1 when it did not
// exit, -2 (errno set) when it could not be started.
int Run(std::vector<std::string> args, const fs::path& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return errno = started, -2;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool SignProgram(std::vector<uint8_t>* program, const SignOptions& options, const std::string& folder,
                 std::string* error) {
    const fs::path in = fs::path(folder) / ".unsigned.tmp", out = fs::path(folder) / ".signed.tmp",
                   log = fs::path(folder) / ".osslsigncode.log";
    std::error_code ec;
    auto cleanUp = [&] {
        fs::remove(in, ec), fs::remove(out, ec), fs::remove(log, ec);
    };
    if (!Write(in, *program)) return *error = in.string() + ": cannot be written", cleanUp(), false;
    std::vector<std::string> args = {"osslsigncode", "sign", "-pkcs12", options.certificate, "-h", "sha256"};
    if (!options.passwordFile.empty()) args.insert(args.end(), {"-readpass", options.passwordFile});
    if (!options.description.empty()) args.insert(args.end(), {"-n", options.description});
    // XP's signature check knows only the Authenticode form of time stamps.
    if (!options.timestampUrl.empty()) args.insert(args.end(), {"-t", options.timestampUrl});
    if (options.signingTime >= 0) args.insert(args.end(), {"-time", std::to_string(options.signingTime)});
    args.insert(args.end(), {"-in", in.string(), "-out", out.string()});
    const int status = Run(args, log);
    if (status != 0) {
        std::vector<uint8_t> said;
        Read(log, &said);
        std::string text(said.begin(), said.end());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        for (char& c : text)
            if (c == '\n') c = ' ';
        *error = status == -2 ? std::string("osslsigncode cannot be started (") + std::strerror(errno) +
                                  "; Debian's osslsigncode package installs it)"
                            : "osslsigncode failed: " + text;
        cleanUp();
        return false;
    }
    std::vector<uint8_t> signedProgram;
    if (!Read(out, &signedProgram)) return *error = out.string() + ": cannot be read", cleanUp(), false;
    program->swap(signedProgram);
    cleanUp();
    return true;
}

}  // namespace disctool
