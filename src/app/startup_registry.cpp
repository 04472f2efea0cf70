#include "app/startup_registry.h"

#include "platform/ini_text.h"

namespace corvella {

namespace {

// Windows' own settings for the end of a session. The program needs time at the end of a
// session to stop its threads and record a clean exit: a value already as generous is left as
// the user set it, anything else (missing, too short, not text) is replaced.
void ApplyShutdownTimeouts(RegistryKey& desktop) {
    const auto reads = [&](std::u16string_view name, auto holds) {
        const std::optional<RegistryValue> value = desktop.Query(name);
        return value && value->is_text && holds(IniNumber(value->text));
    };
    if (!reads(u"AutoEndTasks", [](int n) { return n == 0; }))
        desktop.SetText(u"AutoEndTasks", u"0");
    for (std::u16string_view name : {u"HungAppTimeout", u"WaitToKillAppTimeout"})
        if (!reads(name, [](int n) { return n >= 5000; })) desktop.SetText(name, u"5000");
}

}  // namespace

std::u16string AutorunValue(std::u16string_view executable) {
    std::u16string value = u"\"";
    value.append(executable).append(u"\" /hide");
    return value;
}

AutorunAtStart ApplyStartupRegistry(UserRegistry& registry, std::u16string_view executable) {
    AutorunAtStart autorun = AutorunAtStart::Off;
    const bool first_start = registry.CreateIfMissing(kFirstStartKeyPath);
    if (std::unique_ptr<RegistryKey> run = registry.Open(kRunKeyPath)) {
        // Any value of that name is the program's, whatever path it names and however it is
        // written, so that a moved or older installation is brought up to date.
        if (first_start || run->Query(kAutorunName))
            autorun = run->SetText(kAutorunName, AutorunValue(executable))
                          ? AutorunAtStart::On
                          : AutorunAtStart::WriteFailed;
    }
    if (std::unique_ptr<RegistryKey> desktop = registry.Open(kDesktopKeyPath))
        ApplyShutdownTimeouts(*desktop);
    return autorun;
}

bool SetAutorun(UserRegistry& registry, bool on, std::u16string_view executable) {
    const std::unique_ptr<RegistryKey> run = registry.Open(kRunKeyPath);
    if (!run) return false;
    return on ? run->SetText(kAutorunName, AutorunValue(executable)) : run->Delete(kAutorunName);
}

}  // namespace corvella
