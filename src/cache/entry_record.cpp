#include "cache/entry_record.h"

namespace corvella {

uint32_t WriteEntryRecord(uint8_t* out, const EntryInfo& entry) {
    const uint32_t n = static_cast<uint32_t>(entry.name.size());
    Store16(out, entry.folder ? kTagFolder : kTagFile);
    uint8_t* name = out + NameFieldOffset();
    for (uint32_t i = 0; i < n; ++i) Store16(name + 2 * i, entry.name[i]);
    Store16(name + 2 * n, 0);
    Store32(out + ValueFieldOffset(n), entry.folder ? NoBlock : entry.size_kib);
    Store64(out + TimeFieldOffset(n), entry.last_write);
    return RecordBytes(n);
}

}  // namespace corvella
