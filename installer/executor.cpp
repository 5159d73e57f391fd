#include "installer/executor.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "core/file_path.h"
#include "core/file_systems.h"
#include "core/mount_table.h"
#include "core/os/os.h"
#include "core/os_version.h"
#include "core/registry.h"
#include "core/text.h"

namespace installer {

namespace {

constexpr uint64_t kStepWeight = 2048;

const char kCaption[] = "Setup";
const char kErrorCreateFolder[] = "[INSTALL_GENERAL_ERRORCREATEFOLDER]";
const char kErrorOpenFile[] = "[INSTALL_GENERAL_ERROROPENFILE]";
const char kErrorCreateFile[] = "[INSTALL_GENERAL_ERRORCREATEFILE]";
const char kErrorCreateRegistry[] = "[INSTALL_GENERAL_ERRORCREATEREGISTRY]";

std::string WithBackslash(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

// The Programs folder of the Start menu: all users' on the NT family.
std::string ProgramsFolder() {
    core::OsVersion version;
    core::GetOsVersion(version);
    core::FilePath folder;
    folder.SetSpecialFolder(version.kind >= core::kOsWindowsNT ? core::kFolderCommonPrograms
                                                                : core::kFolderPrograms);
    return folder.FullPath();
}

// Asks Retry (true) or Cancel (false) after an error with the text key.
bool AskRetryAfter(InstallContext& context, const char* key, const std::string& argument) {
    std::string text = FormatWithArgument(context.Expand(key), argument);
    return MessageBoxA(context.Owner(), text.c_str(), kCaption, MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
}

class Run {
public:
    Run(InstallContext& context, ProgressSink* progress) : context_(context), progress_(progress) {}

    bool Execute(const OperationList& lines, OperationList* undo) {
        if (progress_) {
            progress_->SetRange(0, 1);
            progress_->SetPosition(0);
        }
        context_.KeepAlive();
        uint64_t total = 0;
        for (const std::string& line : lines) total += OperationWeight(context_, SplitLine(line));
        if (progress_) {
            progress_->SetRange(0, total);
            progress_->SetPosition(0);
        }
        for (const std::string& line : lines) {
            std::vector<std::string> f = SplitLine(line);
            bool copied = Perform(f);
            if (!copied) done_ += OperationWeight(context_, f);
            if (progress_) progress_->SetPosition(done_);
            context_.KeepAlive();
            if (failed_) break;
        }
        undo->insert(undo->end(), records_.rbegin(), records_.rend());
        return !failed_;
    }

private:
    // Runs one line; true when it was a copy, which advanced the progress itself.
    bool Perform(const std::vector<std::string>& f) {
        const std::string& op = f[0];
        auto field = [&f](size_t i) -> const std::string& {
            static const std::string empty;
            return i < f.size() ? f[i] : empty;
        };
        if (op == "create_folder") {
            CreateFolder(context_.Expand(field(1)));
        } else if (op == "create_startmenu_folder") {
            CreateStartMenuFolder(context_.Expand(field(1)));
        } else if (op == "delete_folder") {
            RemoveDirectoryA(field(1).c_str());
        } else if (op == "copy_file") {
            CopyFile(context_.Expand(field(1)), context_.Expand(field(2)));
            return true;
        } else if (op == "delete_file") {
            DeleteFileA(field(1).c_str());
        } else if (op == "create_registry_key") {
            CreateRegistryKey(field(1), context_.Expand(field(2)));
        } else if (op == "delete_registry_key") {
            if (HKEY root = RootFromName(field(1))) core::RegistryKey::DeleteKeyIfEmpty(field(2).c_str(), root);
        } else if (op == "create_registry_string") {
            WriteValue(field(1), context_.Expand(field(2)), context_.Expand(field(3)), false,
                       context_.Expand(field(4)), 0);
        } else if (op == "delete_registry_string") {
            DeleteValue(field(1), field(2), field(3), REG_SZ);
        } else if (op == "create_registry_dword") {
            WriteValue(field(1), context_.Expand(field(2)), context_.Expand(field(3)), true, std::string(),
                       uint32_t(ParseDecimal(field(4))));
        } else if (op == "delete_registry_dword") {
            DeleteValue(field(1), field(2), field(3), REG_DWORD);
        } else if (op == "create_shortcut") {
            CreateShortcut(context_.Expand(field(1)) + ".lnk",
                           context_.Expand(field(2)), context_.Expand(field(3)), context_.Expand(field(4)),
                           context_.Expand(field(5)), int(ParseDecimal(field(6))));
        }
        return false;
    }

    // Retry (true) or Cancel (false, which fails the run) after an error.
    bool AskRetry(const char* key, const std::string& argument) {
        if (AskRetryAfter(context_, key, argument)) return true;
        failed_ = true;
        return false;
    }

    void CreateFolder(const std::string& path) {
        if (core::os::IsDirectory(path.c_str())) return;
        for (;;) {
            std::vector<std::string> parts = core::SplitPathParts(path, true);
            bool ok = false;
            if (parts.size() > 1) {
                std::string current = parts[0];
                for (size_t i = 1; i < parts.size(); ++i) {
                    current = WithBackslash(current) + parts[i] + "\\";
                    // Folders on the way that exist already fail here, as expected.
                    ok = CreateDirectoryA(current.c_str(), nullptr) != FALSE;
                }
            }
            if (ok) {
                records_.push_back("delete_folder|" + path);
                return;
            }
            if (!AskRetry(kErrorCreateFolder, path)) return;
        }
    }

    // The Start menu's Programs folder, or empty when the system names none:
    // then nothing may land in the root of the current drive instead.
    static std::string InPrograms(const std::string& name) {
        std::string programs = ProgramsFolder();
        return programs.empty() ? std::string() : WithBackslash(programs) + name;
    }

    void CreateStartMenuFolder(const std::string& name) {
        for (;;) {
            const std::string path = InPrograms(name);
            if (!path.empty()) {
                if (core::os::IsDirectory(path.c_str())) return;
                if (CreateDirectoryA(path.c_str(), nullptr)) {
                    records_.push_back("delete_folder|" + path);
                    return;
                }
            }
            if (!AskRetry(kErrorCreateFolder, path.empty() ? name : path)) return;
        }
    }

    void CopyFile(const std::string& source, const std::string& target) {
        const uint64_t start = done_;
        for (;;) {
            std::unique_ptr<core::Stream> in;
            while (!(in = core::OpenForReading(source.c_str())))
                if (!AskRetry(kErrorOpenFile, source)) return;
            std::unique_ptr<core::Stream> out;
            while (!(out = core::OpenForWriting(target.c_str())))
                if (!AskRetry(kErrorCreateFile, target)) return;
            uint8_t* buffer = TransferBuffer();
            uint64_t remaining = in->GetSize();
            bool complete = true;
            while (remaining > 0) {
                uint64_t chunk = remaining < kTransferBufferSize ? remaining : kTransferBufferSize;
                // A short read or write is a failed copy, never one counted as made.
                if (in->Read(buffer, chunk) != chunk || out->Write(buffer, chunk) != chunk) {
                    complete = false;
                    break;
                }
                done_ += chunk;
                if (progress_) progress_->SetPosition(done_);
                context_.KeepAlive();
                remaining -= chunk;
            }
            in->Close();
            out->Close();
            if (complete) {
                records_.push_back("delete_file|" + target);
                return;
            }
            done_ = start;
            if (progress_) progress_->SetPosition(done_);
            if (!AskRetry(kErrorCreateFile, target)) {
                DeleteFileA(target.c_str());  // no half-written file stays behind
                return;
            }
        }
    }

    void CreateRegistryKey(const std::string& rootName, const std::string& key) {
        HKEY root = RootFromName(rootName);
        {
            core::RegistryKey existing;
            if (root && existing.Open(key.c_str(), true, root)) return;
        }
        for (;;) {
            core::RegistryKey created;
            if (root && created.Create(key.c_str(), root)) {
                records_.push_back("delete_registry_key|" + rootName + "|" + key);
                return;
            }
            if (!AskRetry(kErrorCreateRegistry, rootName + "/" + key)) return;
        }
    }

    void WriteValue(const std::string& rootName, const std::string& key, const std::string& name, bool dword,
                    const std::string& text, uint32_t number) {
        HKEY root = RootFromName(rootName);
        for (;;) {
            core::RegistryKey k;
            bool ok = root && k.Open(key.c_str(), false, root) &&
                      (dword ? k.SetDword(name.c_str(), number) : k.SetString(name.c_str(), text.c_str()));
            if (ok) {
                records_.push_back(std::string(dword ? "delete_registry_dword|" : "delete_registry_string|") +
                                   rootName + "|" + key + "|" + name);
                return;
            }
            if (!AskRetry(kErrorCreateRegistry, rootName + "/" + key + "/" + name)) return;
        }
    }

    void DeleteValue(const std::string& rootName, const std::string& key, const std::string& name, DWORD type) {
        HKEY root = RootFromName(rootName);
        core::RegistryKey k;
        if (!root || !k.Open(key.c_str(), false, root)) return;
        if (type == REG_SZ ? k.IsString(name.c_str()) : k.IsDword(name.c_str())) k.DeleteValue(name.c_str());
    }

    void CreateShortcut(const std::string& name, const std::string& target, const std::string& arguments,
                        const std::string& workdir, const std::string& icon, int iconIndex) {
        const std::string link = InPrograms(name);
        bool made = false;
        IShellLinkA* shellLink = nullptr;
        if (!link.empty() && SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                       reinterpret_cast<void**>(&shellLink)))) {
            shellLink->SetPath(target.c_str());
            shellLink->SetDescription("");
            shellLink->SetIconLocation(icon.c_str(), iconIndex);
            shellLink->SetWorkingDirectory(workdir.c_str());
            shellLink->SetArguments(arguments.c_str());
            IPersistFile* file = nullptr;
            if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
                WCHAR wide[MAX_PATH] = {};
                MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, link.c_str(), -1, wide, MAX_PATH);
                wide[MAX_PATH - 1] = 0;
                file->Save(wide, TRUE);
                file->Release();
                made = true;  // also when the save itself reported a failure
            }
            shellLink->Release();
        }
        if (made) {
            records_.push_back("delete_file|" + link);
            return;
        }
        // Not a failure of the install: it goes on without the shortcut.
        std::string text = FormatWithArgument(context_.Expand(kErrorCreateFile), link.empty() ? name : link);
        MessageBoxA(context_.Owner(), text.c_str(), kCaption, MB_OK | MB_ICONERROR);
    }

