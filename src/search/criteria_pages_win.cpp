#include "search/criteria_pages_win.h"

#include <commctrl.h>

#include <climits>

#include "platform/local_time.h"
#include "resource.h"
#include "ui/controls.h"

namespace corvella {

namespace {

// The up-down control's position, which it keeps as its edit's number.
uint32_t SizeOf(HWND spin) {
    BOOL error = FALSE;
    const LRESULT position = SendMessageW(spin, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error));
    return position < 0 ? 0 : static_cast<uint32_t>(position);
}

// The picker's day as a UTC FILETIME: its first moment, or its last millisecond.
std::optional<uint64_t> DayOf(HWND picker, bool end_of_day) {
    SYSTEMTIME day{};
    if (SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&day)) != GDT_VALID)
        return std::nullopt;
    uint64_t filetime = 0;
    if (!platform::LocalDayToFileTime(day.wYear, day.wMonth, day.wDay, end_of_day, filetime))
        return std::nullopt;
    return filetime;
}

}  // namespace

CSizeDatePage::CSizeDatePage(CriteriaStore& criteria)
    : OptionPage(IDD_SIZE_DATE), criteria_(criteria) {}

bool CSizeDatePage::OnInitDialog() {
    min_check_.SubclassItem(hwnd_, IDC_PAGE_MIN_CHECK);
    max_check_.SubclassItem(hwnd_, IDC_PAGE_MAX_CHECK);
    from_check_.SubclassItem(hwnd_, IDC_PAGE_FROM_CHECK);
    to_check_.SubclassItem(hwnd_, IDC_PAGE_TO_CHECK);
    for (int spin : {IDC_PAGE_MIN_SPIN, IDC_PAGE_MAX_SPIN}) {
        Item(spin).SendMsg(UDM_SETRANGE32, 0, INT_MAX);
        Item(spin).SendMsg(UDM_SETPOS32, 0, 0);
    }
    criteria_.SetMinSize(std::nullopt);
    criteria_.SetMaxSize(std::nullopt);
    criteria_.SetDateFrom(std::nullopt);
    criteria_.SetDateTo(std::nullopt);
    return false;  // the main window keeps the focus
}

bool CSizeDatePage::OnCommand(int id, int code, HWND control) {
    switch (id) {
        case IDC_PAGE_MIN_CHECK:
            if (code == BN_CLICKED) OnBoundClicked(Bound::MinSize);
            return true;
        case IDC_PAGE_MAX_CHECK:
            if (code == BN_CLICKED) OnBoundClicked(Bound::MaxSize);
            return true;
        case IDC_PAGE_FROM_CHECK:
            if (code == BN_CLICKED) OnBoundClicked(Bound::DateFrom);
            return true;
        case IDC_PAGE_TO_CHECK:
            if (code == BN_CLICKED) OnBoundClicked(Bound::DateTo);
            return true;
        // Typing changes a bound that applies at once; one that does not waits for its box.
        case IDC_PAGE_MIN_EDIT:
            if (code == EN_CHANGE && min_check_.checked()) TakeBound(Bound::MinSize);
            return true;
        case IDC_PAGE_MAX_EDIT:
            if (code == EN_CHANGE && max_check_.checked()) TakeBound(Bound::MaxSize);
            return true;
    }
    return false;
}

std::optional<LRESULT> CSizeDatePage::OnNotify(int id, NMHDR* header) {
    if (header->code != DTN_DATETIMECHANGE) return std::nullopt;
    if (id == IDC_PAGE_FROM_DATE && from_check_.checked()) TakeBound(Bound::DateFrom);
    if (id == IDC_PAGE_TO_DATE && to_check_.checked()) TakeBound(Bound::DateTo);
    return 0;
}

void CSizeDatePage::OnBoundClicked(Bound bound) {
    // The box has its new tick already (CTransCheck); the controls it stands for follow it.
    const bool on = bound == Bound::MinSize    ? min_check_.checked()
                    : bound == Bound::MaxSize  ? max_check_.checked()
                    : bound == Bound::DateFrom ? from_check_.checked()
                                               : to_check_.checked();
    switch (bound) {
        case Bound::MinSize:
            Item(IDC_PAGE_MIN_EDIT).Enable(on);
            Item(IDC_PAGE_MIN_SPIN).Enable(on);
            Item(IDC_PAGE_MIN_SPIN).Invalidate();
            break;
        case Bound::MaxSize:
            Item(IDC_PAGE_MAX_EDIT).Enable(on);
            Item(IDC_PAGE_MAX_SPIN).Enable(on);
            Item(IDC_PAGE_MAX_SPIN).Invalidate();
            break;
        case Bound::DateFrom:
            Item(IDC_PAGE_FROM_DATE).Enable(on);
            break;
        case Bound::DateTo:
            Item(IDC_PAGE_TO_DATE).Enable(on);
            break;
    }
    TakeBound(bound);
}

void CSizeDatePage::TakeBound(Bound bound) {
    switch (bound) {
        case Bound::MinSize:
            criteria_.SetMinSize(min_check_.checked()
                                     ? std::optional(SizeOf(Item(IDC_PAGE_MIN_SPIN).hwnd()))
                                     : std::nullopt);
            break;
        case Bound::MaxSize:
            criteria_.SetMaxSize(max_check_.checked()
                                     ? std::optional(SizeOf(Item(IDC_PAGE_MAX_SPIN).hwnd()))
                                     : std::nullopt);
            break;
        case Bound::DateFrom:
            criteria_.SetDateFrom(from_check_.checked()
                                      ? DayOf(Item(IDC_PAGE_FROM_DATE).hwnd(), false)
                                      : std::nullopt);
            break;
        case Bound::DateTo:
            criteria_.SetDateTo(to_check_.checked() ? DayOf(Item(IDC_PAGE_TO_DATE).hwnd(), true)
                                                    : std::nullopt);
            break;
    }
}

CAdvancedPage::CAdvancedPage(CriteriaStore& criteria)
    : OptionPage(IDD_ADVANCED), criteria_(criteria) {}

bool CAdvancedPage::OnInitDialog() {
    no_subdirs_.SubclassItem(hwnd_, IDC_PAGE_NO_SUBDIRS);
    const ui::ComboBox kinds(Item(IDC_PAGE_KIND).hwnd());
    kinds.Insert(0, L"Search For : Files and Folders");
    kinds.Insert(1, L"Search For : Files Only");
    kinds.Insert(2, L"Search For : Folders Only");
    kinds.Select(0);
    criteria_.SetKind(SearchKind::All);
    criteria_.SetNoSubdirectories(false);
    return false;  // the main window keeps the focus
}

bool CAdvancedPage::OnCommand(int id, int code, HWND control) {
    if (id == IDC_PAGE_KIND) {
        if (code == CBN_SELCHANGE) {
            const int picked = ui::ComboBox(control).Selection();
            criteria_.SetKind(picked == 1   ? SearchKind::FilesOnly
                              : picked == 2 ? SearchKind::FoldersOnly
                                            : SearchKind::All);
        }
        return true;
    }
    if (id == IDC_PAGE_NO_SUBDIRS) {
        if (code == BN_CLICKED) criteria_.SetNoSubdirectories(no_subdirs_.checked());
        return true;
    }
    return false;
}

}  // namespace corvella
