#include "results/shell_context_menu_win.h"

#include "platform/text_win.h"

namespace corvella {

namespace {

template <typename T>
void ReleaseOnce(T*& pointer) {
    if (pointer) pointer->Release();
    pointer = nullptr;
}

// An item-ID list from the shell's allocator, freed with it.
class ItemIdList {
  public:
    ItemIdList() = default;
    ~ItemIdList() { CoTaskMemFree(list_); }
    ItemIdList(const ItemIdList&) = delete;
    ItemIdList& operator=(const ItemIdList&) = delete;
    PIDLIST_RELATIVE* out() { return &list_; }
    PIDLIST_RELATIVE get() const { return list_; }

  private:
    PIDLIST_RELATIVE list_ = nullptr;
};

bool Parse(IShellFolder* desktop, const std::u16string& path, ItemIdList& list) {
    std::wstring wide = platform::ToWide(path);
    return SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, wide.data(), nullptr, list.out(),
                                               nullptr)) &&
           list.get();
}

}  // namespace

void ShellContextMenu::Release() {
    ReleaseOnce(menu3_);
    ReleaseOnce(menu2_);
    ReleaseOnce(menu_);
    for (PITEMID_CHILD item : items_) CoTaskMemFree(item);
    items_.clear();
    ReleaseOnce(folder_);
}

bool ShellContextMenu::SetObjects(const std::vector<std::u16string>& paths) {
    Release();
    if (paths.empty()) return false;
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop))) return false;
    bool whole = true;
    for (const std::u16string& path : paths) {
        ItemIdList full;
        if (!Parse(desktop, path, full)) {
            whole = false;
            break;
        }
        if (!folder_ &&
            FAILED(SHBindToParent(reinterpret_cast<PCIDLIST_ABSOLUTE>(full.get()), IID_IShellFolder,
                                  reinterpret_cast<void**>(&folder_), nullptr))) {
            whole = false;
            break;
        }
        const PITEMID_CHILD last = ILClone(ILFindLastID(full.get()));
        if (!last) {
            whole = false;
            break;
        }
        items_.push_back(last);
    }
    desktop->Release();
    if (!whole) Release();
    return whole;
}

bool ShellContextMenu::GetMenu(HMENU popup) {
    ReleaseOnce(menu3_);
    ReleaseOnce(menu2_);
    ReleaseOnce(menu_);
    if (!folder_ || items_.empty()) return false;
    if (FAILED(folder_->GetUIObjectOf(nullptr, static_cast<UINT>(items_.size()),
                                      const_cast<PCUITEMID_CHILD_ARRAY>(items_.data()),
                                      IID_IContextMenu, nullptr,
                                      reinterpret_cast<void**>(&menu_))) ||
        !menu_)
        return false;
    if (FAILED(menu_->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu3_))))
        menu3_ = nullptr;
    if (!menu3_ &&
        FAILED(menu_->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&menu2_))))
        menu2_ = nullptr;
    const HRESULT filled =
        menu_->QueryContextMenu(popup, static_cast<UINT>(GetMenuItemCount(popup)),
                                kShellFirstCommand, kShellLastCommand, CMF_EXPLORE);
    if (FAILED(filled)) {
        ReleaseOnce(menu3_);
        ReleaseOnce(menu2_);
        ReleaseOnce(menu_);
        return false;
    }
    return true;
}

UINT ShellContextMenu::InvokeCommand(HWND window, UINT id) {
    if (!menu_) return id;
    UINT answer = id;
    if (id >= kShellFirstCommand && id <= kShellLastCommand) {
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof info;
        info.hwnd = window;
        info.lpVerb = MAKEINTRESOURCEA(id - kShellFirstCommand);
        info.nShow = SW_SHOWNORMAL;
        menu_->InvokeCommand(&info);
        answer = 0;
    }
    Release();
    return answer;
}

std::optional<LRESULT> ShellContextMenu::HandleMenuMessage(UINT message, WPARAM wparam,
                                                           LPARAM lparam) {
    if (!menu2_ && !menu3_) return std::nullopt;
    switch (message) {
        case WM_MENUCHAR:
            if (menu3_) {
                LRESULT result = 0;
                if (SUCCEEDED(menu3_->HandleMenuMsg2(message, wparam, lparam, &result)))
                    return result;
            }
            return std::nullopt;
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
            if (wparam != 0) return std::nullopt;  // a control's, not a menu item's
            [[fallthrough]];
        case WM_INITMENUPOPUP: {
            IContextMenu2* handler = menu3_ ? menu3_ : menu2_;
            handler->HandleMenuMsg(message, wparam, lparam);
            return message == WM_INITMENUPOPUP ? 0 : TRUE;
        }
    }
    return std::nullopt;
}

}  // namespace corvella
