#include "app/info_boxes_win.h"

#include "controls/gradient_win.h"
#include "resource.h"
#include "ui/dpi.h"

namespace corvella {

namespace {

constexpr COLORREF kTop = RGB(255, 255, 255);
constexpr COLORREF kBottom = RGB(226, 224, 220);
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
            FillVerticalGradient(dc, client, kTop, kBottom);
            PaintOverBackground(dc, client);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC: {
            const HDC dc = reinterpret_cast<HDC>(wparam);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, TextColour(GetDlgCtrlID(reinterpret_cast<HWND>(lparam))));
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        }
    }
    return ui::Dialog::OnMessage(message, wparam, lparam);
}

CWelcomeDlg::CWelcomeDlg() : GradientDialog(IDD_WELCOME) {}

bool CWelcomeDlg::OnInitDialog() {
    LOGFONTW font{};
    if (GetObjectW(Font(), sizeof font, &font)) {
        font.lfWeight = FW_BOLD;
        bold_ = ui::Font(CreateFontIndirectW(&font));
        Item(IDC_WELCOME_TITLE).SetFont(bold_.get(), false);
    }
    CentreOverOwner(hwnd_);
    return true;
}

COLORREF CWelcomeDlg::TextColour(int control_id) const {
    return control_id == IDC_WELCOME_TIP_WAIT ? RGB(255, 0, 0) : RGB(0, 0, 0);
}

CMyAboutDlg::CMyAboutDlg() : GradientDialog(IDD_MYABOUT) {}

bool CMyAboutDlg::OnInitDialog() {
    CentreOverOwner(hwnd_);
    return true;
}

void CMyAboutDlg::PaintOverBackground(HDC dc, const RECT& client) const {
    const int band = ui::ScaleForDpi(kBandWidth, ui::DpiOf(hwnd_));
    FillVerticalGradient(dc, RECT{client.left, client.top, client.left + band, client.bottom},
                         RGB(0, 0, 0), kBottom);
}

CAboutDlg::CAboutDlg() : ui::Dialog(IDD_ABOUTBOX) {}

bool CAboutDlg::OnInitDialog() {
    CentreOverOwner(hwnd_);
    return true;
}

}  // namespace corvella