    InstallContext& context_;
    ProgressSink* progress_;
    uint64_t done_ = 0;
    bool failed_ = false;
    OperationList records_;
};

}  // namespace

uint8_t* TransferBuffer() {
    static std::vector<uint8_t> buffer(kTransferBufferSize);
    return buffer.data();
}

HKEY RootFromName(std::string_view name) {
    std::string upper = core::ToUpperAscii(name);
    if (upper == "HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    if (upper == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    if (upper == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    return nullptr;
}

uint64_t OperationWeight(InstallContext& context, const std::vector<std::string>& f) {
    static const char* const steps[] = {
        "create_folder",          "create_startmenu_folder", "delete_folder",          "delete_file",
        "create_shortcut",        "create_registry_key",     "delete_registry_key",    "create_registry_string",
        "delete_registry_string", "create_registry_dword",   "delete_registry_dword",
    };
    if (f[0] == "copy_file") {
        if (f.size() < 2) return 0;
        std::unique_ptr<core::Stream> source = core::OpenForReading(context.Expand(f[1]).c_str());
        return source ? source->GetSize() : 0;
    }
    for (const char* op : steps)
        if (f[0] == op) return kStepWeight;
    return 0;
}

bool ExecuteOperations(InstallContext& context, const OperationList& lines, OperationList* undo,
                       ProgressSink* progress) {
    return Run(context, progress).Execute(lines, undo);
}

bool RunInstall(InstallContext& context, OperationList lines, OperationList* undo, ProgressSink* progress,
                bool rightAligned) {
    lines.push_back("copy_file|Setup.exe|[TargetFolder]\\Setup.exe");
    if (!ExecuteOperations(context, lines, undo, progress)) {
        OperationList discarded;
        ExecuteOperations(context, *undo, &discarded, nullptr);
        return false;
    }
    // Without its log the install could not be removed: a log that cannot be
    // written is an error like any other, and Cancel rolls everything back.
    std::string path = context.Expand("[TargetFolder]\\Setup.uni");
    undo->push_back("delete_file|" + path);
    const core::DataGroup log = BuildUninstallLog(*undo, rightAligned);
    while (!log.Save(path.c_str())) {
        if (AskRetryAfter(context, kErrorCreateFile, path)) continue;
        OperationList discarded;
        ExecuteOperations(context, *undo, &discarded, nullptr);
        return false;
    }
    return true;
}

}  // namespace installer
