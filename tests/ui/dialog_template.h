// Dialog templates built in memory, laid out as the resource compiler lays out a DIALOG
// resource: the header, no menu, the default class, the title, then each control aligned to four
// bytes with its class, its text and no creation data. No DS_SETFONT: the system font is used.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace corvella::ui::testing {

// The predefined control classes' ordinals.
enum : WORD { kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082, kComboBox = 0x0085 };

class DialogTemplate {
  public:
    DialogTemplate(DWORD style, short width, short height, std::wstring_view title) {
        AddDword(style);
        AddDword(0);          // extended style
        words_.push_back(0);  // control count, counted up by Add
        for (short value : {short(0), short(0), width, height}) words_.push_back(WORD(value));
        words_.push_back(0);  // no menu
        words_.push_back(0);  // the dialog class
        AddText(title);
    }

    // A control of a predefined class.
    DialogTemplate& Add(WORD class_ordinal, int id, DWORD style, RECT at, std::wstring_view text) {
        Begin(id, style, at);
        words_.push_back(0xFFFF);
        words_.push_back(class_ordinal);
        return End(text);
    }
    // A control of a registered class, such as the list view's.
    DialogTemplate& Add(std::wstring_view class_name, int id, DWORD style, RECT at,
                        std::wstring_view text) {
        Begin(id, style, at);
        AddText(class_name);
        return End(text);
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

  private:
    void AddDword(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void AddText(std::wstring_view text) {
        words_.insert(words_.end(), text.begin(), text.end());
        words_.push_back(0);
    }
    void Begin(int id, DWORD style, RECT at) {
        if (words_.size() % 2) words_.push_back(0);
        AddDword(style | WS_CHILD | WS_VISIBLE);
        AddDword(0);
        for (LONG value : {at.left, at.top, at.right - at.left, at.bottom - at.top})
            words_.push_back(WORD(short(value)));
        words_.push_back(WORD(id));
    }
    DialogTemplate& End(std::wstring_view text) {
        AddText(text);
        words_.push_back(0);  // no creation data
        ++words_[4];
        return *this;
    }

    std::vector<WORD> words_;
};

}  // namespace corvella::ui::testing
