// The data a drag out of the results list carries, read as drop targets read it.
#include "results/drag_out_win.h"

#include <gtest/gtest.h>
#include <windows.h>
// The shell's declarations build on <windows.h>.
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

namespace corvella {
namespace {

// Two files in a fresh folder of the temporary folder, removed again.
class TwoFiles {
  public:
    TwoFiles() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"corvella-drag-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        for (const wchar_t* name : {L"a.txt", L"b c.txt"}) {
            const HANDLE file = CreateFileW((folder_ + L"\\" + name).c_str(), GENERIC_WRITE, 0,
                                            nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
    }
    ~TwoFiles() {
        for (const wchar_t* name : {L"a.txt", L"b c.txt"})
            DeleteFileW((folder_ + L"\\" + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    std::u16string location() const {
        const std::wstring with_slash = folder_ + L"\\";
        return std::u16string(with_slash.begin(), with_slash.end());
    }
    std::wstring path(const wchar_t* name) const { return folder_ + L"\\" + name; }

  private:
    std::wstring folder_;
};

class OleStarted {
  public:
    OleStarted() { OleInitialize(nullptr); }
    ~OleStarted() { OleUninitialize(); }
};

FORMATETC Block(CLIPFORMAT format) {
    return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}
CLIPFORMAT Registered(const wchar_t* name) {
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name));
}

std::vector<CLIPFORMAT> Offered(IDataObject* data) {
    std::vector<CLIPFORMAT> formats;
    IEnumFORMATETC* list = nullptr;
    if (FAILED(data->EnumFormatEtc(DATADIR_GET, &list)) || !list) return formats;
    FORMATETC format{};
    while (list->Next(1, &format, nullptr) == S_OK) formats.push_back(format.cfFormat);
    list->Release();
    return formats;
}

bool Offers(IDataObject* data, CLIPFORMAT format) {
    const std::vector<CLIPFORMAT> formats = Offered(data);
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

std::vector<std::wstring> DropList(IDataObject* data) {
    std::vector<std::wstring> paths;
    FORMATETC format = Block(CF_HDROP);
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) return paths;
    const auto drop = static_cast<HDROP>(medium.hGlobal);
    for (UINT i = 0, n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0); i < n; ++i) {
        wchar_t path[MAX_PATH] = {};
        DragQueryFileW(drop, i, path, MAX_PATH);
        paths.push_back(path);
    }
    ReleaseStgMedium(&medium);
    return paths;
}

// Faults: a format held but not listed (targets that look through the list, as mail windows
// do, refuse the drag); the drive among the rows reaching the drop list; each reader handed the
// stored block itself, so that the first reader's release frees what the next one reads.
TEST(DragOut, ListsWhatItCarriesAndHandsEveryReaderItsOwnCopy) {
    const OleStarted ole;
    const TwoFiles files;
    const ComRef<IDataObject> data =
        NewDragData({ActionRow{0, true, u"C:", u"", false},
                     ActionRow{3, true, u"a.txt", files.location(), false},
                     ActionRow{4, true, u"b c.txt", files.location(), false}});
    ASSERT_NE(data.get(), nullptr);
    EXPECT_TRUE(Offers(data.get(), CF_HDROP));
    EXPECT_TRUE(Offers(data.get(), Registered(CFSTR_PREFERREDDROPEFFECT)));
    EXPECT_TRUE(Offers(data.get(), Registered(CFSTR_SHELLIDLIST)));
    const std::vector<std::wstring> expected = {files.path(L"a.txt"), files.path(L"b c.txt")};
    EXPECT_EQ(DropList(data.get()), expected);
    EXPECT_EQ(DropList(data.get()), expected);

    EXPECT_EQ(NewDragData({ActionRow{0, true, u"C:", u"", false}}).get(), nullptr);
}

}  // namespace
}  // namespace corvella
