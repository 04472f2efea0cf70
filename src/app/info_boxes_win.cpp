#include "app/info_boxes_win.h"

#include <iterator>
#include <type_traits>
#include <utility>

#include "controls/gradient_win.h"
#include "resource.h"
#include "ui/dpi.h"

namespace corvella {

namespace {

constexpr int kBandWidth = 25;  // pixels

}  // namespace

void CentreOverOwner(HWND box) {
    const HWND owner = GetWindow(box, GW_OWNER);
    RECT area{}, rect{};
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &area);
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(box, &rect);
    SetWindowPos(box, nullptr, area.left + (area.right - area.left - (rect.right - rect.left)) / 2,
                 area.top + (area.bottom - area.top - (rect.bottom - rect.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::optional<LRESULT> GradientDialog::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND: {
            const HDC dc = reinterpret_cast<HDC>(wparam);
            const RECT client = ClientRect();
            FillDialogBackground(dc, client);
            PaintOverBackground(dc, client);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
            // The icon, which is no text: it leaves the background around it as it is.
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    return ui::Dialog::OnMessage(message, wparam, lparam);
}

CWelcomeDlg::CWelcomeDlg() : GradientDialog(IDD_WELCOME) {}

bool CWelcomeDlg::OnInitDialog() {
    // The title bold, the tip that searches must wait red, the others plain.
    static constexpr std::pair<int, int> texts[] = {
        {IDC_WELCOME_TITLE, 3},      {IDC_WELCOME_INTRO, 0},     {IDC_WELCOME_TIPS, 0},
        {IDC_WELCOME_TIP_WAIT, 1},   {IDC_WELCOME_TIP_FIRST, 0}, {IDC_WELCOME_TIP_TIME, 0},
        {IDC_WELCOME_TIP_UPDATES, 0}};
    static_assert(std::size(texts) == std::extent_v<decltype(texts_)>);
    for (size_t i = 0; i < std::size(texts); ++i) {
        texts_[i].SetTextStyle(texts[i].second);
        texts_[i].SubclassItem(hwnd_, texts[i].first);
    }
    CentreOverOwner(hwnd_);
    return true;
}

CMyAboutDlg::CMyAboutDlg() : GradientDialog(IDD_MYABOUT) {}

bool CMyAboutDlg::OnInitDialog() {
    version_.SubclassItem(hwnd_, IDC_ABOUT_VERSION);
    CentreOverOwner(hwnd_);
    return true;
}

void CMyAboutDlg::PaintOverBackground(HDC dc, const RECT& client) const {
    const int band = ui::ScaleForDpi(kBandWidth, ui::DpiOf(hwnd_));
    FillVerticalGradient(dc, RECT{client.left, client.top, client.left + band, client.bottom},
                         RGB(0, 0, 0), kDialogBottom);
}

CAboutDlg::CAboutDlg() : ui::Dialog(IDD_ABOUTBOX) {}

bool CAboutDlg::OnInitDialog() {
    CentreOverOwner(hwnd_);
    return true;
}

}  // namespace corvella
