#include "TextWrap.h"

#include "GdiHandles.h"

#include <algorithm>
#include <cwchar>

namespace {

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// How many characters of `line` from `start` fit into `width` pixels; at least one, so that a
// character wider than the line still goes somewhere.
std::size_t fitting(HDC dc, const std::wstring& line, std::size_t start, int width) {
    int fit = 0;
    SIZE size{};
    GetTextExtentExPointW(dc, line.c_str() + start, static_cast<int>(line.size() - start),
                          std::max(width, 0), &fit, nullptr, &size);
    return std::max<std::size_t>(static_cast<std::size_t>(fit), 1);
}

// The last place at which a line that may hold `fit` characters from `start` can end: before a
// blank, or after a separator; `start + fit` when there is none.
std::size_t breakAt(const std::wstring& line, std::size_t start, std::size_t fit) {
    for (std::size_t end = start + fit; end > start; --end) {
        if ((end < line.size() && line[end] == L' ') || isSeparator(line[end - 1]))
            return end;
    }
    return start + fit;
}

void appendWrapped(HDC dc, const std::wstring& line, int width, std::wstring& out) {
    std::size_t start = 0;
    do {
        const std::size_t fit = fitting(dc, line, start, width);
        const std::size_t end =
            start + fit >= line.size() ? line.size() : breakAt(line, start, fit);
        if (start != 0)
            out += L"\r\n";
        out.append(line, start, end - start);
        start = line.find_first_not_of(L' ', end);
    } while (start != std::wstring::npos);
}

} // namespace

std::wstring wrappedText(HDC dc, const std::wstring& text, int width) {
    std::wstring out;
    std::size_t begin = 0;
    while (true) {
        const std::size_t end = text.find(L'\n', begin);
        std::wstring line = text.substr(begin, end == std::wstring::npos ? end : end - begin);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (begin != 0)
            out += L"\r\n";
        if (!line.empty())
            appendWrapped(dc, line, width, out);
        if (end == std::wstring::npos)
            return out;
        begin = end + 1;
    }
}

namespace {

BOOL CALLBACK wrapPathIn(HWND control, LPARAM) {
    wchar_t kind[16] = {};
    GetClassNameW(control, kind, 16);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (_wcsicmp(kind, L"Static") != 0 || (style & SS_TYPEMASK) != SS_LEFT)
        return TRUE;
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    if (text.find_first_of(L"\\/") == std::wstring::npos)
        return TRUE;
    RECT room;
    GetClientRect(control, &room);
    const WindowDc dc(control);
    const SelectedObject font(dc.get(),
                              reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring wrapped = wrappedText(dc.get(), text, room.right);
    RECT needed{0, 0, room.right, 0};
    DrawTextW(dc.get(), wrapped.c_str(), -1, &needed, DT_CALCRECT | DT_NOPREFIX);
    if (needed.bottom <= room.bottom && needed.right <= room.right)
        SetWindowTextW(control, wrapped.c_str());
    return TRUE;
}

} // namespace

void wrapPathsIn(HWND box) {
    EnumChildWindows(box, wrapPathIn, 0);
}
