// The folder chooser of the target page: a path field, a lazily listed
// folder tree of one drive, and the list of drives with the shell's names
// and icons.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/window.h"

namespace wizard {

// The shell's system image lists (small and large icons).
class SystemImageList {
public:
    SystemImageList();
    ~SystemImageList();
    SystemImageList(const SystemImageList&) = delete;
    SystemImageList& operator=(const SystemImageList&) = delete;
    HIMAGELIST Small() const { return small_; }
    HIMAGELIST Large() const { return large_; }
    // The system image-list index of path's icon; -1 when the shell has none.
    static int IconIndex(const std::string& path, bool small, bool open, bool selected);

private:
    HIMAGELIST small_ = nullptr, large_ = nullptr;
    // The shell owns its lists; we release only what we made ourselves.
    bool ownSmall_ = false, ownLarge_ = false;
};

class FolderTree;

struct FolderItem {
    FolderTree* tree = nullptr;
    HTREEITEM item = nullptr;
    int image = -1;
    int selectedImage = -1;
    std::string text;
    bool populated = false;
    bool isFolder = true;
};

class FolderTree : public ui::Window {
public:
    enum Position { kFirst, kLast, kSorted };

    FolderTree() = default;
    ~FolderTree() { DeleteAllItems(); }

    void InitIcons();
    HTREEITEM InsertItem(const std::string& text, bool isFolder, HTREEITEM parent, Position position);
    HTREEITEM ParentOf(HTREEITEM item) const { return TreeView_GetParent(hwnd_, item); }
    HTREEITEM FirstChildOf(HTREEITEM item) const { return TreeView_GetChild(hwnd_, item); }
    HTREEITEM NextSiblingOf(HTREEITEM item) const { return TreeView_GetNextSibling(hwnd_, item); }
    HTREEITEM FirstRootItem() const { return TreeView_GetRoot(hwnd_); }
    HTREEITEM Selection() const { return TreeView_GetSelection(hwnd_); }
    void SelectItem(HTREEITEM item) { TreeView_SelectItem(hwnd_, item); }
    // Expands item, listing its grandchildren first.
    void ExpandItem(HTREEITEM item);
    void DeleteAllItems();
    // Detaches the image list from the control.
    void ReleaseImageList();

    std::string ItemText(HTREEITEM item) const;
    // The item's text prefixed by its ancestors' ("C:\" + "Program Files" ...).
    std::string FullPath(HTREEITEM item) const;
    // Adds item's sub-folders as its children, sorted.
    void ListSubFolders(HTREEITEM item);
    // Replaces everything by root and its sub-folders.
    void Fill(const std::string& root);
    // TVN_ITEMEXPANDED: lists the grandchildren on first opening, switches icons.
    void OnExpanded(HTREEITEM item, bool expanded);
    FolderItem* ItemRecord(HTREEITEM item) const;

private:
    std::unique_ptr<SystemImageList> images_;
    int folderClosed_ = -1, folderOpen_ = -1, file_ = -1, fileSelected_ = -1;
    bool initialised_ = false;
    FolderItem root_;
    std::vector<std::unique_ptr<FolderItem>> items_;
};

struct DriveEntry {
    std::string root;         // "C:\"
    std::string displayName;  // as the shell names the drive
    int icon = -1;
};

// Owner-drawn list of the drives.
class DriveCombo : public ui::Window {
public:
    DriveCombo();
    // Lists every drive the shell names; selects root (upper-cased) if given.
    void Fill(const std::string& root);
    // The root of entry index; "" outside the list.
    std::string RootOf(int index) const;
    const std::string& CurrentRoot() const { return currentRoot_; }
    size_t Count() const { return entries_.size(); }
    void SelectionChanged();
    void DrawItem(const DRAWITEMSTRUCT& item);
    void MeasureItem(MEASUREITEMSTRUCT& item);

private:
    std::unique_ptr<SystemImageList> images_;
    std::vector<std::unique_ptr<DriveEntry>> entries_;
    std::string currentRoot_;
};

class FolderBrowser : public ui::Dialog {
public:
    FolderBrowser(HWND parent, std::string initialPath);

    struct Texts {
        std::string caption, info, pathLabel, foldersLabel, drivesLabel, ok, cancel;
    };
    void SetTexts(Texts texts) { texts_ = std::move(texts); }
    void SetRightAligned(bool on) { rightAligned_ = on; }
    // IDOK or IDCANCEL.
    INT_PTR Run() { return DoModal(parent_); }
    const std::string& ResultPath() const { return resultPath_; }

    FolderTree& Tree() { return tree_; }
    DriveCombo& Drives() { return drives_; }

protected:
    bool OnInit() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;
    void OnOK() override;
    void OnCancel() override;

private:
    void SyncFromPath(bool refill);
    void SelectAlongPath(const std::string& path);
    void ShowPath(const std::string& path);
    void DriveChanged();

    HWND parent_;
    std::string initialPath_, resultPath_;
    Texts texts_;
    bool rightAligned_ = false;
    std::string path_;
    bool settingPath_ = false;
    FolderTree tree_;
    DriveCombo drives_;
};

}  // namespace wizard
