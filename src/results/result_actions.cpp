#include "results/result_actions.h"

namespace corvella {

namespace {

void PutLittleEndian32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

std::u16string ShellPath(const ActionRow& row) {
    if (row.location.empty()) return row.name + u'\\';
    return row.location + row.name;
}

std::u16string CommandPromptFolder(const ActionRow& row) {
    if (!row.readable) return {};
    return row.location.empty() ? row.name + u'\\' : row.location;
}

std::u16string FilePathsText(const std::vector<ActionRow>& rows) {
    std::u16string text;
    for (const ActionRow& row : rows) {
        if (row.readable) text += row.location + row.name;
        text += u"\r\n";
    }
    return text;
}

std::u16string FolderPathsText(const std::vector<ActionRow>& rows) {
    std::u16string text;
    for (const ActionRow& row : rows) {
        if (row.readable) text += row.location.empty() ? row.name : row.location;
        text += u"\r\n";
    }
    return text;
}

std::optional<std::vector<uint8_t>> FileDropBlock(const std::vector<ActionRow>& rows) {
    if (rows.empty()) return std::nullopt;
    std::u16string list;
    for (const ActionRow& row : rows) {
        if (!row.readable) return std::nullopt;
        list += ShellPath(row);
        list += u'\0';
    }
    list += u'\0';

    constexpr uint32_t kHeaderSize = 20;
    std::vector<uint8_t> block;
    block.reserve(kHeaderSize + 2 * list.size());
    PutLittleEndian32(block, kHeaderSize);  // where the list starts
    PutLittleEndian32(block, 0);            // the drop point, unused by a paste
    PutLittleEndian32(block, 0);
    PutLittleEndian32(block, 0);  // not in a non-client area
    PutLittleEndian32(block, 1);  // wide characters
    for (const char16_t unit : list) {
        block.push_back(static_cast<uint8_t>(unit & 0xFF));
        block.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return block;
}

std::optional<std::vector<ActionRow>> RowsToDrag(const std::vector<ActionRow>& rows) {
    std::vector<ActionRow> dragged;
    for (const ActionRow& row : rows) {
        if (!row.readable) return std::nullopt;
        if (!row.location.empty()) dragged.push_back(row);
    }
    if (dragged.empty()) return std::nullopt;
    return dragged;
}

std::optional<DeleteRequest> PlanDelete(const std::vector<ActionRow>& rows) {
    DeleteRequest request;
    for (const ActionRow& row : rows) {
        if (!row.readable) return std::nullopt;
        if (row.location.empty()) continue;  // a whole drive is never deleted
        const std::u16string path = row.location + row.name;
        request.shell_list += path;
        request.shell_list += u'\0';
        request.rows.push_back(row.index);
        request.paths.push_back(path);
    }
    if (request.rows.empty()) return std::nullopt;
    request.shell_list += u'\0';
    return request;
}

std::vector<int> RowsDeleted(const DeleteRequest& request,
                             const std::function<bool(const std::u16string&)>& exists) {
    std::vector<int> gone;
    for (size_t i = 0; i < request.rows.size(); ++i)
        if (!exists(request.paths[i])) gone.push_back(request.rows[i]);
    return gone;
}

ShellMenuTarget ShellMenuTargetFor(const std::vector<ActionRow>& rows) {
    ShellMenuTarget target;
    if (rows.empty()) return target;
    for (const ActionRow& row : rows) {
        if (!row.readable) return {ShellMenuOutcome::Unreadable, {}};
        if (row.location != rows.front().location) return {ShellMenuOutcome::NotSameFolder, {}};
        target.paths.push_back(ShellPath(row));
    }
    target.outcome = ShellMenuOutcome::Paths;
    return target;
}

}  // namespace corvella
