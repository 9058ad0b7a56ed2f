#include "FileChoosers.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// Opens the chooser in the folder at `path`, or in the folder that holds the file there; where
// neither exists, wherever the shell opens it.
void startAt(IFileDialog& chooser, const std::wstring& path, bool path_is_folder) {
    if (path.empty())
        return;
    std::wstring folder = path;
    if (!path_is_folder || GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const std::size_t cut = folder.find_last_of(L"\\/");
        if (cut == std::wstring::npos)
            return;
        folder.resize(cut);
    }
    ComPtr<IShellItem> item;
    if (SUCCEEDED(SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_PPV_ARGS(&item))))
        chooser.SetFolder(item.Get());
}

std::optional<std::wstring> chosenPath(IFileDialog& chooser, HWND owner) {
    if (FAILED(chooser.Show(owner)))
        return std::nullopt; // cancelled, or no chooser at all
    ComPtr<IShellItem> item;
    wchar_t* path = nullptr;
    if (FAILED(chooser.GetResult(&item)) || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)))
        return std::nullopt;
    std::wstring chosen = path;
    CoTaskMemFree(path);
    return chosen;
}

} // namespace

std::optional<std::wstring> chooseFolder(HWND owner, const std::wstring& title,
                                         const std::wstring& start) {
    ComPtr<IFileOpenDialog> chooser;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&chooser))))
        return std::nullopt;
    FILEOPENDIALOGOPTIONS options = 0;
    chooser->GetOptions(&options);
    chooser->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    chooser->SetTitle(title.c_str());
    startAt(*chooser.Get(), start, true);
    return chosenPath(*chooser.Get(), owner);
}

std::optional<std::wstring> chooseFile(HWND owner, const std::wstring& title,
                                       std::span<const FileFilter> filters,
                                       const std::wstring& start) {
    ComPtr<IFileSaveDialog> chooser;
    if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&chooser))))
        return std::nullopt;
    FILEOPENDIALOGOPTIONS options = 0;
    chooser->GetOptions(&options);
    // The folder must exist; the file need not, and replacing one is the run's question.
    chooser->SetOptions(
        (options | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST) &
        ~static_cast<FILEOPENDIALOGOPTIONS>(FOS_OVERWRITEPROMPT | FOS_FILEMUSTEXIST));
    chooser->SetTitle(title.c_str());
    // The field's file name stands in the chooser's name box, to keep or to change.
    if (const std::size_t cut = start.find_last_of(L"\\/");
        !start.empty() && (cut == std::wstring::npos || cut + 1 < start.size()))
        chooser->SetFileName(start.substr(cut == std::wstring::npos ? 0 : cut + 1).c_str());
    std::vector<COMDLG_FILTERSPEC> types;
    for (const FileFilter& filter : filters)
        types.push_back({filter.name.c_str(), filter.pattern.c_str()});
    chooser->SetFileTypes(static_cast<UINT>(types.size()), types.data());
    startAt(*chooser.Get(), start, false);
    return chosenPath(*chooser.Get(), owner);
}
