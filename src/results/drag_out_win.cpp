// Dragging rows out of the results list.
//
// The system's drag loop (DoDragDrop) runs on the window's thread from the list's "begin drag"
// notification until the button is released or Escape pressed; meanwhile it asks the drop
// source below whether to go on and hands the data object to each window the pointer crosses.
// A window of another process reaches the data object through COM's marshalling, which calls
// back into this thread: the loop keeps it answering.
//
// The data object is a store of blocks, one per clipboard format, filled before the drag with:
//   - CF_HDROP, the file drop list that the clipboard's "Copy" puts there too;
//   - the shell's item-ID list of the same entries, taken from the shell's own data object where
//     the shell gives one (Explorer reads it first; mail windows read the drop list);
//   - the preferred effect, copy. Explorer moves entries dropped on their own volume unless the
//     data says copy is preferred; a search result is the user's file where it lies, so a plain
//     drag copies, as a drag from one volume to another does. The allowed effects still include
//     move and link, so Shift (move) and Alt (link) do in the target what they do in Explorer.
// Targets write into the object too (the effect they performed, whether a paste succeeded,
// their drag-image bookkeeping) and read it back, so the store takes any block it is given.
//
// The rows are never touched afterwards: the target moved or copied the entries itself, and a
// moved entry leaves the cache through the watchers. Every COM object is owned by a reference
// that releases it on every way out; a target may keep the data object past the drag, so it
// lives until its last reference goes.

#include "results/drag_out_win.h"

#include <windows.h>
// The shell's interfaces build on <windows.h>.
#include <shlobj.h>

#include <cstring>
#include <utility>

#include "platform/text_win.h"

namespace corvella {

namespace {

// A movable memory block, freed unless handed on with Release.
class GlobalBlock {
  public:
    GlobalBlock() = default;
    ~GlobalBlock() {
        if (block_) GlobalFree(block_);
    }
    GlobalBlock(GlobalBlock&& other) noexcept : block_(other.Release()) {}
    GlobalBlock& operator=(GlobalBlock&& other) noexcept {
        std::swap(block_, other.block_);
        return *this;
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;

    static GlobalBlock Copy(const void* bytes, size_t size) {
        GlobalBlock copy;
        copy.block_ = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
        if (!copy.block_) return copy;
        void* at = GlobalLock(copy.block_);
        if (!at) return GlobalBlock();
        if (size) std::memcpy(at, bytes, size);
        GlobalUnlock(copy.block_);
        return copy;
    }
    static GlobalBlock Duplicate(HGLOBAL source) {
        const void* bytes = source ? GlobalLock(source) : nullptr;
        if (!bytes) return GlobalBlock();
        GlobalBlock copy = Copy(bytes, GlobalSize(source));
        GlobalUnlock(source);
        return copy;
    }

    HGLOBAL get() const { return block_; }
    HGLOBAL Release() { return std::exchange(block_, nullptr); }

  private:
    HGLOBAL block_ = nullptr;
};

FORMATETC BlockFormat(CLIPFORMAT format) {
    return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

CLIPFORMAT RegisteredFormat(const wchar_t* name) {
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name));
}

// The reference count and the interface lookup of a COM object with one interface of its own.
// It starts with one reference, its maker's, and deletes itself with its last.
template <typename Interface, const IID& kInterface>
class ComObject : public Interface {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kInterface)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

  protected:
    virtual ~ComObject() = default;

  private:
    LONG references_ = 1;
};

// The data object: one memory block per format, given out as copies.
class FileDragData final : public ComObject<IDataObject, IID_IDataObject> {
  public:
    // Takes the block; false when it is empty.
    bool Put(CLIPFORMAT format, GlobalBlock block) {
        if (!block.get()) return false;
        for (Entry& entry : entries_) {
            if (entry.format == format) {
                entry.block = std::move(block);
                return true;
            }
        }
        entries_.push_back(Entry{format, std::move(block)});
        return true;
    }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_INVALIDARG;
        const Entry* entry = Find(*format);
        if (!entry) return DV_E_FORMATETC;
        GlobalBlock copy = GlobalBlock::Duplicate(entry->block.get());
        if (!copy.get()) return E_OUTOFMEMORY;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy.Release();
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (!format) return E_INVALIDARG;
        return Find(*format) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override {
        if (!format || !medium) return E_INVALIDARG;
        if (format->tymed != TYMED_HGLOBAL || medium->tymed != TYMED_HGLOBAL) return DV_E_TYMED;
        // A block given to keep is still copied: the medium may belong to an object of the
        // caller's, which its release function frees.
        if (!Put(format->cfFormat, GlobalBlock::Duplicate(medium->hGlobal))) return E_OUTOFMEMORY;
        if (release) ReleaseStgMedium(medium);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        std::vector<FORMATETC> formats;
        for (const Entry& entry : entries_) formats.push_back(BlockFormat(entry.format));
        return SHCreateStdEnumFmtEtc(static_cast<UINT>(formats.size()), formats.data(), out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }

  private:
    struct Entry {
        CLIPFORMAT format;
        GlobalBlock block;
    };

    ~FileDragData() = default;  // by Release only

    const Entry* Find(const FORMATETC& format) const {
        if (!(format.tymed & TYMED_HGLOBAL) || format.dwAspect != DVASPECT_CONTENT) return nullptr;
        for (const Entry& entry : entries_)
            if (entry.format == format.cfFormat) return &entry;
        return nullptr;
    }

    std::vector<Entry> entries_;
};

// The drag goes on while the left button is held; Escape cancels it.
class DropSource final : public ComObject<IDropSource, IID_IDropSource> {
  public:
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape) return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

