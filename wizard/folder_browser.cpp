#include "wizard/folder_browser.h"

#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/busy_cursor.h"
#include "resources/resource_ids.h"
#include "wizard/right_aligned.h"

namespace wizard {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string WindowsFolder() {
    char folder[MAX_PATH] = {};
    ::GetWindowsDirectoryA(folder, MAX_PATH);
    return folder;
}

std::string ProgramFile() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

constexpr int kDriveItemHeight = 18;

}  // namespace

SystemImageList::SystemImageList() {
    SHFILEINFOA info = {};
    small_ = reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoA("", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    large_ = reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoA("", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_LARGEICON));
}

SystemImageList::~SystemImageList() {
    if (ownSmall_ && small_) ::ImageList_Destroy(small_);
    if (ownLarge_ && large_) ::ImageList_Destroy(large_);
}

int SystemImageList::IconIndex(const std::string& path, bool small, bool open, bool selected) {
    SHFILEINFOA info = {};
    UINT flags = SHGFI_SYSICONINDEX | (small ? SHGFI_SMALLICON : 0) | (open ? SHGFI_OPENICON : 0) |
                 (selected ? SHGFI_SELECTED : 0);
    if (!::SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, flags)) return -1;
    return info.iIcon;
}

void FolderTree::InitIcons() {
    if (initialised_) return;
    initialised_ = true;
    images_ = std::make_unique<SystemImageList>();
    TreeView_SetImageList(hwnd_, images_->Small(), TVSIL_NORMAL);
    std::string windows = WindowsFolder(), program = ProgramFile();
    folderClosed_ = SystemImageList::IconIndex(windows, true, false, false);
    folderOpen_ = SystemImageList::IconIndex(windows, true, true, false);
    if (folderOpen_ == -1) folderOpen_ = folderClosed_;
    file_ = SystemImageList::IconIndex(program, true, false, false);
    fileSelected_ = SystemImageList::IconIndex(program, true, false, true);
}

HTREEITEM FolderTree::InsertItem(const std::string& text, bool isFolder, HTREEITEM parent, Position position) {
    auto record = std::make_unique<FolderItem>();
    record->tree = this;
    record->text = text;
    record->isFolder = isFolder;
    record->image = isFolder ? folderClosed_ : file_;
    record->selectedImage = isFolder ? folderClosed_ : fileSelected_;

    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent ? parent : TVI_ROOT;
    insert.hInsertAfter = position == kFirst ? TVI_FIRST : position == kLast ? TVI_LAST : TVI_SORT;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<char*>(record->text.c_str());
    insert.item.iImage = record->image;
    insert.item.iSelectedImage = record->selectedImage;
    insert.item.lParam = reinterpret_cast<LPARAM>(record.get());
    HTREEITEM item = reinterpret_cast<HTREEITEM>(::SendMessageA(hwnd_, TVM_INSERTITEMA, 0, LPARAM(&insert)));
    if (!item) return nullptr;
    record->item = item;
    items_.push_back(std::move(record));
    return item;
}

void FolderTree::DeleteAllItems() {
    if (hwnd_ && ::IsWindow(hwnd_)) TreeView_DeleteAllItems(hwnd_);
    items_.clear();
}

void FolderTree::ReleaseImageList() {
    if (hwnd_ && ::IsWindow(hwnd_)) TreeView_SetImageList(hwnd_, nullptr, TVSIL_NORMAL);
    images_.reset();
}

FolderItem* FolderTree::ItemRecord(HTREEITEM item) const {
    if (!item) return nullptr;
    TVITEMA data = {};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    if (!::SendMessageA(hwnd_, TVM_GETITEMA, 0, LPARAM(&data))) return nullptr;
    return reinterpret_cast<FolderItem*>(data.lParam);
}

std::string FolderTree::ItemText(HTREEITEM item) const {
    FolderItem* record = ItemRecord(item);
    return record ? record->text : std::string();
}

std::string FolderTree::FullPath(HTREEITEM item) const {
    std::string path;
    for (HTREEITEM at = item; at; at = ParentOf(at)) {
        std::string text = ItemText(at);
        if (path.empty()) path = text;
        else if (!text.empty() && text.back() == '\\') path = text + path;
        else path = text + "\\" + path;
    }
    return path;
}

void FolderTree::ListSubFolders(HTREEITEM item) {
    std::string full = FullPath(item);
    std::string pattern = full + (ParentOf(item) ? "\\*.*" : "*.*");
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != '.')
            InsertItem(found.cFileName, true, item, kSorted);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
}

void FolderTree::Fill(const std::string& root) {
    core::BusyCursor busy;
    DeleteAllItems();
    if (root.empty()) return;
    HTREEITEM top = InsertItem(root, true, nullptr, kLast);
    if (top) ListSubFolders(top);
}

