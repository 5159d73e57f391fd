#include "core/file_path.h"

#include "core/os/os.h"

namespace core {

void FilePath::Set(std::string_view input) {
    drive.clear();
    directory.clear();
    name.clear();
    extension.clear();
    if (input.empty()) return;

    std::string text(input);
    // An existing folder is all directory.
    if (os::IsDirectory(text.c_str()) && text.back() != '\\' && text.back() != '/') text += '\\';

    size_t at = 0;
    if (text.size() >= 2 && text[1] == ':' &&
        ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
        drive = text.substr(0, 2);
        at = 2;
    }
    size_t lastSep = text.find_last_of("\\/");
    size_t nameStart = at;
    if (lastSep != std::string::npos && lastSep >= at) {
        directory = text.substr(at, lastSep + 1 - at);
        nameStart = lastSep + 1;
    }
    std::string rest = text.substr(nameStart);
    size_t dot = rest.rfind('.');
    if (dot != std::string::npos) {
        extension = rest.substr(dot + 1);
        rest.resize(dot);
    }
    name = rest;

    if (!drive.empty() && drive.back() != '\\') drive += '\\';
    if (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) directory.pop_back();
    if (!directory.empty() && (directory.front() == '\\' || directory.front() == '/')) directory.erase(0, 1);
}

std::string FilePath::FullPath() const {
    std::string text = drive + directory;
    if (!name.empty() && !text.empty() && text.back() != '\\') text += '\\';
    text += name;
    if (!extension.empty()) text += "." + extension;
    return text;
}

bool FilePath::SetSpecialFolder(int kind) {
    Set("");
    std::string text;
    if (!SpecialFolderText(kind, &text)) return false;
    if (kind == kFolderProgram) {
        FilePath module(text);
        text = module.Folder();
    }
    if (text.size() > 3 && (text.back() == '\\' || text.back() == '/')) text.pop_back();
    Set(text);
    return true;
}

}  // namespace core
