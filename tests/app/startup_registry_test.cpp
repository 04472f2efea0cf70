// The autorun value and the end-of-session time-outs over a registry kept in maps, with keys that
// can refuse to open and values that can refuse to be written.
#include "app/startup_registry.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace corvella {
namespace {

using Values = std::map<std::u16string, RegistryValue, std::less<>>;

struct FakeRegistry final : UserRegistry {
    std::map<std::u16string, Values, std::less<>> keys;
    std::set<std::u16string, std::less<>> locked;  // keys that do not open
    bool writes_fail = false;

    struct Key final : RegistryKey {
        FakeRegistry& registry;
        Values& values;
        Key(FakeRegistry& r, Values& v) : registry(r), values(v) {}
        std::optional<RegistryValue> Query(std::u16string_view name) const override {
            const auto found = values.find(name);
            if (found == values.end()) return std::nullopt;
            return found->second;
        }
        bool SetText(std::u16string_view name, std::u16string_view text) override {
            if (registry.writes_fail) return false;
            values[std::u16string(name)] = {true, std::u16string(text)};
            return true;
        }
        bool Delete(std::u16string_view name) override {
            return !registry.writes_fail && values.erase(std::u16string(name)) == 1;
        }
    };
    std::unique_ptr<RegistryKey> Open(std::u16string_view path) override {
        const auto found = keys.find(path);
        if (found == keys.end() || locked.count(path)) return nullptr;
        return std::make_unique<Key>(*this, found->second);
    }
    bool CreateIfMissing(std::u16string_view path) override {
        return keys.try_emplace(std::u16string(path)).second;
    }

    std::optional<std::u16string> Text(std::u16string_view key, std::u16string_view name) {
        const auto found = keys[std::u16string(key)].find(name);
        if (found == keys[std::u16string(key)].end()) return std::nullopt;
        return found->second.text;
    }
};

constexpr char16_t kExe[] = u"C:\\Program Files\\Corvella\\Corvella.exe";
constexpr char16_t kQuoted[] = u"\"C:\\Program Files\\Corvella\\Corvella.exe\" /hide";

FakeRegistry Fresh() {
    FakeRegistry r;
    r.keys[std::u16string(kRunKeyPath)];
    r.keys[std::u16string(kDesktopKeyPath)];
    return r;
}

// The first start's quoted value, the user's choice kept at later starts and a value of another
// place rewritten are checked against the real registry by the end-to-end run.
TEST(StartupRegistry, ARunKeyThatDoesNotOpenOrTakeTheValueIsReported) {
    FakeRegistry none = Fresh();
    EXPECT_FALSE(SetAutorun(none, false, kExe)) << "nothing was there to delete";
    FakeRegistry r = Fresh();
    r.locked.insert(std::u16string(kRunKeyPath));
    EXPECT_EQ(ApplyStartupRegistry(r, kExe), AutorunAtStart::Off);
    EXPECT_FALSE(SetAutorun(r, true, kExe));

    FakeRegistry w = Fresh();
    w.writes_fail = true;
    EXPECT_EQ(ApplyStartupRegistry(w, kExe), AutorunAtStart::WriteFailed);
    w.keys[std::u16string(kRunKeyPath)][u"Corvella"] = {true, kQuoted};
    EXPECT_EQ(ApplyStartupRegistry(w, kExe), AutorunAtStart::WriteFailed);
    EXPECT_FALSE(SetAutorun(w, false, kExe));
}

TEST(StartupRegistry, ShutdownTimeoutsAreRaisedButNeverLowered) {
    struct Row {
        const char16_t* name;
        std::optional<RegistryValue> before;
        const char16_t* after;
    } rows[] = {
        {u"HungAppTimeout", RegistryValue{true, u"20000"}, u"20000"},
        {u"HungAppTimeout", RegistryValue{true, u"3000"}, u"5000"},
        {u"HungAppTimeout", RegistryValue{false, u""}, u"5000"},  // a number type
        {u"HungAppTimeout", std::nullopt, u"5000"},
        {u"WaitToKillAppTimeout", RegistryValue{true, u" 5000ms"}, u" 5000ms"},  // read leniently
        {u"WaitToKillAppTimeout", RegistryValue{true, u"4999"}, u"5000"},
        {u"WaitToKillAppTimeout", RegistryValue{true, u"lots"}, u"5000"},
        {u"AutoEndTasks", RegistryValue{true, u"1"}, u"0"},
        {u"AutoEndTasks", RegistryValue{true, u"0"}, u"0"},
        {u"AutoEndTasks", std::nullopt, u"0"},
    };
    for (const Row& row : rows) {
        FakeRegistry r = Fresh();
        if (row.before) r.keys[std::u16string(kDesktopKeyPath)][row.name] = *row.before;
        ApplyStartupRegistry(r, kExe);
        EXPECT_EQ(r.Text(kDesktopKeyPath, row.name), row.after)
            << "from " << row.before.has_value();
    }
    // A Desktop key that does not open is left alone, and the autorun rules still apply.
    FakeRegistry r = Fresh();
    r.locked.insert(std::u16string(kDesktopKeyPath));
    EXPECT_EQ(ApplyStartupRegistry(r, kExe), AutorunAtStart::On);
    EXPECT_TRUE(r.keys[std::u16string(kDesktopKeyPath)].empty());
}

}  // namespace
}  // namespace corvella