  private:
    ~DropSource() = default;  // by Release only
};

// An absolute item-ID list, freed with the shell's allocator.
class AbsoluteIdList {
  public:
    AbsoluteIdList() = default;
    ~AbsoluteIdList() { CoTaskMemFree(list_); }
    AbsoluteIdList(AbsoluteIdList&& other) noexcept : list_(std::exchange(other.list_, nullptr)) {}
    AbsoluteIdList(const AbsoluteIdList&) = delete;
    AbsoluteIdList& operator=(const AbsoluteIdList&) = delete;
    AbsoluteIdList& operator=(AbsoluteIdList&&) = delete;
    PIDLIST_ABSOLUTE* out() { return &list_; }
    PIDLIST_ABSOLUTE get() const { return list_; }

  private:
    PIDLIST_ABSOLUTE list_ = nullptr;
};

// The shell's item-ID list block for the entries, from the shell's own data object over them,
// the desktop their common parent (rows come from many folders); empty when the shell does not
// know an entry or gives no list.
GlobalBlock ShellIdListBlock(const std::vector<ActionRow>& rows, CLIPFORMAT format) {
    std::vector<AbsoluteIdList> lists;
    std::vector<PCUIDLIST_RELATIVE> below_desktop;
    for (const ActionRow& row : rows) {
        const std::wstring path = platform::ToWide(ShellPath(row));
        AbsoluteIdList list;
        if (FAILED(SHParseDisplayName(path.c_str(), nullptr, list.out(), 0, nullptr)) ||
            !list.get())
            return GlobalBlock();
        below_desktop.push_back(list.get());
        lists.push_back(std::move(list));
    }
    // The desktop's own list (an empty one) as the parent: the list's readers expect one.
    AbsoluteIdList desktop;
    if (FAILED(SHGetFolderLocation(nullptr, CSIDL_DESKTOP, nullptr, 0, desktop.out())) ||
        !desktop.get())
        return GlobalBlock();
    ComRef<IDataObject> shell;
    if (FAILED(CIDLData_CreateFromIDArray(desktop.get(), static_cast<UINT>(below_desktop.size()),
                                          below_desktop.data(),
                                          reinterpret_cast<IDataObject**>(shell.out()))) ||
        !shell.get())
        return GlobalBlock();
    FORMATETC wanted = BlockFormat(format);
    STGMEDIUM medium{};
    if (FAILED(shell->GetData(&wanted, &medium))) return GlobalBlock();
    GlobalBlock copy =
        medium.tymed == TYMED_HGLOBAL ? GlobalBlock::Duplicate(medium.hGlobal) : GlobalBlock();
    ReleaseStgMedium(&medium);
    return copy;
}

}  // namespace

ComRef<IDataObject> NewDragData(const std::vector<ActionRow>& selected) {
    const std::optional<std::vector<ActionRow>> rows = RowsToDrag(selected);
    if (!rows) return {};
    const std::optional<std::vector<uint8_t>> drop_list = FileDropBlock(*rows);
    if (!drop_list) return {};

    ComRef<FileDragData> data(new FileDragData);
    const DWORD preferred = DROPEFFECT_COPY;
    if (!data->Put(CF_HDROP, GlobalBlock::Copy(drop_list->data(), drop_list->size())) ||
        !data->Put(RegisteredFormat(CFSTR_PREFERREDDROPEFFECT),
                   GlobalBlock::Copy(&preferred, sizeof preferred)))
        return {};
    const CLIPFORMAT id_list = RegisteredFormat(CFSTR_SHELLIDLIST);
    data->Put(id_list, ShellIdListBlock(*rows, id_list));  // without it, the drop list serves
    data->AddRef();
    return ComRef<IDataObject>(data.get());
}

DragOutcome DragRowsOut(const std::vector<ActionRow>& rows) {
    if (!RowsToDrag(rows)) return DragOutcome::NothingToDrag;
    const ComRef<IDataObject> data = NewDragData(rows);
    if (!data.get()) return DragOutcome::NotStarted;
    const ComRef<DropSource> source(new DropSource);
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT result = DoDragDrop(data.get(), source.get(),
                                      DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
    if (result == DRAGDROP_S_DROP) return DragOutcome::Dropped;
    if (result == DRAGDROP_S_CANCEL) return DragOutcome::Cancelled;
    return DragOutcome::NotStarted;
}

}  // namespace corvella
