#include "uninstaller/uninstall_work.h"

#include "installer/executor.h"
#include "installer/operation_list.h"

namespace uninstaller {

namespace {

const char* const kDeleteOperations[] = {
    "delete_folder", "delete_file", "delete_registry_key", "delete_registry_string", "delete_registry_dword",
};

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

bool InUse(const std::string& path, DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
    // A running program cannot be deleted either; a read-only file is not in use.
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

class Waiter {
public:
    Waiter(wizard::UninstallingPage& page, DWORD budgetMs) : page_(page), budget_(budgetMs) {}

    // Deletes a file that is in use once it is free; false on Cancel.
    bool DeleteWhenFree(const std::string& path) {
        for (;;) {
            if (::DeleteFileA(path.c_str())) return true;
            if (!InUse(path, ::GetLastError()) || budget_ == 0) return true;
            DWORD start = ::GetTickCount();
            // Wakes early for input, so the window answers while it waits.
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            if (!page_.KeepAlive()) return false;
            DWORD spent = ::GetTickCount() - start;
            budget_ = spent >= budget_ ? 0 : budget_ - spent;
        }
    }

private:
    wizard::UninstallingPage& page_;
    DWORD budget_;
};

}  // namespace

bool IsDeleteOperation(const std::string& line) {
    std::string name = installer::SplitLine(line)[0];
    for (const char* op : kDeleteOperations)
        if (name == op) return true;
    return false;
}

bool PerformUninstall(wizard::UninstallingPage& page, const std::vector<std::string>& todo, DWORD lockWaitMs) {
    PageContext context(page);
    Waiter waiter(page, lockWaitMs);
    page.SetRange(0, todo.size());
    page.SetPosition(0);
    if (!page.KeepAlive()) return false;
    for (size_t i = 0; i < todo.size(); ++i) {
        const std::string& line = todo[i];
        if (IsDeleteOperation(line)) {
            installer::OperationList records;
            installer::ExecuteOperations(context, {line}, &records, nullptr);
            if (context.Cancelled()) return false;
            std::vector<std::string> fields = installer::SplitLine(line);
            if (fields[0] == "delete_file" && fields.size() > 1 &&
                ::GetFileAttributesA(fields[1].c_str()) != INVALID_FILE_ATTRIBUTES &&
                !waiter.DeleteWhenFree(fields[1]))
                return false;
        }
        page.SetPosition(i + 1);
        if (!page.KeepAlive()) return false;
    }
    // The log deletes itself after its folder: that folder is empty only now.
    for (const std::string& line : todo) {
        std::vector<std::string> fields = installer::SplitLine(line);
        if (fields[0] == "delete_folder" && fields.size() > 1) ::RemoveDirectoryA(fields[1].c_str());
    }
    return true;
}

}  // namespace uninstaller
