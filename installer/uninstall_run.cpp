#include "installer/uninstall_run.h"

#include "core/binary_buffer.h"
#include "core/core_startup.h"
#include "core/file_path.h"
#include "core/registry.h"
#include "core/text.h"
#include "installer/operation_list.h"

namespace installer {

namespace {

constexpr char kCaption[] = "Setup";
constexpr char kLogName[] = "Setup.uni";
constexpr char kAutorunKey[] = "Software\\Trelvo\\Autorun\\";
constexpr char kProgramsListKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kNothingRemoved[] = "Nothing has been removed.";

// "C:\Games\X\" and "C:\Games\X" are one folder; a drive's root keeps its "\".
std::string TrimFolder(std::string folder) {
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
}

std::string InFolder(const std::string& folder, const char* name) {
    return folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\") + name;
}

bool SameFolder(const std::string& a, const std::string& b) {
    return core::ToUpperAscii(TrimFolder(a)) == core::ToUpperAscii(TrimFolder(b));
}

std::string CurrentFolder() {
    char folder[MAX_PATH * 2] = {};
    DWORD n = ::GetCurrentDirectoryA(sizeof folder, folder);
    return n && n < sizeof folder ? std::string(folder, n) : std::string();
}

std::string StringValue(HKEY root, const std::string& key, const char* name) {
    core::RegistryKey opened;
    return opened.Open(key.c_str(), true, root) ? opened.GetString(name) : std::string();
}

bool IsFile(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The log's "ToDo": a list of texts. An empty one cannot come from an install
// (its last line removes the log itself), so it is refused like any damage.
bool TakeToDo(const core::DataGroup& log, core::DataValue::List* todo) {
    const core::DataValue* value = log.FindValue("ToDo");
    const core::DataValue::List* list = value ? value->GetList() : nullptr;
    if (!list || list->empty()) return false;
    for (const core::DataValue& line : *list)
        if (!line.TextObject()) return false;
    *todo = *list;
    return true;
}

class Messages {
public:
    explicit Messages(const UninstallRequest& request) : request_(request) {}

    std::string Expand(std::string_view text) const {
        return request_.expand ? request_.expand(text) : std::string(text);
    }
    void Tell(const std::string& text) const {
        ::MessageBoxA(request_.owner, text.c_str(), kCaption, MB_OK | MB_ICONERROR);
    }
    // Retry (true) or Cancel after an error with the text key and its argument.
    bool AskRetry(const char* key, const std::string& argument) const {
        std::string text = FormatWithArgument(Expand(key), argument);
        return ::MessageBoxA(request_.owner, text.c_str(), kCaption, MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
    }
    std::string ApplicationName() const { return Expand(request_.applicationName); }

private:
    const UninstallRequest& request_;
};

}  // namespace

std::string UninstallCommandLine(const std::string& base, bool quiet) {
    return core::QuotedCommandWord(base + ".exe") + " " + core::QuotedCommandWord(base + ".ini") +
           (quiet ? " -quiet" : "");
}

std::string ProgramFolderOfCommand(std::string_view command) {
    size_t start = command.find_first_not_of(" \t");
    if (start == std::string_view::npos) return std::string();
    command.remove_prefix(start);
    std::string_view program;
    if (command[0] == '"') {
        size_t close = command.find('"', 1);
        program = command.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    } else {
        // Unquoted, the program may hold spaces: it ends at ".exe" and a blank.
        std::string upper = core::ToUpperAscii(command);
        size_t end = std::string::npos;
        for (size_t at = upper.find(".EXE"); at != std::string::npos && end == std::string::npos;
             at = upper.find(".EXE", at + 1))
            if (at + 4 == upper.size() || upper[at + 4] == ' ' || upper[at + 4] == '\t') end = at + 4;
        program = command.substr(0, end == std::string::npos ? command.find_first_of(" \t") : end);
    }
    size_t slash = program.find_last_of("\\/");
    return slash == std::string_view::npos ? std::string() : TrimFolder(std::string(program.substr(0, slash + 1)));
}

std::vector<std::string> InstalledFolderCandidates(const std::string& applicationId) {
    std::vector<std::string> folders;
    auto add = [&folders](const std::string& folder) {
        if (folder.empty()) return;
        for (const std::string& known : folders)
            if (SameFolder(known, folder)) return;
        folders.push_back(TrimFolder(folder));
    };
    add(CurrentFolder());
    if (applicationId.empty()) return folders;
    core::ApplicationRecord record(applicationId.c_str());
    add(record.GetInstalledFolder());
    add(StringValue(HKEY_LOCAL_MACHINE, kAutorunKey + applicationId, "InstalledFolder"));
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        const std::string entry = kProgramsListKey + applicationId;
        add(StringValue(root, entry, "InstallLocation"));
        add(ProgramFolderOfCommand(StringValue(root, entry, "UninstallString")));
    }
    return folders;
}

UninstallLaunch RunUninstall(bool quiet, const UninstallRequest& request) {
    UninstallLaunch launch;
    const Messages messages(request);

    // The installed copy's log. Nothing runs without one: an uninstaller on an
    // empty list would report a removal that did not happen.
    core::DataValue::List todo;
    for (;;) {
        const std::vector<std::string> folders = InstalledFolderCandidates(request.applicationId);
        launch.logPath.clear();
        for (const std::string& folder : folders) {
            if (!IsFile(InFolder(folder, kLogName))) continue;
            launch.installedFolder = folder;
            launch.logPath = InFolder(folder, kLogName);
            break;
        }
        if (launch.logPath.empty()) {
            std::string text = "No uninstall log (" + std::string(kLogName) + ") of " + messages.ApplicationName() +
                               " was found in:\n";
            for (const std::string& folder : folders) text += folder + "\n";
            messages.Tell(text + "\n" + kNothingRemoved);
            launch.outcome = UninstallOutcome::kNoLog;
            return launch;
        }
        core::DataGroup log;
        core::TreeReadError error;
        const bool read = log.Load(launch.logPath.c_str(), &error);
        if (read || error.reason != "cannot be opened") {
            if (read && TakeToDo(log, &todo)) break;
            messages.Tell("The uninstall log " + launch.logPath + " is damaged, so " + messages.ApplicationName() +
                          " cannot be removed safely.\n\n" + kNothingRemoved);
            launch.outcome = UninstallOutcome::kLogDamaged;
            return launch;
        }
        // There but not readable (locked, no access): the user may free it.
        if (!messages.AskRetry("[INSTALL_GENERAL_ERROROPENFILE]", launch.logPath)) {
            launch.outcome = UninstallOutcome::kLogUnreadable;
            return launch;
        }
    }

    core::BinaryBuffer program;
    if (!program.LoadFromFile("$:$Uninstaller_Runtime$:$") || program.Size() == 0) {
        messages.Tell(std::string("The uninstaller inside this program cannot be read.\n\n") + kNothingRemoved);
        launch.outcome = UninstallOutcome::kNotStarted;
        return launch;
    }

    core::FilePath temp;
    temp.SetSpecialFolder(core::kFolderTemp);
    std::string tempFolder = temp.FullPath();
    if (tempFolder.empty() || tempFolder.back() != '\\') tempFolder += '\\';
    const std::string base = tempFolder + "{Trelvo_QmSetup}";
    launch.programPath = base + ".exe";
    launch.scriptPath = base + ".ini";
    launch.commandLine = UninstallCommandLine(base, quiet);

    core::DataGroup script;
    script.SetValue("ToDo", core::DataValue(todo));
    core::DataGroup lang;
    if (request.languageTexts) lang = *request.languageTexts;
    lang.SetValue("ApplicationName", core::DataValue(request.applicationName));
    lang.SetValue("ApplicationID", core::DataValue(request.applicationId));
    // The uninstaller shows and works on the installed folder, which is not
    // this program's when the uninstall is started from the disc.
    lang.SetValue("TargetFolder", core::DataValue(launch.installedFolder));
    script.SetValue("Lang", core::DataValue(lang));
    script.SetValue("RightAligned", core::DataValue(request.rightAligned));

    // A program or script written only in part must not run.
    auto discard = [&launch] {
        ::DeleteFileA(launch.programPath.c_str());
        ::DeleteFileA(launch.scriptPath.c_str());
    };
    auto written = [&messages](const std::string& path, const auto& write) {
        while (!write())
            if (!messages.AskRetry("[INSTALL_GENERAL_ERRORCREATEFILE]", path)) return false;
        return true;
    };
    if (!written(launch.programPath, [&] { return program.SaveToFile(launch.programPath.c_str()); }) ||
        !written(launch.scriptPath, [&] { return script.Save(launch.scriptPath.c_str()); })) {
        discard();
        launch.outcome = UninstallOutcome::kNotWritten;
        return launch;
    }

    std::string commandLine = launch.commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_FORCEONFEEDBACK;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                          nullptr, &startup, &process)) {
        discard();
        messages.Tell("The uninstaller " + launch.programPath + " could not be started.\n\n" + kNothingRemoved);
        launch.outcome = UninstallOutcome::kNotStarted;
        return launch;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    launch.outcome = UninstallOutcome::kStarted;
    return launch;
}

}  // namespace installer
