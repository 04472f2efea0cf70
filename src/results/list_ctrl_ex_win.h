// The results list of the main window: an owner-data list view whose rows are painted straight
// from the records of the last search, two lines each, with shell icons resolved on a thread of
// their own and a tool tip with the full details.
#pragma once

#include <windows.h>
// The common controls' declarations build on <windows.h>.
#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/event.h"
#include "results/icon_queue.h"
#include "results/list_model.h"
#include "ui/subclassed_wnd.h"

namespace corvella {

class CListCtrlEx final : public ui::SubclassedWnd {
  public:
    CListCtrlEx() = default;
    ~CListCtrlEx() override;

    // Once, after the control is subclassed: image lists, row height, icon thread, tool tip,
    // and the generic document icon learnt from a probe file in `data_folder`.
    void Init(const std::u16string& data_folder);
    void StopIconThread();

    ResultListModel& model() { return model_; }
    // The rows the list view has; on the window's thread only. Like the other changes of the
    // rows below, it puts a shown tool tip away: the row under the pointer is another one now.
    void SetItemCount(int count);
    // The rows in the order of `key`, redrawn.
    void SortRows(SortKey key);
    int item_count() const { return item_count_.load(); }
    // One message row (no records) in `mode`, redrawn.
    void ShowMessageRow(ListMode mode);
    void SelectAll();
    // Column 0 takes the list's whole width, less room for the vertical scroll bar, so that the
    // sizes and dates sit at the right edge. Again on every resize.
    void FitColumnToWidth();
    // Writes all rows, or the selected ones, to `path` in `format` and opens the file in
    // Notepad; failures are shown in the error box (save_results_win.cpp).
    void SaveResults(const std::u16string& path, const std::u16string& format, bool selected_only);
    // The "View" menu of the main menu, at the cursor; for a click on the header.
    void SetViewMenu(HMENU menu) { view_menu_ = menu; }

  protected:
    void PreSubclass() override;
    LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override;
    std::optional<LRESULT> OnReflected(UINT message, WPARAM wparam, LPARAM lparam) override;
    bool PreTranslateMessage(MSG& message) override;

  private:
    void DrawItem(const DRAWITEMSTRUCT& draw);
    void DrawRow(HDC dc, int row, bool selected);
    void FitAndDraw(HDC dc, std::u16string_view left, std::u16string_view right, RECT line);
    std::optional<LRESULT> OnNotifyFromChild(NMHDR* header);
    bool OnToolTipText(NMTTDISPINFOW& info);
    void PutTipAway();
    void IconFetchThread();

    ResultListModel model_;
    std::atomic<int> item_count_{0};
    HIMAGELIST small_images_ = nullptr;  // the system's; never destroyed
    HIMAGELIST large_images_ = nullptr;
    int default_icon_ = 3;
    int item_height_ = 0;
    std::atomic<int> rows_per_page_{0};
    IconQueue icon_queue_;
    platform::Event wake_;
    std::atomic<bool> stop_{false};
    std::thread icon_thread_;
    HWND tool_tip_ = nullptr;  // a child of the list, destroyed with it
    std::wstring tip_text_;
    HMENU view_menu_ = nullptr;
};

}  // namespace corvella
