#include "win32/ui/OwnerDrawListBox.h"

#include "common/LogText.h"
#include "win32/base/Utf16.h"
#include "win32/ui/GdiHandles.h"

#include <stdexcept>
#include <string>

namespace zorvi {

TOwnerDrawListBox::TOwnerDrawListBox(const TListBoxArgs& args)
    : place_(args), itemHeight_(args.ItemHeight), textIndent_(args.TextIndent),
      fontSpec_(args.Font), font_(CreateFontFromSpec(args.Font, args.Dpi)),
      fontColor_(args.FontColor) {
    // LBS_OWNERDRAWFIXED: every row has the height we give it, whatever its text.
    // LBS_NOINTEGRALHEIGHT: the list box keeps the height it is given instead of
    // shrinking to a whole number of rows.
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY |
                        LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT |
                        (args.ReportKeys ? LBS_WANTKEYBOARDINPUT : 0);
    const RECT rect = ChildRectAtDpi(args, args.Dpi);
    handle_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, args.Parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.Id)),
                              GetModuleHandleW(nullptr), nullptr);
    if (!handle_)
        throw std::runtime_error("creating the list box failed");
    Bind(handle_, this);
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    SendMessageW(handle_, LB_SETITEMHEIGHT, 0, MAKELPARAM(ScaleToDpi(itemHeight_, place_.Dpi), 0));
}

void TOwnerDrawListBox::SetDpi(UINT dpi) {
    place_.Dpi = dpi;
    font_ = CreateFontFromSpec(fontSpec_, dpi);
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    // Of an owner-drawn list box of fixed rows, LB_SETITEMHEIGHT sets every row's.
    SendMessageW(handle_, LB_SETITEMHEIGHT, 0, MAKELPARAM(ScaleToDpi(itemHeight_, dpi), 0));
    MoveChildToDpi(handle_, place_, dpi);
    // Selecting the selected row again scrolls it into view at its new height.
    const int selected = SelectedIndex();
    if (selected >= 0)
        Select(selected);
    InvalidateRect(handle_, nullptr, TRUE);
}

TOwnerDrawListBox::~TOwnerDrawListBox() {
    if (IsWindow(handle_)) {
        Unbind(handle_);
        DestroyWindow(handle_);
    }
}

int TOwnerDrawListBox::Add(const std::string& text) {
    const LRESULT index = SendMessageW(handle_, LB_ADDSTRING, 0,
                                       reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
    return index < 0 ? -1 : static_cast<int>(index);
}

void TOwnerDrawListBox::Clear() {
    SendMessageW(handle_, LB_RESETCONTENT, 0, 0);
}

int TOwnerDrawListBox::Count() const {
    return static_cast<int>(SendMessageW(handle_, LB_GETCOUNT, 0, 0));
}

std::string TOwnerDrawListBox::Text(int index) const {
    const LRESULT length = SendMessageW(handle_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(handle_, LB_GETTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR ? 0 : static_cast<size_t>(copied));
    return Utf8FromWide(text);
}

std::vector<std::string> TOwnerDrawListBox::Rows() const {
    std::vector<std::string> rows;
    const int count = Count();
    rows.reserve(count > 0 ? static_cast<size_t>(count) : 0);
    for (int index = 0; index < count; ++index)
        rows.push_back(Text(index));
    return rows;
}

void TOwnerDrawListBox::Select(int index) {
    SendMessageW(handle_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int TOwnerDrawListBox::SelectedIndex() const {
    return static_cast<int>(SendMessageW(handle_, LB_GETCURSEL, 0, 0));
}

int TOwnerDrawListBox::ItemHeight(int index) const {
    return static_cast<int>(SendMessageW(handle_, LB_GETITEMHEIGHT, static_cast<WPARAM>(index), 0));
}

bool TOwnerDrawListBox::HandleNotification(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight =
            static_cast<UINT>(ScaleToDpi(itemHeight_, place_.Dpi));
        result = TRUE;
        return true;
    case WM_DRAWITEM:
        DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    default:
        return false;
    }
}

void TOwnerDrawListBox::DrawItem(const DRAWITEMSTRUCT& item) const {
    const HDC dc = item.hDC;
    RECT rect = item.rcItem;
    // An empty list box asks only for its focus rectangle (item id -1).
    if (item.itemID != static_cast<UINT>(-1)) {
        const bool selected = (item.itemState & ODS_SELECTED) != 0;
        SetBkColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        SetTextColor(dc, selected                    ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                         : fontColor_ == CLR_INVALID ? GetSysColor(COLOR_WINDOWTEXT)
                                                     : fontColor_);
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);

        const auto index = static_cast<WPARAM>(item.itemID);
        const LRESULT length = SendMessageW(handle_, LB_GETTEXTLEN, index, 0);
        if (length > 0) {
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            const LRESULT copied =
                SendMessageW(handle_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
            text.resize(copied == LB_ERR ? 0 : static_cast<size_t>(copied));
            TSelection font(dc, font_.Get());
            RECT textRect = rect;
            textRect.left += ScaleToDpi(textIndent_, place_.Dpi);
            // A line break does not break the row (DT_SINGLELINE); it shows as one
            // blank, so the two lines of a message do not run together, and not as
            // the boxes the font would draw for CR and LF. The row keeps them for
            // readers.
            text = WideFromUtf8(LogRowLine(Utf8FromWide(text)));
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                      DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
        }
    }
    if (item.itemState & ODS_FOCUS)
        DrawFocusRect(dc, &rect);
}

} // namespace zorvi
