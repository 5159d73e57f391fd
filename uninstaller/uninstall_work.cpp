#include "uninstaller/uninstall_work.h"

#include "core/registry.h"
#include "core/text.h"
#include "installer/executor.h"
#include "installer/operation_list.h"

namespace uninstaller {

namespace {

const char* const kDeleteOperations[] = {
    "delete_folder", "delete_file", "delete_registry_key", "delete_registry_string", "delete_registry_dword",
};

constexpr char kLogName[] = "Setup.uni";
constexpr char kProgramName[] = "Setup.exe";
constexpr char kLibraryName[] = "dsetup.dll";

// The delete lines stand as they were recorded: nothing in them is expanded.
class PageContext : public installer::InstallContext {
public:
    explicit PageContext(wizard::UninstallingPage& page) : page_(page) {}
    HWND Owner() override { return page_.Owner(); }
    std::string Expand(std::string_view text) override { return std::string(text); }
    void KeepAlive() override {
        if (!page_.KeepAlive()) cancelled_ = true;
    }
    bool Cancelled() const { return cancelled_; }

private:
    wizard::UninstallingPage& page_;
    bool cancelled_ = false;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (IsValid()) ::CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

std::string TrimmedFolder(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    std::string folder(path.substr(0, slash == std::string_view::npos ? 0 : slash));
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return core::ToUpperAscii(folder);
}

std::string FileName(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    return core::ToUpperAscii(path.substr(slash == std::string_view::npos ? 0 : slash + 1));
}

// The file a delete_file line removes, if it is name in folder (any letter
// case, with or without a doubled separator).
bool DeletesFileIn(const std::vector<std::string>& fields, const std::string& folder, const char* name) {
    return fields[0] == "delete_file" && fields.size() > 1 && FileName(fields[1]) == core::ToUpperAscii(name) &&
           TrimmedFolder(fields[1]) == TrimmedFolder(folder + "\\");
}

bool IsRegistryOperation(const std::string& name) { return name.rfind("delete_registry_", 0) == 0; }

bool StillThere(const std::string& line) {
    std::vector<std::string> fields = installer::SplitLine(line);
    const std::string& name = fields[0];
    if (name == "delete_file" || name == "delete_folder")
        return fields.size() > 1 && ::GetFileAttributesA(fields[1].c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!IsRegistryOperation(name)) return true;  // not ours to judge: kept as the install wrote it
    HKEY root = fields.size() > 2 ? installer::RootFromName(fields[1]) : nullptr;
    core::RegistryKey key;
    if (!root || !key.Open(fields[2].c_str(), true, root)) return false;
    if (name == "delete_registry_key") return true;
    if (fields.size() < 4) return false;
    if (name == "delete_registry_string") return key.IsString(fields[3].c_str());
    return key.IsDword(fields[3].c_str());
}

class Waiter {
public:
    Waiter(wizard::UninstallingPage& page, DWORD budgetMs) : page_(page), budget_(budgetMs) {}