void FolderTree::OnExpanded(HTREEITEM item, bool expanded) {
    FolderItem* record = ItemRecord(item);
    if (!record) return;
    if (expanded && !record->populated) {
        // Listing the children's sub-folders gives each visible folder its
        // expand button exactly when it has something inside.
        record->populated = true;
        for (HTREEITEM child = FirstChildOf(item); child; child = NextSiblingOf(child)) ListSubFolders(child);
    }
    if (!record->isFolder) return;
    int image = expanded ? folderOpen_ : folderClosed_;
    TVITEMA data = {};
    data.mask = TVIF_HANDLE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    data.hItem = item;
    data.iImage = data.iSelectedImage = image;
    ::SendMessageA(hwnd_, TVM_SETITEMA, 0, LPARAM(&data));
}

void FolderTree::ExpandItem(HTREEITEM item) {
    if (!item) return;
    // Expanding by message sends no notification: populate first, so that
    // the item has its grandchildren when it opens.
    OnExpanded(item, true);
    TreeView_Expand(hwnd_, item, TVE_EXPAND);
    bool open = (TreeView_GetItemState(hwnd_, item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    OnExpanded(item, open);
}

DriveCombo::DriveCombo() {
    char folder[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, folder);
    currentRoot_ = Upper(folder).substr(0, 3);
}

void DriveCombo::Fill(const std::string& root) {
    Send(CB_RESETCONTENT);
    entries_.clear();
    if (!root.empty()) currentRoot_ = Upper(root);
    if (!images_) images_ = std::make_unique<SystemImageList>();
    core::BusyCursor busy;
    DWORD mask = ::GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if (!(mask & (1u << letter))) continue;
        char driveRoot[4];
        std::snprintf(driveRoot, sizeof driveRoot, "%c:\\", 'A' + letter);
        SHFILEINFOA info = {};
        if (!::SHGetFileInfoA(driveRoot, 0, &info, sizeof info, SHGFI_DISPLAYNAME)) continue;
        auto entry = std::make_unique<DriveEntry>();
        entry->root = driveRoot;
        entry->displayName = info.szDisplayName;
        entry->icon = SystemImageList::IconIndex(driveRoot, true, false, false);
        Send(CB_ADDSTRING, 0, LPARAM(entry->displayName.c_str()));
        entries_.push_back(std::move(entry));
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i]->root == currentRoot_) {
            Send(CB_SETCURSEL, WPARAM(i));
            break;
        }
    }
}

std::string DriveCombo::RootOf(int index) const {
    if (index < 0 || size_t(index) >= entries_.size()) return std::string();
    return entries_[size_t(index)]->root;
}

void DriveCombo::SelectionChanged() {
    std::string root = RootOf(int(Send(CB_GETCURSEL)));
    if (!root.empty()) currentRoot_ = root;
}

void DriveCombo::MeasureItem(MEASUREITEMSTRUCT& item) { item.itemHeight = kDriveItemHeight; }

