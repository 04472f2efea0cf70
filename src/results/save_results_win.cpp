// Saving the list's rows to a text file (save_results.h says what the file holds), then showing
// it in Notepad.
#include <windows.h>
// The shell's declarations build on <windows.h>.
#include <shellapi.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

#include "app/error_box.h"
#include "platform/handle_win.h"
#include "platform/text_win.h"
#include "results/list_ctrl_ex_win.h"
#include "results/results_writer.h"
#include "results/save_results.h"

namespace corvella {

namespace {

class FileSink final : public ByteSink {
  public:
    explicit FileSink(HANDLE file) : file_(file) {}
    bool Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
            DWORD wrote = 0;
            if (!WriteFile(file_, bytes.data(), want, &wrote, nullptr) || wrote == 0) return false;
            bytes.remove_prefix(wrote);
        }
        return true;
    }

  private:
    HANDLE file_;
};

}  // namespace

void CListCtrlEx::SaveResults(const std::u16string& path, const std::u16string& format,
                              bool selected_only) {
    // The rows as the list shows them now: all in the current order, or the selected ones
    // ascending.
    std::vector<int> rows;
    const int count = item_count();
    if (selected_only) {
        for (int row = -1;
             (row = static_cast<int>(SendMsg(LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0;)
            rows.push_back(row);
    } else {
        rows.reserve(static_cast<size_t>(count));
        for (int row = 0; row < count; ++row) rows.push_back(row);
    }

    const char16_t* failure = nullptr;
    {
        // Neither a search nor the icon thread changes the records while they are written.
        std::unique_lock lock(model_.results_lock());
        const platform::FileHandle file(CreateFileW(platform::ToWide(path).c_str(),
                                                    GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsOpen()) {
            failure = u"Couldn't create the file!";
        } else {
            FileSink sink(file.get());
            try {
                switch (
                    WriteSavedResults(model_.results(), rows, format, EncodeAnsiExactly, sink)) {
                    case SaveOutcome::Saved:
                        break;
                    case SaveOutcome::NoResults:
                        failure = u"Can not save without results!";
                        break;
                    case SaveOutcome::WriteFailed:
                        failure = u"Couldn't write the file!";
                        break;
                }
            } catch (const std::bad_alloc&) {
                failure = u"Memory Alloction Failure!";
            }
        }
    }
    // The box waits for the user: not while holding the lock the list paints under.
    if (failure) {
        ShowErrorBox(failure);
        return;
    }
    // Notepad takes the rest of its command line as one name, blanks and all.
    const std::wstring parameters = L" " + platform::ToWide(path);
    ShellExecuteW(nullptr, L"Open", L"notepad.exe", parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

}  // namespace corvella