    // Deletes a file that is in use once it is free; false on Cancel, when
    // the caller still allows one.
    bool DeleteWhenFree(const std::string& path, bool cancellable) {
        for (;;) {
            if (::DeleteFileA(path.c_str())) return true;
            if (!IsInUse(path, ::GetLastError())) {
                // A program that ended between the failed delete and the
                // check has freed its file: one more try, then it stays.
                ::DeleteFileA(path.c_str());
                return true;
            }
            if (budget_ == 0) return true;
            DWORD start = ::GetTickCount();
            // Wakes early for input, so the window answers while it waits.
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            if (!page_.KeepAlive() && cancellable) return false;
            DWORD spent = ::GetTickCount() - start;
            budget_ = spent >= budget_ ? 0 : budget_ - spent;
        }
    }

private:
    wizard::UninstallingPage& page_;
    DWORD budget_;
};

// One line with the executor's rules, then the wait for a file in use.
// False when the user cancelled and that is still allowed.
bool RunLine(PageContext& context, Waiter& waiter, const std::string& line, bool cancellable) {
    if (!IsDeleteOperation(line)) return true;
    installer::OperationList records;
    installer::ExecuteOperations(context, {line}, &records, nullptr);
    if (cancellable && context.Cancelled()) return false;
    std::vector<std::string> fields = installer::SplitLine(line);
    return !(fields[0] == "delete_file" && fields.size() > 1 &&
             ::GetFileAttributesA(fields[1].c_str()) != INVALID_FILE_ATTRIBUTES &&
             !waiter.DeleteWhenFree(fields[1], cancellable));
}

// After a Cancel: the log keeps what is still there, in the same format, so
// that the installed Setup.exe can finish the job. It is written beside and
// then moved over the old one; when that fails the old, longer log stays,
// which is still right (what is gone is skipped).
void KeepLog(const UninstallJob& job, const UninstallOrder& order) {
    if (order.logPath.empty() || ::GetFileAttributesA(order.logPath.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    const std::string fresh = order.logPath + ".new";
    if (installer::BuildUninstallLog(LinesStillToDo(job.todo), job.rightAligned).Save(fresh.c_str()) &&
        ::MoveFileExA(fresh.c_str(), order.logPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return;
    ::DeleteFileA(fresh.c_str());
}

}  // namespace

bool IsDeleteOperation(const std::string& line) {
    std::string name = installer::SplitLine(line)[0];
    for (const char* op : kDeleteOperations)
        if (name == op) return true;
    return false;
}

bool IsInUse(const std::string& path, DWORD deleteError) {
    if (deleteError == ERROR_SHARING_VIOLATION || deleteError == ERROR_LOCK_VIOLATION) return true;
    if (deleteError != ERROR_ACCESS_DENIED) return false;
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    // Opening for writing changes nothing; a program being run refuses it as
    // shared, a file the user may not touch as denied.
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file.IsValid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

UninstallOrder OrderUninstall(const std::vector<std::string>& todo, const std::string& fallbackFolder) {
    UninstallOrder order;
    std::string folder = fallbackFolder;
    for (const std::string& line : todo) {
        std::vector<std::string> fields = installer::SplitLine(line);
        if (fields[0] == "delete_file" && fields.size() > 1 && FileName(fields[1]) == core::ToUpperAscii(kLogName)) {
            order.logPath = fields[1];
            folder = fields[1].substr(0, fields[1].find_last_of("\\/"));
        }
    }
    std::string library, log;
    std::vector<std::string> registry;
    // A project may install Setup.exe itself, so a line can come twice.
    for (const std::string& line : todo) {
        std::vector<std::string> fields = installer::SplitLine(line);
        if (DeletesFileIn(fields, folder, kProgramName)) {
            if (order.program.empty()) order.program = line;
        } else if (DeletesFileIn(fields, folder, kLibraryName)) {
            if (library.empty()) library = line;
        } else if (!order.logPath.empty() && DeletesFileIn(fields, folder, kLogName)) {
            log = line;
        } else if (IsRegistryOperation(fields[0])) {
            registry.push_back(line);
        } else {
            order.first.push_back(line);
        }
    }
    if (!library.empty()) order.last.push_back(library);
    order.last.insert(order.last.end(), registry.begin(), registry.end());
    if (!log.empty()) order.last.push_back(log);
    return order;
}

std::vector<std::string> LinesStillToDo(const std::vector<std::string>& todo) {
    std::vector<std::string> left;
    for (const std::string& line : todo)
        if (StillThere(line)) left.push_back(line);
    return left;
}

bool PerformUninstall(wizard::UninstallingPage& page, const UninstallJob& job, DWORD lockWaitMs) {
    PageContext context(page);
    Waiter waiter(page, lockWaitMs);
    const UninstallOrder order = OrderUninstall(job.todo, job.targetFolder);
    page.SetRange(0, order.first.size() + (order.program.empty() ? 0 : 1) + order.last.size());
    page.SetPosition(0);
    size_t done = 0;
    auto cancelled = [&] {
        KeepLog(job, order);
        return false;
    };
    if (!page.KeepAlive()) return cancelled();
    for (const std::string& line : order.first) {
        if (!RunLine(context, waiter, line, true)) return cancelled();
        page.SetPosition(++done);
        if (!page.KeepAlive()) return cancelled();
    }
    if (!order.program.empty()) {
        if (!RunLine(context, waiter, order.program, true)) return cancelled();
        page.SetPosition(++done);
    }
    // The program that could finish the job is gone: from here the run goes
    // to its end, a Cancel now would only leave pieces nothing can remove.
    for (const std::string& line : order.last) {
        RunLine(context, waiter, line, false);
        page.SetPosition(++done);
        page.KeepAlive();
    }
    // The log deletes itself after its folder: that folder is empty only now.
    for (const std::string& line : job.todo) {
        std::vector<std::string> fields = installer::SplitLine(line);
        if (fields[0] == "delete_folder" && fields.size() > 1) ::RemoveDirectoryA(fields[1].c_str());
    }
    return true;
}

}  // namespace uninstaller
