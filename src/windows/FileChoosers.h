#pragma once

// The shell's file choosers (the ones Explorer uses), opened where the field's path points.
// Nothing when the pilot cancels.

#include "WindowsApi.h"

#include <optional>
#include <span>
#include <string>

/// A folder, chosen in a window titled `title`.
std::optional<std::wstring> chooseFolder(HWND owner, const std::wstring& title,
                                         const std::wstring& start);

/// A file type of the chooser's list: its name and its pattern ("*.*").
struct FileFilter {
    std::wstring name;
    std::wstring pattern;
};

/// A file to write, existing or new (a lost logbook is rebuilt under a name the pilot gives),
/// chosen in a window titled `title` from the types `filters`. The chooser asks nothing about an
/// existing file: the run asks before it replaces one.
std::optional<std::wstring> chooseFile(HWND owner, const std::wstring& title,
                                       std::span<const FileFilter> filters,
                                       const std::wstring& start);
