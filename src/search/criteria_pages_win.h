// The two tab pages that edit the search criteria: "Size and Date" and "Advanced".
//
// A page writes each change into the criteria store at once; a search picks the change up when
// its next pass begins. Editing never starts a search. Nothing of the pages is saved: every
// start begins with no bounds, files and folders, and subdirectories included.
#pragma once

#include <windows.h>

#include "controls/trans_check_win.h"
#include "search/criteria_store.h"
#include "search/option_page_win.h"

namespace corvella {

// Size bounds in KB, each a check box with a number edit and its up-down control, and date
// bounds, each a check box with a date picker. A bound applies while its box is ticked.
class CSizeDatePage final : public OptionPage {
  public:
    explicit CSizeDatePage(CriteriaStore& criteria);

  protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    std::optional<LRESULT> OnNotify(int id, NMHDR* header) override;

  private:
    enum class Bound { MinSize, MaxSize, DateFrom, DateTo };

    void OnBoundClicked(Bound bound);
    // The store takes the bound from its control, or drops it when its box is not ticked.
    void TakeBound(Bound bound);

    CriteriaStore& criteria_;
    CTransCheck min_check_, max_check_, from_check_, to_check_;
};

// The kind of entries searched for and "No Subdirectories".
class CAdvancedPage final : public OptionPage {
  public:
    explicit CAdvancedPage(CriteriaStore& criteria);

  protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;

  private:
    CriteriaStore& criteria_;
    CTransCheck no_subdirs_;
};

}  // namespace corvella