void DriveCombo::DrawItem(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    bool selected = (item.itemState & ODS_SELECTED) != 0;
    ::FillRect(dc, &item.rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
    if (selected) text = ~text & 0xFFFFFF;
    if (item.itemState & ODS_FOCUS) ::DrawFocusRect(dc, &item.rcItem);
    if (item.itemID == UINT(-1) || item.itemID >= entries_.size()) return;
    const DriveEntry& entry = *entries_[item.itemID];
    if (images_ && images_->Small() && entry.icon >= 0)
        ::ImageList_Draw(images_->Small(), entry.icon, dc, item.rcItem.left + 2, item.rcItem.top, ILD_TRANSPARENT);
    COLORREF oldColor = ::SetTextColor(dc, text);
    int oldMode = ::SetBkMode(dc, TRANSPARENT);
    ::TextOutA(dc, item.rcItem.left + 22, item.rcItem.top + 2, entry.displayName.c_str(),
               int(entry.displayName.size()));
    ::SetBkMode(dc, oldMode);
    ::SetTextColor(dc, oldColor);
}

FolderBrowser::FolderBrowser(HWND parent, std::string initialPath)
    : ui::Dialog(IDD_FOLDER_BROWSER), parent_(parent), initialPath_(std::move(initialPath)) {}

bool FolderBrowser::OnInit() {
    tree_.Attach(GetItem(IDC_BROWSER_TREE));
    drives_.Attach(GetItem(IDC_BROWSER_DRIVES));
    // The path field stays left to right.
    for (int id : {IDC_BROWSER_INFO, IDC_BROWSER_PATH_LABEL, IDC_BROWSER_FOLDERS_LABEL, IDC_BROWSER_DRIVES_LABEL,
                   IDC_BROWSER_DRIVES, IDC_BROWSER_TREE})
        ApplyRightAligned(GetItem(id), rightAligned_);
    tree_.InitIcons();
    drives_.Send(CB_SETITEMHEIGHT, WPARAM(-1), kDriveItemHeight);
    drives_.Send(CB_SETITEMHEIGHT, 0, kDriveItemHeight);
    ::SendDlgItemMessageA(hwnd_, IDC_BROWSER_PATH, EM_LIMITTEXT, 256, 0);

    path_ = initialPath_;
    if (path_.empty()) {
        char folder[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, folder);
        path_ = folder;
    }
    ShowPath(path_);

    SetText(texts_.caption);
    ::SetDlgItemTextA(hwnd_, IDC_BROWSER_INFO, texts_.info.c_str());
    ::SetDlgItemTextA(hwnd_, IDC_BROWSER_PATH_LABEL, texts_.pathLabel.c_str());
    ::SetDlgItemTextA(hwnd_, IDC_BROWSER_FOLDERS_LABEL, texts_.foldersLabel.c_str());
    ::SetDlgItemTextA(hwnd_, IDC_BROWSER_DRIVES_LABEL, texts_.drivesLabel.c_str());
    ::SetDlgItemTextA(hwnd_, IDOK, texts_.ok.c_str());
    ::SetDlgItemTextA(hwnd_, IDCANCEL, texts_.cancel.c_str());

    SyncFromPath(true);
    return true;
}

void FolderBrowser::ShowPath(const std::string& path) {
    path_ = path;
    ::SetDlgItemTextA(hwnd_, IDC_BROWSER_PATH, path.c_str());
}

void FolderBrowser::SyncFromPath(bool refill) {
    std::string remembered = path_;
    std::string drive = remembered.size() >= 2 && remembered[1] == ':' ? remembered.substr(0, 2) : std::string();
    if (drive.size() < 2) return;
    std::string root = Upper(drive) + "\\";
    if (refill) {
        drives_.Fill(root);
        tree_.Fill(root);
    }
    tree_.ExpandItem(tree_.FirstRootItem());
    SelectAlongPath(remembered);
    if (ui::Window(GetItem(IDC_BROWSER_PATH)).GetText() != remembered) ShowPath(remembered);
}

void FolderBrowser::SelectAlongPath(const std::string& path) {
    std::vector<std::string> components;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        components.push_back(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (components.empty()) return;
    components[0] += "\\";
    HTREEITEM first = tree_.FirstRootItem();
    for (const std::string& component : components) {
        std::string wanted = Upper(component);
        HTREEITEM match = nullptr;
        for (HTREEITEM item = first; item; item = tree_.NextSiblingOf(item)) {
            if (Upper(tree_.ItemText(item)) == wanted) {
                match = item;
                break;
            }
        }
        if (!match) return;
        tree_.SelectItem(match);
        tree_.ExpandItem(match);
        first = tree_.FirstChildOf(match);
    }
}

void FolderBrowser::DriveChanged() {
    drives_.SelectionChanged();
    std::string root = drives_.RootOf(int(drives_.Send(CB_GETCURSEL)));
    core::BusyCursor busy;
    std::string remembered = path_;
    tree_.Fill(root);
    if (ui::Window(GetItem(IDC_BROWSER_PATH)).GetText() != remembered) ShowPath(remembered);
    SyncFromPath(false);
    tree_.ExpandItem(tree_.FirstRootItem());
}

void FolderBrowser::OnOK() {
    resultPath_ = ui::Window(GetItem(IDC_BROWSER_PATH)).GetText();
    tree_.DeleteAllItems();
    tree_.ReleaseImageList();
    End(IDOK);
}

void FolderBrowser::OnCancel() {
    tree_.DeleteAllItems();
    tree_.ReleaseImageList();
    End(IDCANCEL);
}

bool FolderBrowser::OnCommand(int id, int code, HWND control) {
    if (id == IDC_BROWSER_PATH && code == EN_CHANGE) {
        path_ = ui::Window(GetItem(IDC_BROWSER_PATH)).GetText();
        return true;
    }
    if (id == IDC_BROWSER_DRIVES && code == CBN_SELCHANGE) {
        DriveChanged();
        return true;
    }
    return ui::Dialog::OnCommand(id, code, control);
}

bool FolderBrowser::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
    switch (message) {
    case WM_DRAWITEM:
        if (wParam != IDC_BROWSER_DRIVES) return false;
        drives_.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        *result = TRUE;
        return true;
    case WM_MEASUREITEM:
        if (wParam != IDC_BROWSER_DRIVES) return false;
        drives_.MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        *result = TRUE;
        return true;
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != IDC_BROWSER_TREE) return false;
        const NMTREEVIEWA* tree = reinterpret_cast<const NMTREEVIEWA*>(lParam);
        switch (header->code) {
        case TVN_ITEMEXPANDEDA:
        case TVN_ITEMEXPANDEDW:
            tree_.OnExpanded(tree->itemNew.hItem, (tree->itemNew.state & TVIS_EXPANDED) != 0);
            return true;
        case TVN_SELCHANGEDA:
        case TVN_SELCHANGEDW:
            if (tree->itemNew.hItem) ShowPath(tree_.FullPath(tree->itemNew.hItem));
            return true;
        case NM_CLICK:
        case NM_RCLICK: {
            // Either button selects the item under the cursor.
            TVHITTESTINFO hit = {};
            DWORD at = ::GetMessagePos();
            hit.pt = {short(LOWORD(at)), short(HIWORD(at))};
            ::ScreenToClient(tree_.Handle(), &hit.pt);
            HTREEITEM item = TreeView_HitTest(tree_.Handle(), &hit);
            if (item && (hit.flags & TVHT_ONITEM)) tree_.SelectItem(item);
            *result = 0;
            return true;
        }
        default:
            return false;
        }
    }
    default:
        return false;
    }
}

}  // namespace wizard
